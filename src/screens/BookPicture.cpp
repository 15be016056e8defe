// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookPicture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace dayvell {

QPixmap BookPicture() {
    QPixmap picture(108, 126);
    picture.fill(QColor(0xF4, 0xEE, 0xE0));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    // Page edges showing on the right and at the bottom.
    painter.setPen(QColor(0xB8, 0xB0, 0x9A));
    painter.setBrush(QColor(0xFF, 0xFD, 0xF5));
    painter.drawRoundedRect(QRectF(20, 14, 76, 100), 3, 3);
    for (int i = 0; i < 4; ++i)
        painter.drawLine(QPointF(94 - i * 2, 18), QPointF(94 - i * 2, 110));

    // The cover.
    QLinearGradient leather(QPointF(14, 0), QPointF(92, 0));
    leather.setColorAt(0, QColor(0x5A, 0x1E, 0x1E));
    leather.setColorAt(1, QColor(0x8E, 0x32, 0x2C));
    painter.setPen(QPen(QColor(0x3A, 0x12, 0x12), 1.5));
    painter.setBrush(leather);
    painter.drawRoundedRect(QRectF(12, 8, 78, 104), 4, 4);
    painter.fillRect(QRectF(12, 8, 10, 104), QColor(0x46, 0x16, 0x16));

    // A gold frame and the clasp that keeps it shut.
    painter.setPen(QPen(QColor(0xD8, 0xB4, 0x4A), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(30, 22, 50, 30));
    painter.drawLine(QPointF(36, 32), QPointF(74, 32));
    painter.drawLine(QPointF(36, 42), QPointF(66, 42));
    painter.setBrush(QColor(0xD8, 0xB4, 0x4A));
    painter.drawRoundedRect(QRectF(82, 54, 18, 14), 3, 3);
    painter.setBrush(QColor(0x3A, 0x12, 0x12));
    painter.drawEllipse(QPointF(92, 61), 2.5, 2.5);
    return picture;
}

} // namespace dayvell
