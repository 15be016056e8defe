// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

#include <string>

class QLineEdit;

namespace dayvell {

// "frmpassword": tests a typed password against the book named by `bookdir` and `bookname`. A right one becomes
// the password in force and opens the window of the pending purpose; a wrong one, an empty one or Cancel closes
// the book's windows and goes back to the start window.
class PasswordPrompt : public ProgramWindow {
    Q_OBJECT
public:
    explicit PasswordPrompt(Services& services);

    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    // Enter presses OK and Esc presses Cancel, wherever the focus is, unless a button takes Enter for itself.

private:
    // `keyInForce` is the password the book's windows were opened under, before this prompt was answered.
    void wrongPassword(const std::string& keyInForce);
    void backToStart(const std::string& keyInForce);

    QLineEdit* m_txtPassword;
};

} // namespace dayvell
