// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPrinter.h"

#include "Text.h"

#include "core/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSettings>

namespace dayvell {

namespace {

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

QtPrinter::QtPrinter(PrinterCheck hasPrinter, PdfFileChooser choosePdfFile)
    : m_hasPrinter(std::move(hasPrinter)), m_choosePdfFile(std::move(choosePdfFile)) {}

void QtPrinter::printLine(const std::string& text) {
    // Each line break of the text starts a printed line of its own.
    m_lines.push_back(BoxText(text));
}

void QtPrinter::endDocument() {
    const std::vector<QString> lines = std::move(m_lines);
    m_lines.clear();

    QPrinter printer;
    if (!m_hasPrinter()) {
        const QString file = m_choosePdfFile();
        if (file.isEmpty())
            throw RuntimeError(code::PrinterError);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
    }
    QPainter painter;
    if (!painter.begin(&printer))
        throw RuntimeError(code::PrinterError);

    const QRect page = painter.viewport();
    const int lineHeight = painter.fontMetrics().lineSpacing();
    int y = 0;
    for (const QString& item : lines) {
        for (const QString& line : item.split(QLatin1Char('\n'))) {
            if (y + lineHeight > page.height()) {
                if (!printer.newPage())
                    throw RuntimeError(code::PrinterError);
                y = 0;
            }
            painter.drawText(0, y + painter.fontMetrics().ascent(), line);
            y += lineHeight;
        }
    }
    if (!painter.end())
        throw RuntimeError(code::PrinterError);
}

} // namespace dayvell
