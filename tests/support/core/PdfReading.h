// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace dayvell::test {

// The text of a PDF file as pdftotext reads it, in UTF-8; with `layout`, as it stands on the sheets. Fails the test
// when the tool is missing (package poppler-utils) or refuses the file.
std::string PdfToText(const std::string& pdf, bool layout = false);

// A word pdftotext finds: its box in points (1/72 inch) from its sheet's top left, the sheet's size, and which
// sheet it is on, counted from 1.
struct PdfWordBox {
    std::string text;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    double pageWidth = 0, pageHeight = 0;
    int page = 0;
};

// Every word of a PDF file, in reading order; fails the test when the tool is missing or refuses the file.
std::vector<PdfWordBox> PdfWordBoxes(const std::string& pdf);

// The number of sheets of a PDF file, as pdfinfo counts them; 0 when it cannot tell.
int PdfSheets(const std::string& pdf);

// `text` with every blank, tab and line break taken out (and pdftotext's form feeds): each printed character is
// left, in order.
std::string WithoutBlanks(const std::string& text);

} // namespace dayvell::test
