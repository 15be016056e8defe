// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

#include <string>

namespace dayvell {

// The About box's text: five paragraphs, each followed by CR, with one more CR between them.
std::string AboutText();

// The program's first and home window, "form1": it opens or creates a book, shows help and the About box, and
// ends the program.
class StartWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit StartWindow(Services& services);

    void Open_Click();
    void Create_Click();
    void Quit_Click();
    void Helper_Click();
    void aboutlg_Click();

protected:
    void Form_Activate() override;
};

} // namespace dayvell
