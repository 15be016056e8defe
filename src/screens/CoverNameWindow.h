// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

class QLineEdit;

namespace dayvell {

// "Form10": gives the open book a new cover name.
class CoverNameWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit CoverNameWindow(Services& services);

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

protected:
    void Form_Activate() override;

private:
    void leave();

    QLineEdit* m_text1;
};

} // namespace dayvell
