// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

} // namespace dayvell
