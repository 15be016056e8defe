// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

namespace dayvell::test {

// The text of a PDF file as pdftotext reads it; fails the test when the tool is missing or refuses the file.
QString PdfText(const std::string& pdf);

// `text` with every blank, tab and line break taken out: what is left is each printed character, in order.
QString WithoutSpaces(QString text);

} // namespace dayvell::test
