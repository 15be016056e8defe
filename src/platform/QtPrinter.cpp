// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPrinter.h"

#include "Text.h"

#include "core/PrintText.h"
#include "core/RuntimeError.h"

#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace dayvell {

QtPrinter::QtPrinter()
    : QtPrinter([] { return !QPrinterInfo::availablePrinterNames().isEmpty(); },
                [] {
                    return QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save the printout as PDF"),
                                                        QDir::homePath() + QStringLiteral("/dayvell.pdf"),
                                                        QStringLiteral("PDF files (*.pdf)"));
                }) {}

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
    // Lines come wrapped to the print width in characters. In a fixed-pitch font small enough for that many of the
    // widest letter, no line is cut off at the page's edge.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    painter.setFont(font);
    const int widest = painter.fontMetrics().horizontalAdvance(QString(qsizetype(kPrintWidth), QLatin1Char('W')));
    if (widest > page.width()) {
        font.setPointSizeF(font.pointSizeF() * page.width() / widest * 0.98);
        painter.setFont(font);
    }
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
