// SPDX-License-Identifier: GPL-3.0-or-later
#include "LongTextLabel.h"

#include <QPainter>
#include <QResizeEvent>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>

namespace dayvell {

namespace {

// The widest a label asks to be, and the narrowest it lets itself be made, in average characters.
constexpr int kPreferredCharacters = 40;
constexpr int kLeastCharacters = 8;

// Line breaks of a stored text are laid out as blanks: the label shows one value, not a page.
QString OnOneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

LongTextLabel::LongTextLabel(QWidget* parent, int maxLines) : QLabel(parent), m_maxLines(std::max(1, maxLines)) {
    setTextFormat(Qt::PlainText);
    // The label lays its text out itself; the flag tells the layouts that its height follows its width.
    setWordWrap(m_maxLines > 1);
}

QStringList LongTextLabel::linesFor(int width) const {
    const QString text = OnOneLine(this->text());
    if (text.isEmpty() || width <= 0)
        return {text};
    QTextLayout layout(text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == m_maxLines - 1) {
            lines << fontMetrics().elidedText(text.mid(line.textStart()).trimmed(), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

int LongTextLabel::heightOf(int lines) const {
    const QMargins margins = contentsMargins();
    return std::max(1, lines) * fontMetrics().lineSpacing() + margins.top() + margins.bottom();
}

int LongTextLabel::naturalWidth() const {
    return fontMetrics().horizontalAdvance(OnOneLine(text())) + 1;
}

int LongTextLabel::heightForWidth(int width) const {
    const QMargins margins = contentsMargins();
    return heightOf(int(linesFor(width - margins.left() - margins.right()).size()));
}

QSize LongTextLabel::sizeHint() const {
    const QMargins margins = contentsMargins();
    const int width = std::min(naturalWidth(), fontMetrics().averageCharWidth() * kPreferredCharacters) +
                      margins.left() + margins.right();
    return {width, heightForWidth(width)};
}

QSize LongTextLabel::minimumSizeHint() const {
    const QMargins margins = contentsMargins();
    const int least = std::min(naturalWidth(), fontMetrics().averageCharWidth() * kLeastCharacters) + margins.left() +
                      margins.right();
    // As high as the text needs at the width the label has now: a window that narrows it grows to fit its lines.
    const int current = width() > least ? width() : sizeHint().width();
    return {least, heightForWidth(current)};
}

void LongTextLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    if (m_maxLines > 1 && heightForWidth(event->size().width()) != heightForWidth(event->oldSize().width()))
        updateGeometry();
}

void LongTextLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QStringList lines = linesFor(area.width());
    const int lineHeight = fontMetrics().lineSpacing();
    const int textHeight = int(lines.size()) * lineHeight;
    int top = area.top();
    if (alignment() & Qt::AlignVCenter)
        top += (area.height() - textHeight) / 2;
    else if (alignment() & Qt::AlignBottom)
        top += area.height() - textHeight;
    const int horizontal = int(alignment() & Qt::AlignHorizontal_Mask);
    for (const QString& line : lines) {
        style()->drawItemText(&painter, QRect(area.left(), top, area.width(), lineHeight),
                              horizontal | Qt::AlignVCenter, palette(), isEnabled(), line, foregroundRole());
        top += lineHeight;
    }
}

} // namespace dayvell
