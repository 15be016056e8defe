// SPDX-License-Identifier: GPL-3.0-or-later
#include "PdfText.h"

#include "core/PdfReading.h"

#include <QRegularExpression>

namespace dayvell::test {

QString PdfText(const std::string& pdf) {
    return QString::fromStdString(PdfToText(pdf));
}

std::vector<PdfWord> PdfWords(const std::string& pdf) {
    std::vector<PdfWord> words;
    for (const PdfWordBox& w : PdfWordBoxes(pdf)) {
        words.push_back({QString::fromStdString(w.text), QRectF(QPointF(w.xMin, w.yMin), QPointF(w.xMax, w.yMax)),
                         QSizeF(w.pageWidth, w.pageHeight)});
    }
    return words;
}

QString WithoutSpaces(QString text) {
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    return text;
}

} // namespace dayvell::test
