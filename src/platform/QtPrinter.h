// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Printer.h"

#include <QString>

#include <functional>

namespace dayvell {

// Asks where to save a printout as PDF; the empty text when the user declines. The file dialog keeps a history in
// the toolkit's settings file; the program keeps no configuration, so that file is left as it was found.
QString ChoosePdfFile();

// Prints on the system's default printer. Where no printer is installed the document goes into a PDF file the user
// names, so printing works on every desktop; declining to name one is a printer error (482), like a printer that
// is not ready.
//
// A job is drawn page by page into a PDF file of its own as its lines arrive, so that no job is ever held in
// memory whole. Only its end hands that file on: renamed over the file the user named, or given to the print
// spooler. An abandoned job's file is deleted, and nothing reaches the printer or the named file.
class QtPrinter : public Printer {
public:
    // Answers whether a printer is installed.
    using PrinterCheck = std::function<bool()>;
    // Asks where to save the PDF; the empty text means the user declined.
    using PdfFileChooser = std::function<QString()>;
    // Hands a finished PDF file to the default printer; throws RuntimeError 482 when the spooler refuses it.
    using Spooler = std::function<void(const QString& pdfFile)>;

    QtPrinter();
    QtPrinter(PrinterCheck hasPrinter, PdfFileChooser choosePdfFile, Spooler spool = {});

    std::unique_ptr<PrintJob> begin() override;

private:
    PrinterCheck m_hasPrinter;
    PdfFileChooser m_choosePdfFile;
    Spooler m_spool;
};

} // namespace dayvell
