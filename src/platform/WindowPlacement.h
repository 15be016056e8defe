// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QString>

class QWidget;

namespace dayvell {

// The width a window needs for the window manager to show `title` whole in its title bar, beside the bar's own
// buttons. The bar's font is the window manager's, not the program's: a bold copy of the program's font, with room
// to spare, stands in for it.
int WidthForTitle(const QWidget& window, const QString& title);

// Where a window stood on the screen: its frame, and how much wider and higher the frame is than the window in it.
struct WindowPlace {
    QRect frame;
    QSize decoration;
};
WindowPlace PlaceOf(const QWidget& window);

// Puts the top-level `window`, not shown yet, centred over `place`, kept inside the available area of the screen
// there.
void CentreOver(QWidget& window, const WindowPlace& place);

} // namespace dayvell
