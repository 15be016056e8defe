// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dayvell {

// "newpassword": changes the open book's password in two steps on one window. First the current password is typed
// and tried on the book; then the new one is typed and the book takes it: a described book (4 to 10 characters) is
// enciphered anew under it, a sealed one (4 to 128) wraps its key anew. Check1 seals or unseals the book on the way.
// Every way out shows the cover window again.
class PasswordChangeWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit PasswordChangeWindow(Services& services);

    void Command1_Click();
    void command2_Click();
    void command3_Click();
    void Command4_Click();
    void Text1_Change();
    void Check1_Click();

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
    QCheckBox* m_check1;
    QLabel* m_label3;
};

} // namespace dayvell
