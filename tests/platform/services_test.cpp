// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ScriptedDialogs.h"
#include "gui/BoxAnswerer.h"
#include "gui/GuiTest.h"
#include "gui/PdfText.h"

#include "core/RuntimeError.h"
#include "core/TempDir.h"
#include "platform/Disks.h"
#include "platform/QtPrinter.h"
#include "platform/SystemClock.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
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

PrinterStatus Printer(PrinterStatus::Kind kind, const char* message = "", QMarginsF unprintableMm = {}) {
    return {kind, QStringLiteral("office"), QString::fromLatin1(message), unprintableMm, QSizeF()};
}

PrinterStatus NoPrinter() {
    return {};
}

TEST(PrinterTest, WithoutAPrinterTheDocumentGoesToThePdfFileChosen) {
    TempDir dir;
    ScriptedDialogs dialogs;
    const QString pdf = QString::fromStdString(dir.file("page.pdf"));
    int asked = 0;
    QtPrinter printer(dialogs, NoPrinter, [&] {
        ++asked;
        return pdf;
    });
    const auto job = printer.begin();
    ASSERT_NE(job, nullptr);
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
        // The toolkit's settings are where they were for whatever else uses them.
        EXPECT_EQ(QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName(),
                  QString::fromStdString(file));
    }
}

// Printing leaves the user's home folder as it was: the program keeps no configuration, and the file dialog's
// history goes nowhere the user would find it.
TEST(PrinterTest, PrintingToAPdfThroughTheFileDialogLeavesHomeUntouched) {
    TempDir home;
    TempDir out;
    ScriptedDialogs dialogs;
    const QByteArray homeBefore = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(home.path().string()));
    // Where the toolkit keeps its settings in a program started with this home folder.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(home.file(".config")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(home.file(".config")));
    const QString pdf = QString::fromStdString(out.file("page.pdf"));
    BoxAnswerer answerer;
    answerer.then([&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        ASSERT_NE(files, nullptr);
        files->selectFile(pdf);
        QMetaObject::invokeMethod(files, "accept");
    });
    {
        QtPrinter printer(dialogs, NoPrinter, ChoosePdfFile);
        const auto job = printer.begin();
        ASSERT_NE(job, nullptr);
        job->printLine("A page printed from home");
        job->end();
    }
    qputenv("HOME", homeBefore);
    EXPECT_EQ(answerer.answered(), 1);
    EXPECT_EQ(PdfText(out.file("page.pdf")).trimmed(), QStringLiteral("A page printed from home"));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.path()))
        left.push_back(entry.path().string());
    EXPECT_EQ(left, std::vector<std::string>{});
}

// A person who cancels the file dialog has chosen not to print: no job, no file, no failure.
TEST(PrinterTest, DecliningToNameAPdfFileGivesNoJobAndNoFailure) {
    TempDir dir;
    ScriptedDialogs dialogs;
    QtPrinter printer(dialogs, NoPrinter, [] { return QString(); });
    std::unique_ptr<PrintJob> job;
    EXPECT_NO_THROW(job = printer.begin());
    EXPECT_EQ(job, nullptr);
    EXPECT_TRUE(dialogs.shown().empty());
}

// A printer that is there but cannot take the printout is named, with what the scheduler says, before the PDF file
// is offered in its place; declining the file then prints nothing more.
TEST(PrinterTest, APrinterThatCannotTakeTheJobIsNamedBeforeThePdfIsOffered) {
    const std::string instead = " You can save the printout as a PDF file instead.";
    struct Case {
        PrinterStatus status;
        std::string said;
    };
    const Case cases[] = {
        {Printer(PrinterStatus::Kind::NoScheduler),
         "No printing service is running on this computer, so nothing can be sent to a printer." + instead},
        {Printer(PrinterStatus::Kind::NotAccepting), "The printer \"office\" is not accepting jobs." + instead},
        {Printer(PrinterStatus::Kind::NotAccepting, "Out of paper"),
         "The printer \"office\" is not accepting jobs: Out of paper." + instead},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        for (const bool declined : {false, true}) {
            TempDir dir;
            ScriptedDialogs dialogs;
            int spooled = 0;
            QtPrinter printer(
                dialogs, [&] { return c.status; },
                [&] { return declined ? QString() : QString::fromStdString(dir.file("page.pdf")); },
                [&](const QString&, const QString&) { ++spooled; });
            dialogs.expectMessage(c.said, Answer::Ok, "Printer");
            const auto job = printer.begin();
            EXPECT_TRUE(dialogs.allAnswered());
            EXPECT_EQ(dialogs.shown().back().icon, Icon::Exclamation);
            EXPECT_EQ(job == nullptr, declined);
            if (job) {
                job->printLine("Saved instead");
                job->end();
                EXPECT_EQ(PdfText(dir.file("page.pdf")).trimmed(), QStringLiteral("Saved instead"));
            }
            EXPECT_EQ(spooled, 0);
        }
    }
}

// A printer that holds its jobs takes the printout all the same; the user is told it is waiting there, and why.
TEST(PrinterTest, APrintoutLeftWaitingInAPausedOrStoppedQueueIsSaidToWait) {
    struct Case {
        PrinterStatus status;
        std::string said; // empty: nothing is said
    };
    const Case cases[] = {
        {Printer(PrinterStatus::Kind::Ready), ""},
        {Printer(PrinterStatus::Kind::Paused),
         "Your printout is waiting in the queue of the printer \"office\", which is paused. It will print once the "
         "printer is resumed."},
        {Printer(PrinterStatus::Kind::Stopped, "Cover open"),
         "Your printout is waiting in the queue of the printer \"office\", which has stopped: Cover open. It will "
         "print once the printer is started again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        ScriptedDialogs dialogs;
        std::vector<QString> spooledTo;
        QtPrinter printer(
            dialogs, [&] { return c.status; }, [] { return QString(); },
            [&](const QString&, const QString& name) { spooledTo.push_back(name); });
        const auto job = printer.begin();
        ASSERT_NE(job, nullptr);
        job->printLine("Queued");
        EXPECT_TRUE(dialogs.shown().empty()) << "nothing is said before the job is sent";
        if (!c.said.empty())
            dialogs.expectMessage(c.said, Answer::Ok, "Printer");
        job->end();
        EXPECT_TRUE(dialogs.allAnswered());
        EXPECT_EQ(spooledTo, std::vector<QString>{QStringLiteral("office")});
        EXPECT_EQ(dialogs.shown().size(), c.said.empty() ? 0u : 1u);
    }
}

// A job dropped half-way leaves nothing: no file where the printout was to go, no scratch file, and none of its
// lines in the next job.
TEST(PrinterTest, AnAbandonedJobLeavesNothingAndTheNextHoldsOnlyItsOwnLines) {
    TempDir dir;
    ScriptedDialogs dialogs;
    const std::string pdf = dir.file("book.pdf");
    QtPrinter printer(dialogs, NoPrinter, [&] { return QString::fromStdString(pdf); });
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
    ScriptedDialogs dialogs;
    std::vector<QString> spooled;
    const auto ready = [] { return Printer(PrinterStatus::Kind::Ready); };
    QtPrinter printer(
        dialogs, ready, [] { return QString(); },
        [&](const QString& file, const QString&) { spooled.push_back(PdfText(file.toStdString())); });
    printer.begin()->printLine("Abandoned");
    ASSERT_TRUE(spooled.empty());
    const auto job = printer.begin();
    job->printLine("Sent");
    job->end();
    ASSERT_EQ(spooled.size(), 1u);
    EXPECT_EQ(spooled[0].trimmed(), QStringLiteral("Sent"));

    QtPrinter refused(
        dialogs, ready, [] { return QString(); },
        [](const QString&, const QString&) { throw RuntimeError(code::PrinterError); });
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
        // Tabs take the room they take on paper; what follows them is printed, not drawn past the edge.
        std::string(30, '\t') + "|TABEND3",
        "a\tb\t\tc" + std::string(12, '\t') + "after tabs",
    };
    TempDir dir;
    ScriptedDialogs dialogs;
    const std::string pdf = dir.file("wide.pdf");
    QtPrinter printer(dialogs, NoPrinter, [&] { return QString::fromStdString(pdf); });
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
    EXPECT_TRUE(text.contains(QStringLiteral("|TABEND3")));
}

// Every word stays inside the margins: at least half an inch on every side, more where the printer cannot print
// nearer its paper's edges.
TEST(PrinterTest, TheTextKeepsTheMarginsOfThePaperAndThePrinter) {
    constexpr double kPointsPerMm = 72 / 25.4;
    struct Case {
        const char* what;
        bool toPrinter;
        QMarginsF unprintableMm;
        QMarginsF leastMm;
    };
    const Case cases[] = {
        {"PDF file", false, {}, {12.7, 12.7, 12.7, 12.7}},
        {"printer printing to its edges", true, {}, {12.7, 12.7, 12.7, 12.7}},
        {"printer with wide borders", true, {20, 25, 18, 30}, {20, 25, 18, 30}},
    };
    // Wide lines, a tab run and enough lines to fill a sheet, so that the text reaches every margin.
    std::vector<std::string> lines;
    for (int n = 0; n < 120; ++n)
        lines.push_back(n % 3 == 0 ? std::string(90, 'W') : n % 3 == 1 ? std::string(11, '\t') + "|edge" : "left");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ScriptedDialogs dialogs;
        const std::string pdf = dir.file("margins.pdf");
        const PrinterStatus status =
            c.toPrinter ? Printer(PrinterStatus::Kind::Ready, "", c.unprintableMm) : NoPrinter();
        QtPrinter printer(
            dialogs, [&] { return status; }, [&] { return QString::fromStdString(pdf); },
            [&](const QString& file, const QString&) { std::filesystem::copy_file(file.toStdString(), pdf); });
        const auto job = printer.begin();
        for (const std::string& line : lines)
            job->printLine(line);
        job->end();

        const std::vector<PdfWord> words = PdfWords(pdf);
        ASSERT_FALSE(words.empty());
        QRectF inked;
        for (const PdfWord& word : words) {
            const QRectF allowed = QRectF(QPointF(0, 0), word.page)
                                       .marginsRemoved(c.leastMm * kPointsPerMm)
                                       .marginsAdded(QMarginsF(0.5, 0.5, 0.5, 0.5));
            EXPECT_TRUE(allowed.contains(word.box))
                << word.text.toStdString() << " at " << word.box.left() << "," << word.box.top() << " to "
                << word.box.right() << "," << word.box.bottom();
            inked = inked.united(word.box);
        }
        // The text starts at the margins themselves, not somewhere further in.
        EXPECT_NEAR(inked.left(), c.leastMm.left() * kPointsPerMm, 3.0);
        EXPECT_NEAR(inked.top(), c.leastMm.top() * kPointsPerMm, 6.0);
    }
}

} // namespace
} // namespace dayvell::test
