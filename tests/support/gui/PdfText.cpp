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

QString WithoutSpaces(QString text) {
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    return text;
}

} // namespace dayvell::test
