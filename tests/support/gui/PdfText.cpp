// SPDX-License-Identifier: GPL-3.0-or-later
#include "PdfText.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace dayvell::test {

QString PdfText(const std::string& pdf) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty()) {
        ADD_FAILURE() << "pdftotext is missing (package poppler-utils)";
        return {};
    }
    QProcess run;
    run.start(tool,
              {QStringLiteral("-enc"), QStringLiteral("UTF-8"), QString::fromStdString(pdf), QStringLiteral("-")});
    run.waitForFinished(120000);
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    return QString::fromUtf8(run.readAllStandardOutput());
}

std::vector<PdfWord> PdfWords(const std::string& pdf) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty()) {
        ADD_FAILURE() << "pdftotext is missing (package poppler-utils)";
        return {};
    }
    QProcess run;
    run.start(tool, {QStringLiteral("-bbox"), QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                     QString::fromStdString(pdf), QStringLiteral("-")});
    run.waitForFinished(120000);
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    const QString html = QString::fromUtf8(run.readAllStandardOutput());
    static const QRegularExpression element(QStringLiteral(
        R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    std::vector<PdfWord> words;
    QSizeF page;
    for (auto it = element.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!m.captured(1).isEmpty()) {
            page = QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
            continue;
        }
        const QPointF topLeft(m.captured(3).toDouble(), m.captured(4).toDouble());
        const QPointF bottomRight(m.captured(5).toDouble(), m.captured(6).toDouble());
        words.push_back({m.captured(7), QRectF(topLeft, bottomRight), page});
    }
    return words;
}

QString WithoutSpaces(QString text) {
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    return text;
}

} // namespace dayvell::test
