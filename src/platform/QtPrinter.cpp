// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPrinter.h"

#include "Text.h"

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
#include <QTemporaryFile>

#include <cstdio>
#include <memory>

namespace dayvell {

namespace {

constexpr qreal kPointSize = 10;

// Hands the file to CUPS with the lp command, which has sent the file to the spooler when it returns.
void SpoolWithLp(const QString& pdfFile) {
    const QString lp = QStandardPaths::findExecutable(QStringLiteral("lp"));
    if (lp.isEmpty())
        throw RuntimeError(code::PrinterError);
    QStringList arguments{QStringLiteral("-s"), QStringLiteral("-t"), QStringLiteral("dayvell")};
    // The system's default printer, or the first one where none is chosen as the default.
    QString printer = QPrinterInfo::defaultPrinterName();
    if (printer.isEmpty() && !QPrinterInfo::availablePrinterNames().isEmpty())
        printer = QPrinterInfo::availablePrinterNames().first();
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
    // The job is drawn into `drawnFile`; at its end `deliver` takes the finished file.
    QtPrintJob(const QString& drawnFile, const QPageSize& pageSize, std::function<void(const QString&)> deliver)
        : m_file(drawnFile), m_printer(QPrinter::HighResolution), m_deliver(std::move(deliver)) {
        m_printer.setOutputFormat(QPrinter::PdfFormat);
        m_printer.setOutputFileName(m_file);
        if (pageSize.isValid())
            m_printer.setPageSize(pageSize);
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
        for (const QString& line : BoxText(text).split(QLatin1Char('\n'))) {
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

// Puts the toolkit's settings file back as it was when this was made: absent, or with the same bytes.
class SettingsLeftAsFound {
public:
    SettingsLeftAsFound() : m_path(QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName()) {
        QFile file(m_path);
        m_existed = file.open(QIODevice::ReadOnly);
        if (m_existed)
            m_bytes = file.readAll();
    }
    ~SettingsLeftAsFound() {
        if (!m_existed) {
            QFile::remove(m_path);
            return;
        }
        QFile file(m_path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(m_bytes);
    }
    SettingsLeftAsFound(const SettingsLeftAsFound&) = delete;
    SettingsLeftAsFound& operator=(const SettingsLeftAsFound&) = delete;

private:
    QString m_path;
    bool m_existed = false;
    QByteArray m_bytes;
};

} // namespace

QString ChoosePdfFile() {
    const SettingsLeftAsFound settings;
    return QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save the printout as PDF"),
                                        QDir::homePath() + QStringLiteral("/dayvell.pdf"),
                                        QStringLiteral("PDF files (*.pdf)"));
}

QtPrinter::QtPrinter() : QtPrinter([] { return !QPrinterInfo::availablePrinterNames().isEmpty(); }, ChoosePdfFile) {}

QtPrinter::QtPrinter(PrinterCheck hasPrinter, PdfFileChooser choosePdfFile, Spooler spool)
    : m_hasPrinter(std::move(hasPrinter)), m_choosePdfFile(std::move(choosePdfFile)),
      m_spool(spool ? std::move(spool) : Spooler(SpoolWithLp)) {}

std::unique_ptr<PrintJob> QtPrinter::begin() {
    if (m_hasPrinter()) {
        const QString drawn = ReserveFileIn(QDir::tempPath());
        return std::make_unique<QtPrintJob>(drawn, QPrinterInfo::defaultPrinter().defaultPageSize(),
                                            [spool = m_spool](const QString& file) {
                                                spool(file);
                                                QFile::remove(file);
                                            });
    }
    const QString target = m_choosePdfFile();
    if (target.isEmpty())
        throw RuntimeError(code::PrinterError);
    // Drawn beside the named file, so that it takes the file's place in one step at the end.
    const QString drawn = ReserveFileIn(QFileInfo(target).absolutePath());
    return std::make_unique<QtPrintJob>(drawn, QPageSize(), [target](const QString& file) {
        if (std::rename(QFile::encodeName(file).constData(), QFile::encodeName(target).constData()) != 0)
            throw RuntimeError(code::PrinterError);
    });
}

} // namespace dayvell
