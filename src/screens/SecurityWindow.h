// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

#include <array>

class QCheckBox;

namespace dayvell {

// "Form6": which functions of the open book ask for the password. One check box a security flag, loaded from the
// book at every activation, so that what was not saved with OK is gone when the user comes back.
class SecurityWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit SecurityWindow(Services& services);

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

protected:
    void Form_Activate() override;

private:
    void leave();

    std::array<QCheckBox*, 7> m_checks{};
};

} // namespace dayvell
