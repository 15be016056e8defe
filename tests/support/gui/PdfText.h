// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRectF>
#include <QString>

#include <string>
#include <vector>

namespace dayvell::test {

// The text of a PDF file as pdftotext reads it; fails the test when the tool is missing or refuses the file.
QString PdfText(const std::string& pdf);

// A word pdftotext finds, with its box and its page's size in points (1/72 inch), measured from the page's top left.
struct PdfWord {
    QString text;
    QRectF box;
    QSizeF page;
};

// Every word of a PDF file, in reading order; fails the test when the tool is missing or refuses the file.
std::vector<PdfWord> PdfWords(const std::string& pdf);

// `text` with every blank, tab and line break taken out: what is left is each printed character, in order.
QString WithoutSpaces(QString text);

} // namespace dayvell::test
