// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

namespace dayvell {

// A label for a text the user typed or a file holds, which may be of any length: a cover name, a page's stamps, a
// path. However long the text, the label asks for no more width than a few words take, so that no text can make a
// window wider than the screen. The text wraps at word boundaries, or anywhere in a run without spaces, over at
// most `maxLines` lines; the last line shown ends in an ellipsis when there is more. text() is the whole text, and
// the tool tip keeps what the window gives it.
class LongTextLabel : public QLabel {
public:
    LongTextLabel(QWidget* parent, int maxLines);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The lines the text takes in `width` pixels, the last one elided when more would be needed.
    QStringList linesFor(int width) const;
    int heightOf(int lines) const;
    int naturalWidth() const;

    int m_maxLines;
};

} // namespace dayvell
