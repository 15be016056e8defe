// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BoxAnswerer.h"
#include "gui/GuiTest.h"

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
    printer.printLine(" 1");
    printer.printLine("Saturday, 12/5/2026\r\nA first line\r\nand a second one");
    printer.endDocument();
    EXPECT_EQ(asked, 1);
    const std::string bytes = ReadFileBytes(dir.file("page.pdf"));
    EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
    EXPECT_NE(bytes.find("%%EOF"), std::string::npos);
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
    printer.printLine("text");
    try {
        printer.endDocument();
        ADD_FAILURE() << "printing went on without a printer or a file";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), code::PrinterError);
    }
}

} // namespace
} // namespace dayvell::test
