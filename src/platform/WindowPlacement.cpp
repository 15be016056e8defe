// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowPlacement.h"

#include <QFontMetrics>
#include <QGuiApplication>
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

WindowPlace PlaceOf(const QWidget& window) {
    return {window.frameGeometry(), window.frameGeometry().size() - window.geometry().size()};
}

void CentreOver(QWidget& window, const WindowPlace& place) {
    // Not shown yet, the window has no frame: it gets one as wide around it as the other's.
    QRect placed(QPoint(), window.size() + place.decoration);
    placed.moveCenter(place.frame.center());
    const QScreen* screen = QGuiApplication::screenAt(place.frame.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        placed.moveLeft(
            std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() + 1 - placed.width())));
        placed.moveTop(std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() + 1 - placed.height())));
    }
    // A top-level window's position is that of its frame.
    window.move(placed.topLeft());
}

} // namespace dayvell
