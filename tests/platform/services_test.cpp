// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BoxAnswerer.h"
#include "gui/GuiTest.h"
#include "gui/PdfText.h"

#include "core/TempDir.h"
#include "platform/Disks.h"
#include "platform/QtPrinter.h"
#include "platform/SystemClock.h"

#include <QCoreApplication>
#include <QDialog>
#include <QSettings>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

namespace dayvell::test {
namespace {

const QDateTime kSaturdayAfternoon(QDate(2026, 12, 5), QTime(13, 46, 33));

TEST(ClockTest, UsTextsHaveAFourDigitYearAndSecondsWithoutAZone) {
    const SystemClock clock(QLocale(QLocale::English, QLocale::UnitedStates), [] { return kSaturdayAfternoon; });
    EXPECT_EQ(clock.shortDate(), "12/5/2026");
    EXPECT_EQ(clock.weekdayName(), "Saturday");
    EXPECT_EQ(clock.timeText(), "1:46:33 PM");
}

TEST(ClockTest, OtherLocalesKeepTheirOwnOrderAndNames) {
    struct Case {
        QLocale locale;
        std::string date, weekday, time;
    };
    const Case cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), "05.12.2026", "Samstag", "13:46:33"},
        {QLocale(QLocale::French, QLocale::France), "05/12/2026", "samedi", "13:46:33"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), "05/12/2026", "Saturday", "13:46:33"},
    };
    for (const Case& c : cases) {
        const SystemClock clock(c.locale, [] { return kSaturdayAfternoon; });
        EXPECT_EQ(clock.shortDate(), c.date) << c.locale.name().toStdString();
        EXPECT_EQ(clock.weekdayName(), c.weekday) << c.locale.name().toStdString();
        EXPECT_EQ(clock.timeText(), c.time) << c.locale.name().toStdString();
    }
}

TEST(ClockTest, FormatsAreWidenedAndStrippedOnlyWhereNeeded) {
    // A locale's formats as given, and as the program uses them.
    struct Case {
        const char* date;
        const char* dateUsed;
        const char* time;
        const char* timeUsed;
    };
    const Case cases[] = {
        {"M/d/yy", "M/d/yyyy", "h:mm:ss AP t", "h:mm:ss AP"},
        {"dd.MM.yyyy", "dd.MM.yyyy", "HH:mm:ss t", "HH:mm:ss"},
        {"yy-MM-dd", "yyyy-MM-dd", "t HH:mm:ss", "HH:mm:ss"},
        {"d 'yy' yy", "d 'yy' yyyy", "HH:mm:ss 'at' tttt", "HH:mm:ss 'at'"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FourDigitYear(QString::fromLatin1(c.date)), QString::fromLatin1(c.dateUsed)) << c.date;
        EXPECT_EQ(WithoutTimeZone(QString::fromLatin1(c.time)), QString::fromLatin1(c.timeUsed)) << c.time;
    }
}

TEST(DisksTest, KilobytesRoundHalfToEven) {
    struct Case {
        std::uintmax_t bytes;
        std::int64_t kb;
    };
    const Case cases[] = {
        {0, 0},
        {511, 0},
        {512, 0},
        {513, 1},
        {1023, 1},
        {1024, 1},
        {1536, 2},
        {2560, 2},
        {2561, 3},
        {3584, 4},
        {10239, 10},
        {9 * 1024 + 512, 10},
        {3ULL << 40, 3LL << 30}, // 3 TB: past 32 bits
    };
    for (const Case& c : cases)
        EXPECT_EQ(KilobytesRoundedHalfEven(c.bytes), c.kb) << c.bytes;
}

TEST(DisksTest, SystemDisksKnowTheProgramDirectoryAndFreeSpace) {
    SystemDisks disks;
    EXPECT_EQ(disks.programDirectory(), QCoreApplication::applicationDirPath().toStdString());
    TempDir dir;
    const auto expected = std::filesystem::space(dir.path()).available / 1024;
    const std::int64_t kb = disks.freeSpaceKB(dir.dir());
    // Other programs write meanwhile; the figure must still be of the same disk.
    EXPECT_NEAR(double(kb), double(expected), 64 * 1024.0);
    try {
        disks.freeSpaceKB(dir.file("nosuch/deeper"));
        ADD_FAILURE() << "a missing directory gave a free space";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), code::PathNotFound);
    }
}

TEST(PrinterTest, WithoutAPrinterTheDocumentGoesToThePdfFileChosen) {
    TempDir dir;
    const QString pdf = QString::fromStdString(dir.file("page.pdf"));
    int asked = 0;
    QtPrinter printer([] { return false; },
                      [&] {
                          ++asked;
                          return pdf;
                      });
    const auto job = printer.begin();
    job->printLine(" 1");
    job->printLine("Saturday, 12/5/2026\r\nA first line\r\nand a second one");
    job->end();
    EXPECT_EQ(asked, 1);
    const std::string bytes = ReadFileBytes(dir.file("page.pdf"));
    EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
    EXPECT_NE(bytes.find("%%EOF"), std::string::npos);
    EXPECT_EQ(PdfText(dir.file("page.pdf")).split(QLatin1Char('\n')).mid(0, 4),
              (QStringList{"1", "Saturday, 12/5/2026", "A first line", "and a second one"}));
}

// The program keeps no configuration: the file dialog's history must not stay behind in the toolkit's settings.
TEST(PrinterTest, AskingForThePdfFileLeavesTheToolkitsSettingsAsFound) {
    struct Case {
        const char* what;
        std::optional<std::string> before;
    };
    const Case cases[] = {{"no settings file", std::nullopt}, {"another program's settings", "[General]\nkept=1\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir config;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(config.dir()));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(config.dir()));
        const std::string file = config.file("QtProject.conf");
        if (c.before)
            WriteFileBytes(file, *c.before);
        BoxAnswerer answerer;
        bool asked = false;
        answerer.then([&](QDialog& dialog) {
            asked = true;
            dialog.reject();
        });
        EXPECT_TRUE(ChoosePdfFile().isEmpty());
        EXPECT_TRUE(asked);
        if (c.before) {
            EXPECT_EQ(ReadFileBytes(file), *c.before);
        } else {
            EXPECT_FALSE(std::filesystem::exists(file));
        }
    }
}

TEST(PrinterTest, DecliningToNameAPdfFileIsAPrinterError) {
    QtPrinter printer([] { return false; }, [] { return QString(); });
    try {
        printer.begin();
        ADD_FAILURE() << "printing went on without a printer or a file";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), code::PrinterError);
    }
}

// A job dropped half-way leaves nothing: no file where the printout was to go, no scratch file, and none of its
// lines in the next job.
TEST(PrinterTest, AnAbandonedJobLeavesNothingAndTheNextHoldsOnlyItsOwnLines) {
    TempDir dir;
    const std::string pdf = dir.file("book.pdf");
    QtPrinter printer([] { return false; }, [&] { return QString::fromStdString(pdf); });
    {
        const auto job = printer.begin();
        job->printLine("Leftover of a failed print");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    const auto job = printer.begin();
    job->printLine("The next print");
    job->end();
    EXPECT_EQ(PdfText(pdf).trimmed(), QStringLiteral("The next print"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// With a printer installed, an ended job's PDF goes to the spooler and an abandoned one never does.
TEST(PrinterTest, OnlyAnEndedJobReachesThePrinter) {
    std::vector<QString> spooled;
    QtPrinter printer([] { return true; }, [] { return QString(); },
                      [&](const QString& file) { spooled.push_back(PdfText(file.toStdString())); });
    printer.begin()->printLine("Abandoned");
    ASSERT_TRUE(spooled.empty());
    const auto job = printer.begin();
    job->printLine("Sent");
    job->end();
    ASSERT_EQ(spooled.size(), 1u);
    EXPECT_EQ(spooled[0].trimmed(), QStringLiteral("Sent"));

    QtPrinter refused([] { return true; }, [] { return QString(); },
                      [](const QString&) { throw RuntimeError(code::PrinterError); });
    const auto failing = refused.begin();
    failing->printLine("Not sent");
    EXPECT_THROW(failing->end(), RuntimeError);
}

// Lines wider than the paper go on to the next line, at a space where there is one: nothing is cut at the edge.
TEST(PrinterTest, LinesWiderThanThePaperAreContinuedNotCut) {
    const std::string cases[] = {
        std::string(90, 'W'),
        std::string(90, 'M') + std::string(200, 'W'),
        "Wide words " + std::string(120, 'm') + " and then some more words to fill a line " + std::string(40, '@'),
    };
    TempDir dir;
    const std::string pdf = dir.file("wide.pdf");
    QtPrinter printer([] { return false; }, [&] { return QString::fromStdString(pdf); });
    const auto job = printer.begin();
    QString expected;
    for (const std::string& line : cases) {
        job->printLine(line);
        expected += QString::fromStdString(line);
    }
    job->end();
    const QString text = PdfText(pdf);
    EXPECT_EQ(WithoutSpaces(text).toStdString(), WithoutSpaces(expected).toStdString());
    EXPECT_TRUE(text.contains(QStringLiteral("Wide words")));
}

} // namespace
} // namespace dayvell::test
