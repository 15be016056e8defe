// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Printer.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace dayvell {

// Asks where to save a printout as PDF; the empty text when the user declines. The file dialog keeps a history in
// the toolkit's settings file; the program keeps no configuration, so that file is left as it was found.
QString ChoosePdfFile();

// Prints on the system's default printer. Where no printer is installed the document goes into a PDF file the user
// names, so printing works on every desktop; declining to name one is a printer error (482), like a printer that
// is not ready.
class QtPrinter : public Printer {
public:
    // Answers whether a printer is installed.
    using PrinterCheck = std::function<bool()>;
    // Asks where to save the PDF; the empty text means the user declined.
    using PdfFileChooser = std::function<QString()>;

    QtPrinter();
    QtPrinter(PrinterCheck hasPrinter, PdfFileChooser choosePdfFile);

    void printLine(const std::string& text) override;
    // Sends the lines printed since the last document ended. The lines are dropped whether or not it succeeds.
    void endDocument() override;

private:
    PrinterCheck m_hasPrinter;
    PdfFileChooser m_choosePdfFile;
    std::vector<QString> m_lines;
};

} // namespace dayvell
