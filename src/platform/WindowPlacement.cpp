// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowPlacement.h"

#include <QFontMetrics>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace dayvell {

namespace {

// Close, maximise and minimise buttons, the window's icon and the bar's margins, each about a line high.
constexpr int kTitleBarButtons = 5;

} // namespace

int WidthForTitle(const QWidget& window, const QString& title) {
    QFont font = window.font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    // A window manager's title font may be a little larger than the program's.
    const int text = metrics.horizontalAdvance(title) * 5 / 4;
    return text + kTitleBarButtons * (metrics.height() + 8);
}

void CentreOver(QWidget& window, const QWidget& over) {
    const QRect target = over.frameGeometry();
    // Not shown yet, the window has no frame: its frame is taken to be as wide around it as the other's.
    const QSize frame = window.size() + (over.frameGeometry().size() - over.geometry().size());
    QRect placed(QPoint(), frame);
    placed.moveCenter(target.center());
    if (const QScreen* screen = over.screen()) {
        const QRect area = screen->availableGeometry();
        placed.moveLeft(std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() - placed.width())));
        placed.moveTop(std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() - placed.height())));
    }
    // A top-level window's position is that of its frame.
    window.move(placed.topLeft());
}

} // namespace dayvell
