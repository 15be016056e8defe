// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PrinterStatus.h"

#include "core/Printer.h"

#include <QString>

#include <functional>

namespace dayvell {

class Dialogs;

// Asks where to save a printout as PDF; the empty text when the user declines. The program keeps no configuration:
// the file dialog's history, which the toolkit keeps in a settings file, goes to a scratch folder deleted after it.
QString ChoosePdfFile();

// Prints on the system's default printer. Where no printer can take the document it goes into a PDF file the user
// names, so printing works on every desktop; a printer that is there but cannot print (no scheduler runs, or the
// printer refuses jobs) is named first, and a printout left waiting in a paused or stopped printer's queue is said
// to be waiting. Declining to name a PDF file prints nothing and says nothing: begin() gives no job.
//
// A job is drawn sheet by sheet into a PDF file of its own as its lines arrive, by core's PdfPrintout (the same
// document the PDF export writes), so that no job is ever held in memory whole. Only its end hands that file on:
// renamed over the file the user named, or given to the print spooler. An abandoned job's file is deleted, and nothing
// reaches the printer or the named file. The text keeps off the edges the printer cannot print on, and at least half an
// inch off every edge of the paper.
class QtPrinter : public Printer {
public:
    // Asks the print scheduler about the printer a job would go to.
    using StatusCheck = std::function<PrinterStatus()>;
    // Asks where to save the PDF; the empty text means the user declined.
    using PdfFileChooser = std::function<QString()>;
    // Hands a finished PDF file to the printer named; throws RuntimeError 482 when the spooler refuses it.
    using Spooler = std::function<void(const QString& pdfFile, const QString& printer)>;

    explicit QtPrinter(Dialogs& dialogs);
    QtPrinter(Dialogs& dialogs, StatusCheck status, PdfFileChooser choosePdfFile, Spooler spool = {});

    std::unique_ptr<PrintJob> begin() override;

private:
    Dialogs& m_dialogs;
    StatusCheck m_status;
    PdfFileChooser m_choosePdfFile;
    Spooler m_spool;
};

} // namespace dayvell
