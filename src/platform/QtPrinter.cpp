// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPrinter.h"

#include "Text.h"

#include "core/BufferedOutput.h"
#include "core/Dialogs.h"
#include "core/FileSystem.h"
#include "core/PdfPrintout.h"
#include "core/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cstdio>
#include <fcntl.h>
#include <memory>

namespace dayvell {

namespace {

// Hands the file to CUPS with the lp command, which has sent the file to the spooler when it returns.
void SpoolWithLp(const QString& pdfFile, const QString& printer) {
    const QString lp = QStandardPaths::findExecutable(QStringLiteral("lp"));
    if (lp.isEmpty())
        throw RuntimeError(code::PrinterError);
    QStringList arguments{QStringLiteral("-s"), QStringLiteral("-t"), QStringLiteral("dayvell")};
    if (!printer.isEmpty())
        arguments << QStringLiteral("-d") << printer;
    arguments << QStringLiteral("--") << pdfFile;
    if (QProcess::execute(lp, arguments) != 0)
        throw RuntimeError(code::PrinterError);
}

// A name of its own for a new file in `dir`, reserved by creating the file empty.
QString ReserveFileIn(const QString& dir) {
    QTemporaryFile file(dir + QStringLiteral("/.dayvell-print-XXXXXX.pdf"));
    file.setAutoRemove(false);
    if (!file.open())
        throw RuntimeError(code::PrinterError);
    return file.fileName();
}

// A job drawn by the printout of core into a file of its own, which only the job's end hands on.
class QtPrintJob : public PrintJob {
public:
    // The job is drawn into `drawnFile`, an empty file reserved for it, on `paper`; at its end `deliver` takes the
    // finished file.
    QtPrintJob(const QString& drawnFile, const Paper& paper, std::function<void(const QString&)> deliver)
        : m_file(drawnFile), m_deliver(std::move(deliver)) {
        try {
            m_handle =
                std::make_unique<FileHandle>(OpenFile(SystemFileSystem(), QFile::encodeName(m_file).toStdString(),
                                                      O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));
            m_out = std::make_unique<BufferedOutput>(SystemFileSystem(), m_handle->fd());
            m_pdf = std::make_unique<PdfPrintout>(paper, [this](std::string_view bytes) {
                m_out->text().append(bytes);
                m_out->pass();
            });
        } catch (...) {
            m_handle.reset();
            QFile::remove(m_file);
            throw;
        }
    }

    ~QtPrintJob() override {
        // Abandoned: what the printout still holds is dropped, and its file deleted.
        m_pdf.reset();
        m_handle.reset();
        if (!m_ended)
            QFile::remove(m_file);
    }

    void printLine(const std::string& text) override { m_pdf->printLine(text); }

    void end() override {
        m_ended = true;
        try {
            m_pdf->end();
            m_out->flush();
            SyncFile(SystemFileSystem(), m_handle->fd());
            m_handle->close();
            m_deliver(m_file);
        } catch (...) {
            QFile::remove(m_file);
            throw;
        }
    }

private:
    QString m_file;
    std::function<void(const QString&)> m_deliver;
    std::unique_ptr<FileHandle> m_handle;
    std::unique_ptr<BufferedOutput> m_out;
    std::unique_ptr<PdfPrintout> m_pdf;
    bool m_ended = false;
};

// The file dialog reads and writes its history in the toolkit's settings file, in the user's configuration folder,
// creating that folder when it is missing. While this lives the toolkit's user settings go to a scratch folder of
// their own instead, deleted with it; the user's folder is never touched.
class ToolkitSettingsAside {
public:
    ToolkitSettingsAside() : m_native(FolderOf(QSettings::NativeFormat)), m_ini(FolderOf(QSettings::IniFormat)) {
        if (!m_scratch.isValid())
            throw RuntimeError(code::PrinterError, "No scratch folder for the file dialog's settings");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_scratch.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_scratch.path());
    }
    ~ToolkitSettingsAside() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_native);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_ini);
    }
    ToolkitSettingsAside(const ToolkitSettingsAside&) = delete;
    ToolkitSettingsAside& operator=(const ToolkitSettingsAside&) = delete;

private:
    // Where the toolkit keeps its user settings now; asking creates nothing.
    static QString FolderOf(QSettings::Format format) {
        return QFileInfo(QSettings(format, QSettings::UserScope, QStringLiteral("QtProject")).fileName())
            .absolutePath();
    }

    QString m_native;
    QString m_ini;
    QTemporaryDir m_scratch;
};

// Tells what keeps the printer from printing, before the PDF file is offered in its place.
std::string WhyNoPrinter(const PrinterStatus& status) {
    const std::string instead = " You can save the printout as a PDF file instead.";
    if (status.kind == PrinterStatus::Kind::NoScheduler)
        return "No printing service is running on this computer, so nothing can be sent to a printer." + instead;
    std::string text = "The printer \"" + LossyCp1252FromQString(status.name) + "\" is not accepting jobs";
    if (!status.message.isEmpty())
        text += ": " + LossyCp1252FromQString(status.message);
    return text + "." + instead;
}

// Tells where a printout sent to a printer that holds its jobs is now; empty for a printer that prints them.
std::string WaitingNotice(const PrinterStatus& status) {
    const std::string waiting =
        "Your printout is waiting in the queue of the printer \"" + LossyCp1252FromQString(status.name) + "\"";
    if (status.kind == PrinterStatus::Kind::Paused)
        return waiting + ", which is paused. It will print once the printer is resumed.";
    if (status.kind != PrinterStatus::Kind::Stopped)
        return {};
    std::string text = waiting + ", which has stopped";
    if (!status.message.isEmpty())
        text += ": " + LossyCp1252FromQString(status.message);
    return text + ". It will print once the printer is started again.";
}

// The printer's paper, or the locale's where it names none, clear of the edges it cannot print on.
Paper PaperOf(const PrinterStatus& status) {
    const QMarginsF& edges = status.unprintableMm;
    return PaperWithMargins(status.paperMm.width(), status.paperMm.height(), edges.left(), edges.top(), edges.right(),
                            edges.bottom());
}

} // namespace

QString ChoosePdfFile() {
    const ToolkitSettingsAside settings;
    return QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save the printout as PDF"),
                                        QDir::homePath() + QStringLiteral("/dayvell.pdf"),
                                        QStringLiteral("PDF files (*.pdf)"));
}

QtPrinter::QtPrinter(Dialogs& dialogs) : QtPrinter(dialogs, DefaultPrinterStatus, ChoosePdfFile) {}

QtPrinter::QtPrinter(Dialogs& dialogs, StatusCheck status, PdfFileChooser choosePdfFile, Spooler spool)
    : m_dialogs(dialogs), m_status(std::move(status)), m_choosePdfFile(std::move(choosePdfFile)),
      m_spool(spool ? std::move(spool) : Spooler(SpoolWithLp)) {}

std::unique_ptr<PrintJob> QtPrinter::begin() {
    const PrinterStatus status = m_status();
    if (status.takesJobs()) {
        const QString drawn = ReserveFileIn(QDir::tempPath());
        return std::make_unique<QtPrintJob>(drawn, PaperOf(status),
                                            [spool = m_spool, &dialogs = m_dialogs, status](const QString& file) {
                                                spool(file, status.name);
                                                QFile::remove(file);
                                                if (const std::string notice = WaitingNotice(status); !notice.empty())
                                                    dialogs.message(notice, "Printer", Buttons::Ok, Icon::Information);
                                            });
    }
    if (status.kind != PrinterStatus::Kind::NoPrinter)
        m_dialogs.message(WhyNoPrinter(status), "Printer", Buttons::Ok, Icon::Exclamation);
    const QString target = m_choosePdfFile();
    if (target.isEmpty())
        return nullptr;
    // Drawn beside the named file, so that it takes the file's place in one step at the end.
    const QString drawn = ReserveFileIn(QFileInfo(target).absolutePath());
    // The same document as the PDF export: the locale's paper, the least margins.
    return std::make_unique<QtPrintJob>(drawn, DefaultPaper(), [target](const QString& file) {
        if (std::rename(QFile::encodeName(file).constData(), QFile::encodeName(target).constData()) != 0)
            throw RuntimeError(code::PrinterError);
    });
}

} // namespace dayvell
