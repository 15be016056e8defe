// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPrinter.h"

#include "Text.h"

#include "core/Dialogs.h"
#include "core/PrintText.h"
#include "core/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace dayvell {

namespace {

constexpr qreal kPointSize = 10;
// Half an inch: no printer clips that much, and a PDF printed later on any of them keeps every character.
constexpr qreal kLeastMarginMm = 12.7;

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

class QtPrintJob : public PrintJob {
public:
    // The job is drawn into `drawnFile` on paper of `pageSize` (the toolkit's default when invalid), keeping
    // `marginsMm` free; at its end `deliver` takes the finished file.
    QtPrintJob(const QString& drawnFile, const QPageSize& pageSize, const QMarginsF& marginsMm,
               std::function<void(const QString&)> deliver)
        : m_file(drawnFile), m_printer(QPrinter::HighResolution), m_deliver(std::move(deliver)) {
        m_printer.setOutputFormat(QPrinter::PdfFormat);
        m_printer.setOutputFileName(m_file);
        if (pageSize.isValid())
            m_printer.setPageSize(pageSize);
        m_printer.setFullPage(false);
        if (!m_printer.setPageMargins(marginsMm, QPageLayout::Millimeter)) {
            QFile::remove(m_file);
            throw RuntimeError(code::PrinterError);
        }
        m_printer.setDocName(QStringLiteral("dayvell"));
        if (!m_painter.begin(&m_printer)) {
            QFile::remove(m_file);
            throw RuntimeError(code::PrinterError);
        }
        m_width = m_painter.viewport().width();
        m_height = m_painter.viewport().height();

        // A fixed-pitch font sized so that a full line of the print width fits the paper: the text was wrapped
        // to that many characters.
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
        font.setPointSizeF(kPointSize);
        const qreal full =
            QFontMetricsF(font, &m_printer).horizontalAdvance(QString(int(kPrintWidth), QLatin1Char('M')));
        if (full > m_width)
            font.setPointSizeF(kPointSize * m_width / full * 0.98);
        m_painter.setFont(font);
        m_metrics = std::make_unique<QFontMetricsF>(font, &m_printer);
        m_widest = m_metrics->maxWidth();
    }

    ~QtPrintJob() override {
        if (m_ended)
            return;
        // Abandoned: the drawn file is finished only to be deleted.
        m_painter.end();
        QFile::remove(m_file);
    }

    void printLine(const std::string& text) override {
        for (const QString& line : BoxText(ExpandTabs(text)).split(QLatin1Char('\n'))) {
            QString rest = line;
            do {
                drawLine(takeFittingPart(rest));
            } while (!rest.isEmpty());
        }
    }

    void end() override {
        m_ended = true;
        if (!m_painter.end()) {
            QFile::remove(m_file);
            throw RuntimeError(code::PrinterError);
        }
        try {
            m_deliver(m_file);
        } catch (...) {
            QFile::remove(m_file);
            throw;
        }
    }

private:
    // Takes from `rest` the longest start that fits the paper's width, broken after its last space when it has
    // one: no character is ever cut off at the right edge.
    QString takeFittingPart(QString& rest) const {
        // Most lines are plainly short enough; only the others are measured glyph by glyph.
        if (rest.size() * m_widest <= m_width || m_metrics->horizontalAdvance(rest) <= m_width) {
            QString all;
            all.swap(rest);
            return all;
        }
        qsizetype fits = 0;
        qreal width = 0;
        while (fits < rest.size()) {
            width += m_metrics->horizontalAdvance(rest[fits]);
            if (width > m_width)
                break;
            ++fits;
        }
        // Even a paper too narrow for one character takes one a line, so that printing ends.
        fits = std::max<qsizetype>(fits, 1);
        const qsizetype space = rest.lastIndexOf(QLatin1Char(' '), fits - 1);
        const qsizetype cut = space > 0 ? space + 1 : fits;
        QString part = rest.left(cut);
        rest.remove(0, cut);
        return part;
    }

    void drawLine(const QString& line) {
        const qreal lineHeight = m_metrics->lineSpacing();
        if (m_y > 0 && m_y + lineHeight > m_height) {
            if (!m_printer.newPage())
                throw RuntimeError(code::PrinterError);
            m_y = 0;
        }
        m_painter.drawText(QPointF(0, m_y + m_metrics->ascent()), line);
        m_y += lineHeight;
    }

    QString m_file;
    QPrinter m_printer;
    QPainter m_painter;
    std::function<void(const QString&)> m_deliver;
    std::unique_ptr<QFontMetricsF> m_metrics;
    qreal m_width = 0;
    qreal m_height = 0;
    // The advance of the font's widest character.
    qreal m_widest = 0;
    qreal m_y = 0;
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

QMarginsF MarginsFor(const QMarginsF& unprintableMm) {
    return {std::max(kLeastMarginMm, unprintableMm.left()), std::max(kLeastMarginMm, unprintableMm.top()),
            std::max(kLeastMarginMm, unprintableMm.right()), std::max(kLeastMarginMm, unprintableMm.bottom())};
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
        return std::make_unique<QtPrintJob>(drawn, QPrinterInfo::printerInfo(status.name).defaultPageSize(),
                                            MarginsFor(status.unprintableMm),
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
    return std::make_unique<QtPrintJob>(drawn, QPageSize(), MarginsFor({}), [target](const QString& file) {
        if (std::rename(QFile::encodeName(file).constData(), QFile::encodeName(target).constData()) != 0)
            throw RuntimeError(code::PrinterError);
    });
}

} // namespace dayvell
