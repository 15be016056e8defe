// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace dayvell {

// "newpassword": changes the open book's password in two steps on one window. First the current password is typed
// and tried on the book's check phrase; then the new one (4 to 10 characters) is typed and the whole book is
// re-enciphered under it. Every way out shows the cover window again.
class PasswordChangeWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit PasswordChangeWindow(Services& services);

    void Command1_Click();
    void command2_Click();
    void command3_Click();
    void Command4_Click();
    void Text1_Change();

protected:
    // Enter presses the OK button of the step the window is in.

private:
    void checkpassword();
    // Leaves the window for the cover window with the password in force untouched.
    void backToCover();

    QLineEdit* m_txtPassword;
    QPushButton* m_command1;
    QLabel* m_label1;
    QLineEdit* m_text1;
    QLabel* m_label2;
    QLabel* m_hint;
    QPushButton* m_command2;
};

} // namespace dayvell
