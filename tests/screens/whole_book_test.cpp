// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"
#include "gui/PdfText.h"

#include "core/ErrorReporter.h"
#include "core/Export.h"
#include "core/PdfReading.h"
#include "core/PrintText.h"
#include "core/Purposes.h"
#include "platform/QtPrinter.h"
#include "screens/Windows.h"

#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace dayvell::test {
namespace {

const QString kCover = QStringLiteral("Form5");
const QString kStart = QStringLiteral("form1");

constexpr const char* kPrintQuestion =
    "This will print your entire dayvell, it could take a while, depending on dayvell size.";
constexpr const char* kPrinterCheck = "Make sure the printer is ready, then click OK to continue.";
constexpr const char* kDeleteQuestion = "WARNING! This function will delete your dayvell forever!";
constexpr const char* kPasswordQuestion = "Please enter your password.";

// Every line the whole book's print must hold, in order.
std::vector<std::string> PrintedBook(const std::string& coverName, const std::vector<Page>& pages) {
    std::vector<std::string> lines{coverName};
    for (const Page& page : pages) {
        lines.insert(lines.end(), {page.number, page.date, page.time, WrapForPrint(page.text), ""});
    }
    return lines;
}

// Pages of every kind the print lays out: short, longer than a printed line, with line breaks, and a run of
// characters with no space at all.
std::vector<Page> VariedPages() {
    std::string words;
    for (int i = 0; i < 40; ++i)
        words += "word" + std::to_string(i) + " ";
    return {StampedPage(1, "A short page."), StampedPage(2, words),
            StampedPage(3, "First line\r\nsecond line\r\n\r\nafter an empty one"),
            StampedPage(4, std::string(95, 'W') + " tail")};
}

class WholeBookTest : public ::testing::Test {
protected:
    WholeBookTest() { RegisterWindows(t.services); }

    ProgramWindow* openCover(const Diary& diary) {
        diary.open(t.state);
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
        return t.windows.window(kCover);
    }
    void expectPrintQuestions(const std::string& typed) {
        t.dialogs.expectMessage(kPrintQuestion, Answer::Ok, "Print dayvell?");
        t.dialogs.expectInput(kPasswordQuestion, typed, "Password required.");
    }
    void expectDeleteQuestions(const std::string& typed) {
        t.dialogs.expectMessage(kDeleteQuestion, Answer::Ok, "DELETE DAYVELL?");
        t.dialogs.expectInput(kPasswordQuestion, typed, "Password required.");
    }

    TestServices t;
};

TEST_F(WholeBookTest, PrintSendsTheCoverNameAndEveryPageAsOneJob) {
    struct Case {
        const char* what;
        std::vector<Page> pages;
        std::string coverName;
    };
    const Case cases[] = {
        {"varied pages", VariedPages(), "Days of 2026"},
        {"no pages: the cover line alone", {}, "Days of 2026"},
        {"no cover name set", {StampedPage(1, "Only page")}, "___"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        t.printer.documents.clear();
        t.progress.shown.clear();
        Diary diary(c.pages, "0111111", c.coverName);
        ProgramWindow* form5 = openCover(diary);
        const std::string before = diary.bytes();

        expectPrintQuestions(kDiaryPassword);
        t.dialogs.expectMessage(kPrinterCheck, Answer::Ok, "Printer check");
        trigger(form5, QStringLiteral("printbook"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.dialogs.shown()[t.dialogs.shown().size() - 3].buttons, Buttons::OkCancel);
        EXPECT_EQ(t.dialogs.shown()[t.dialogs.shown().size() - 3].icon, Icon::Question);

        ASSERT_EQ(t.printer.documents.size(), 1u);
        EXPECT_EQ(t.printer.documents[0], PrintedBook(c.coverName, c.pages));
        // The progress counts pages done of the pages in the book, and closes at the end.
        ASSERT_EQ(t.progress.shown.size(), 1u);
        const auto& shown = t.progress.shown[0];
        EXPECT_EQ(shown.total, std::int64_t(c.pages.size()));
        ASSERT_FALSE(shown.steps.empty());
        EXPECT_EQ(shown.steps.back(), std::int64_t(c.pages.size()));
        EXPECT_TRUE(std::is_sorted(shown.steps.begin(), shown.steps.end()));
        EXPECT_TRUE(shown.closed);

        // Nothing of the book or of what the cover window holds changes.
        EXPECT_EQ(ReadFileBytes(diary.path()), before);
        EXPECT_EQ(t.state.secflags, "0111111");
        EXPECT_EQ(t.state.password, kDiaryPassword);
        t.windows.unload(kCover);
        settle();
    }
}

TEST_F(WholeBookTest, PrintEndsSilentlyOrWithItsMessageBeforeAnythingIsPrinted) {
    struct Case {
        const char* what;
        std::function<void(ScriptedDialogs&)> answers;
    };
    const Case cases[] = {
        {"question cancelled",
         [](ScriptedDialogs& d) { d.expectMessage(kPrintQuestion, Answer::Cancel, "Print dayvell?"); }},
        {"password box cancelled",
         [](ScriptedDialogs& d) {
             d.expectMessage(kPrintQuestion, Answer::Ok);
             d.expectInput(kPasswordQuestion, "");
         }},
        {"password in other letter case",
         [](ScriptedDialogs& d) {
             d.expectMessage(kPrintQuestion, Answer::Ok);
             d.expectInput(kPasswordQuestion, "KEY1");
             d.expectMessage("Incorrect password. Print cancelled.", Answer::Ok, "");
         }},
        {"printer not ready",
         [](ScriptedDialogs& d) {
             d.expectMessage(kPrintQuestion, Answer::Ok);
             d.expectInput(kPasswordQuestion, kDiaryPassword);
             d.expectMessage(kPrinterCheck, Answer::Cancel);
         }},
    };
    Diary diary({StampedPage(1, "Page one")});
    ProgramWindow* form5 = openCover(diary);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.answers(t.dialogs);
        trigger(form5, QStringLiteral("printbook"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.printer.begun, 0);
        EXPECT_TRUE(t.progress.shown.empty());
    }
    EXPECT_EQ(t.dialogs.shown().back().icon, Icon::Information) << "the printer check";
    EXPECT_EQ(t.dialogs.shown()[t.dialogs.shown().size() - 4].icon, Icon::None) << "the refusal";
}

TEST_F(WholeBookTest, CancelInTheProgressAbandonsTheJob) {
    Diary diary(VariedPages());
    ProgramWindow* form5 = openCover(diary);
    t.progress.cancelAt = 2;
    expectPrintQuestions(kDiaryPassword);
    t.dialogs.expectMessage(kPrinterCheck, Answer::Ok);
    trigger(form5, QStringLiteral("printbook"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_TRUE(t.printer.documents.empty());
    EXPECT_EQ(t.printer.abandoned, 1);
    ASSERT_EQ(t.progress.shown.size(), 1u);
    EXPECT_EQ(t.progress.shown[0].steps.back(), 2) << "no page is read after Cancel";
    EXPECT_TRUE(t.progress.shown[0].closed);
}

// A print that fails part-way sends nothing, and nothing of it reaches the next print.
TEST_F(WholeBookTest, AFailedPrintSendsNothingAndTheNextHoldsOnlyItsOwnLines) {
    struct Case {
        const char* what;
        std::function<void(TestServices&, const Diary&)> breakIt;
        int code;
        // A job is begun only once the book is known to be readable to its end.
        int abandoned;
    };
    const Case cases[] = {
        {"printer fails on page 3",
         [](TestServices& s, const Diary&) {
             s.printer.failWith = code::PrinterError;
             s.printer.failAfterLines = 11;
         },
         code::PrinterError, 1},
        {"last page cut short on disk",
         [](TestServices&, const Diary& d) {
             const std::string bytes = ReadFileBytes(d.path());
             WriteFileBytes(d.path(), bytes.substr(0, bytes.size() - 12));
         },
         code::PastEndOfFile, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        t.printer = {};
        const std::vector<Page> pages = VariedPages();
        Diary diary(pages);
        ProgramWindow* form5 = openCover(diary);
        const std::string intact = diary.bytes();
        c.breakIt(t, diary);

        expectPrintQuestions(kDiaryPassword);
        t.dialogs.expectMessage(kPrinterCheck, Answer::Ok);
        ExpectErrorReport(t.dialogs, c.code);
        trigger(form5, QStringLiteral("printbook"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_TRUE(t.printer.documents.empty());
        EXPECT_EQ(t.printer.abandoned, c.abandoned);

        WriteFileBytes(diary.path(), intact);
        t.printer.failWith.reset();
        expectPrintQuestions(kDiaryPassword);
        t.dialogs.expectMessage(kPrinterCheck, Answer::Ok);
        trigger(form5, QStringLiteral("printbook"));
        ASSERT_EQ(t.printer.documents.size(), 1u);
        EXPECT_EQ(t.printer.documents[0], PrintedBook("Days of 2026", pages));
        t.windows.unload(kCover);
        settle();
    }
}

TEST_F(WholeBookTest, TheWholeBookPrintedToPdfReadsBackCompleteWithNoLineCut) {
    TempDir out;
    const std::string pdf = out.file("book.pdf");
    QtPrinter pdfPrinter(
        t.dialogs, [] { return PrinterStatus{}; }, [&] { return QString::fromStdString(pdf); });
    Services services{t.windows, t.dialogs, t.clock, t.disks, pdfPrinter, t.progress, t.state};
    RegisterWindows(services);

    // Wide letters all the way to the print width and beyond, a cover name longer than any line, and enough pages
    // to fill several sheets.
    std::vector<Page> pages = VariedPages();
    pages.push_back(StampedPage(5, std::string(89, 'M') + " " + std::string(89, 'W') + " end"));
    for (int n = 6; n <= 60; ++n)
        pages.push_back(StampedPage(n, "Page " + std::to_string(n) + " was a day like any other.\r\nIt ended."));
    // A run of tabs reaches far to the right on paper; what follows it must still be printed.
    pages.push_back(StampedPage(61, std::string(30, '\t') + "|TABEND3\r\n\tindented\tand on"));
    std::string coverName;
    for (int i = 0; i < 30; ++i)
        coverName += "Cover" + std::to_string(i) + " ";
    Diary diary(pages, "0111111", coverName);
    ProgramWindow* form5 = openCover(diary);

    expectPrintQuestions(kDiaryPassword);
    t.dialogs.expectMessage(kPrinterCheck, Answer::Ok);
    trigger(form5, QStringLiteral("printbook"));
    EXPECT_TRUE(t.dialogs.allAnswered());

    const QString text = PdfText(pdf);
    // Every character of the book, in order, and nothing else: a character cut at the paper's edge is missing.
    QString expected;
    for (const std::string& line : PrintedBook(coverName, pages))
        expected += QString::fromStdString(line);
    EXPECT_EQ(WithoutSpaces(text).toStdString(), WithoutSpaces(expected).toStdString());

    // Each page's number, date line and time stand on lines of their own, in order.
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = line.trimmed();
    qsizetype at = 0;
    for (const Page& page : pages) {
        for (const std::string& field : {page.number, page.date, page.time}) {
            const QString wanted = QString::fromStdString(field).trimmed();
            const qsizetype found = lines.indexOf(wanted, at);
            ASSERT_GE(found, 0) << "missing or out of order: " << field;
            at = found + 1;
        }
    }
    // No scratch file of the job is left beside the printout.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);

    // The PDF export is the same document, sheet for sheet and line for line.
    const std::string exported = out.file("exported.pdf");
    ScriptedProgress exporting;
    ASSERT_EQ(ExportBook(Book(diary.path(), kDiaryPassword), ExportFormat::Pdf, exported, Existing::Keep, exporting),
              ExportOutcome::Written);
    EXPECT_EQ(PdfToText(exported, true), PdfToText(pdf, true));
    EXPECT_EQ(PdfSheets(exported), PdfSheets(pdf));
    EXPECT_GT(PdfSheets(pdf), 1);
    t.windows.unloadAll();
    settle();
}

// Without a printer the printout goes to a PDF file the user names. Cancelling that choice is no printer failure:
// nothing is printed and nothing more is said, for a page as for the whole book.
TEST_F(WholeBookTest, CancellingThePdfFileChoicePrintsNothingAndSaysNothing) {
    int asked = 0;
    QtPrinter pdfPrinter(
        t.dialogs, [] { return PrinterStatus{}; },
        [&] {
            ++asked;
            return QString();
        });
    Services services{t.windows, t.dialogs, t.clock, t.disks, pdfPrinter, t.progress, t.state};
    RegisterWindows(services);
    Diary diary(VariedPages(), "0000000");
    ProgramWindow* form5 = openCover(diary);

    expectPrintQuestions(kDiaryPassword);
    t.dialogs.expectMessage(kPrinterCheck, Answer::Ok);
    trigger(form5, QStringLiteral("printbook"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(t.windows.isLoaded(kCover));

    trigger(form5, QStringLiteral("view"));
    waitUntilActive(t.windows, QStringLiteral("Form7"));
    t.dialogs.expectMessage(kPrinterCheck, Answer::Ok);
    trigger(t.windows.window(QStringLiteral("Form7")), QStringLiteral("printpage"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(asked, 2);
    // No box beyond the ones expected: a report of a printer failure would have failed the test already.
    EXPECT_EQ(t.dialogs.shown().back().text, kPrinterCheck);
    t.windows.unloadAll();
    settle();
}

TEST_F(WholeBookTest, DeleteRefusalsLeaveTheBookOpen) {
    struct Case {
        const char* what;
        std::function<void(ScriptedDialogs&)> answers;
    };
    const Case cases[] = {
        {"warning cancelled", [](ScriptedDialogs& d) { d.expectMessage(kDeleteQuestion, Answer::Cancel); }},
        {"password box cancelled",
         [](ScriptedDialogs& d) {
             d.expectMessage(kDeleteQuestion, Answer::Ok);
             d.expectInput(kPasswordQuestion, "");
         }},
        {"password in other letter case",
         [](ScriptedDialogs& d) {
             d.expectMessage(kDeleteQuestion, Answer::Ok);
             d.expectInput(kPasswordQuestion, "Key1");
             d.expectMessage("Incorrect password. Dayvell not deleted.", Answer::Ok, "");
         }},
    };
    Diary diary({StampedPage(1, "Page one")});
    ProgramWindow* form5 = openCover(diary);
    const std::string before = diary.bytes();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.answers(t.dialogs);
        trigger(form5, QStringLiteral("deletebook"));
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(ReadFileBytes(diary.path()), before);
        EXPECT_EQ(t.windows.loadedIds(), QStringList{kCover});
        EXPECT_EQ(t.state.password, kDiaryPassword);
    }
}

TEST_F(WholeBookTest, DeletingClosesEveryWindowOfTheBookAndAnotherBookOpensNormally) {
    Diary diary({StampedPage(1, "Page one"), StampedPage(2, "Page two")}, "0000000");
    ProgramWindow* form5 = openCover(diary);
    // Every window a book can have open over its cover.
    for (const char* item : {"view", "search", "enterpage", "security", "cover", "changefile"})
        trigger(form5, QString::fromLatin1(item));
    settle();
    for (const char* id : {"Form7", "Form8", "Form2", "Form6", "Form10", "Form12"})
        ASSERT_TRUE(t.windows.isLoaded(QString::fromLatin1(id))) << id;
    t.windows.activate(kCover);
    waitUntilActive(t.windows, kCover);

    expectDeleteQuestions(kDiaryPassword);
    t.dialogs.expectMessage("Your dayvell was deleted!", Answer::Ok, "Dayvell Deleted.");
    trigger(form5, QStringLiteral("deletebook"));
    waitUntilActive(t.windows, kStart);
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(t.dialogs.shown().back().icon, Icon::Information);
    EXPECT_EQ(t.dialogs.shown().front().defaultButton, Answer::Cancel) << "Enter must not delete the book";
    EXPECT_FALSE(std::filesystem::exists(diary.path()));
    EXPECT_EQ(t.windows.loadedIds(), QStringList{kStart});
    EXPECT_EQ(t.programEnds, 0);
    EXPECT_TRUE(t.state.bookname.empty());
    EXPECT_TRUE(t.state.password.empty());
    EXPECT_EQ(t.state.passwordok, 0);

    // Another book opens through the password prompt as ever.
    TempDir other;
    WriteBook(other.dir(), "other.dvl", {.password = "Other9", .coverName = "The other one", .pages = 3});
    t.state.bookdir = other.dir();
    t.state.bookname = "other.dvl";
    t.state.purpose = purpose::OpenBook;
    t.windows.show(QStringLiteral("frmpassword"));
    waitUntilActive(t.windows, QStringLiteral("frmpassword"));
    QTest::keyClicks(find<QLineEdit>(t.windows.window(QStringLiteral("frmpassword")), QStringLiteral("txtPassword")),
                     QStringLiteral("Other9"));
    click(t.windows.window(QStringLiteral("frmpassword")), QStringLiteral("cmdOK"));
    waitUntilActive(t.windows, kCover);
    EXPECT_EQ(find<QLabel>(t.windows.window(kCover), QStringLiteral("Label2"))->text(),
              QStringLiteral("The other one"));
    EXPECT_EQ(find<QLabel>(t.windows.window(kCover), QStringLiteral("Label10"))->text(), QStringLiteral(" 3"));
}

// The print and delete boxes compare the answer with the password in force, and that must be a key the book proves:
// neither a text typed at the prompt while the book could not be read, nor a password another copy has replaced.
TEST_F(WholeBookTest, OnlyAKeyTheBookProvesPrintsOrDeletesIt) {
    struct Case {
        const char* what;
        std::function<std::string(const Diary&)> setUp; // returns what the user types
    };
    const Case cases[] = {
        {"a text typed while the book could not be read",
         [this](const Diary& diary) {
             trigger(t.windows.window(kCover), QStringLiteral("view"));
             waitUntilActive(t.windows, QStringLiteral("frmpassword"));
             ProgramWindow* prompt = t.windows.window(QStringLiteral("frmpassword"));
             std::filesystem::rename(diary.path(), diary.path() + ".aside");
             QTest::keyClicks(find<QLineEdit>(prompt, QStringLiteral("txtPassword")), QStringLiteral("zzzz"));
             ExpectErrorReport(t.dialogs, code::FileNotFound);
             click(prompt, QStringLiteral("cmdOK"));
             settle();
             std::filesystem::rename(diary.path() + ".aside", diary.path());
             t.windows.unload(QStringLiteral("frmpassword"));
             t.windows.activate(kCover);
             waitUntilActive(t.windows, kCover);
             EXPECT_EQ(t.state.password, kDiaryPassword);
             return std::string("zzzz");
         }},
        {"the password in force after another copy changed it",
         [](const Diary& diary) {
             Book(diary.path(), kDiaryPassword).changePassword("Other99");
             return std::string(kDiaryPassword);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Diary diary({StampedPage(1, "Page one")}, "0111111");
        ProgramWindow* form5 = openCover(diary);
        const std::string typed = c.setUp(diary);
        const std::string before = diary.bytes();

        expectDeleteQuestions(typed);
        t.dialogs.expectMessage("Incorrect password. Dayvell not deleted.", Answer::Ok, "");
        trigger(form5, QStringLiteral("deletebook"));
        expectPrintQuestions(typed);
        t.dialogs.expectMessage("Incorrect password. Print cancelled.", Answer::Ok, "");
        trigger(form5, QStringLiteral("printbook"));
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(ReadFileBytes(diary.path()), before);
        EXPECT_TRUE(t.printer.documents.empty());
        EXPECT_EQ(t.windows.loadedIds(), QStringList{kCover});
        t.windows.unloadAll();
        settle();
    }
}

TEST_F(WholeBookTest, ADeletionThatFailsIsReportedAndTheBookStaysOpen) {
    Diary diary({StampedPage(1, "Page one")});
    ProgramWindow* form5 = openCover(diary);
    std::filesystem::remove(diary.path());
    expectDeleteQuestions(kDiaryPassword);
    ExpectErrorReport(t.dialogs, code::FileNotFound);
    trigger(form5, QStringLiteral("deletebook"));
    settle();
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(t.windows.loadedIds(), QStringList{kCover});
    EXPECT_EQ(t.state.bookname, "diary.dvl");
    EXPECT_EQ(t.state.password, kDiaryPassword);
}

} // namespace
} // namespace dayvell::test
