// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace dayvell {

// The width a window needs for the window manager to show `title` whole in its title bar, beside the bar's own
// buttons. The bar's font is the window manager's, not the program's: a bold copy of the program's font, with room
// to spare, stands in for it.
int WidthForTitle(const QWidget& window, const QString& title);

// Puts the top-level `window` centred over `over`, kept inside the available area of the screen `over` is on.
void CentreOver(QWidget& window, const QWidget& over);

} // namespace dayvell
