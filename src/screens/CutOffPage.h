// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

#include <functional>

class QLabel;
class QWidget;

namespace dayvell {

class Dialogs;

// A page window whose book was closed under it (a refused password) while its text could not be saved stays open,
// cut off from the book: nothing in it reaches the book any more, its text can be read and copied, and leaving it
// leads to the start window. Dropping the text silently would lose it; a clipboard would lose it with the program.

// The notice that tells why the window stays and what to do; hidden until the window is cut off.
QLabel* MakeCutOffNotice(QWidget* parent);
// Asks before the text of a cut-off window goes; true when the user lets it go.
bool DropCutOffText(Dialogs& dialogs);

// A page window's unsaved text, as a close from outside its own handlers meets it.
struct UnsavedPage {
    // The question that offers to save it, and its title.
    const char* question;
    const char* title;
    // Writes the text; false when nothing was written, after telling the user why.
    std::function<bool()> save;
    // Cuts the window off from the book.
    std::function<void()> cutOff;
};

// Form_QueryUnload of a page window holding unsaved text: asks whether to save it (with Cancel when the closing can
// be called off) and saves on Yes. When a forced close finds the text cannot be saved the window is cut off and
// stays. A window already cut off only asks before its text goes, and a forced close leaves it as it is.
bool QueryUnloadUnsaved(Dialogs& dialogs, ProgramWindow::Closing how, bool cutOff, const UnsavedPage& page);

} // namespace dayvell
