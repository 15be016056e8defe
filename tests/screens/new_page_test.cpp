// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/Charset.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/RuntimeError.h"
#include "core/SealedKeys.h"
#include "screens/StorableText.h"
#include "screens/Windows.h"

#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace dayvell::test {
namespace {

const QString kNewPage = QStringLiteral("Form2");
const QString kCover = QStringLiteral("Form5");

const std::vector<Page> kThreePages = {
    StampedPage(1, "First"),
    StampedPage(2, "Second"),
    StampedPage(3, "Third"),
};

class NewPageTest : public ::testing::Test {
protected:
    NewPageTest() {
        RegisterWindows(t.services);
        RegisterStandIn(t, kCover, coverActivations);
    }

    ProgramWindow* open(const Diary& diary) {
        diary.open(t.state);
        t.windows.show(kNewPage);
        waitUntilActive(t.windows, kNewPage);
        return window();
    }
    ProgramWindow* window() const { return t.windows.window(kNewPage); }
    QString label(const char* name) const { return find<QLabel>(window(), QString::fromLatin1(name))->text(); }
    QPlainTextEdit* text() const { return find<QPlainTextEdit>(window(), QStringLiteral("Text1")); }
    // The window closed and the cover window took over, its activation run once.
    void expectBackAtCover() {
        waitUntilActive(t.windows, kCover);
        EXPECT_FALSE(t.windows.isLoaded(kNewPage));
        EXPECT_EQ(coverActivations, 1);
    }

    TestServices t;
    int coverActivations = 0;
};

TEST_F(NewPageTest, ControlsAndMenuCarryTheirCaptionsAndTips) {
    Diary diary;
    ProgramWindow* form2 = open(diary);
    EXPECT_EQ(form2->windowTitle(), "New page in your Dayvell");
    struct Case {
        const char* name;
        QString caption, tip;
    };
    const Case labels[] = {
        {"Label1", "Dayvell Name:", ""},
        {"Label2", "Days of 2026", "This is cover name."},
        {"Label5", "Page #", ""},
        {"Label6", " 1", "This is the number of your new page."},
        {"Label7", "Total # of pages in this book:", ""},
        {"Label8", " 0", "This is total number of pages in your dayvell now."},
    };
    for (const Case& c : labels) {
        auto* label = find<QLabel>(form2, QString::fromLatin1(c.name));
        EXPECT_EQ(label->text(), c.caption) << c.name;
        EXPECT_EQ(label->toolTip(), c.tip) << c.name;
    }
    const Case buttons[] = {
        {"Command2", "Save and Exit (ESC)", "Save this page, then exit"},
        {"Command3", "Exit and dont save", "Exit without saving this page"},
        {"Command1", "Help", "More info"},
    };
    for (const Case& c : buttons) {
        auto* button = find<QPushButton>(form2, QString::fromLatin1(c.name));
        EXPECT_EQ(Caption(button->text()), c.caption) << c.name;
        EXPECT_EQ(button->toolTip(), c.tip) << c.name;
    }
    EXPECT_EQ(text()->toolTip(), "Compose your page.");
    EXPECT_EQ(Caption(find<QMenu>(form2, QStringLiteral("page"))->title()), "Page");
    EXPECT_EQ(Caption(find<QAction>(form2, QStringLiteral("save"))->text()), "Quit with save");
    EXPECT_EQ(Caption(find<QAction>(form2, QStringLiteral("nosave"))->text()), "Quit without saving");
}

TEST_F(NewPageTest, ActivationStampsTheNextNumberTheCountTheDateLineAndTheTime) {
    struct Case {
        std::vector<Page> pages;
        QString number, count;
    };
    const Case cases[] = {{{}, " 1", " 0"}, {kThreePages, " 4", " 3"}};
    for (const Case& c : cases) {
        Diary diary(c.pages);
        t.state.pagecount = " 99"; // left by another book: the window counts for itself
        open(diary);
        EXPECT_EQ(label("Label6"), c.number);
        EXPECT_EQ(label("Label8"), c.count);
        EXPECT_EQ(t.state.pagecount, c.count.toStdString());
        EXPECT_EQ(label("Label3"), "Saturday, 12/5/2026");
        EXPECT_EQ(label("Label4"), "1:46:33 PM");
        EXPECT_EQ(label("Label2"), "Days of 2026");
        t.windows.unload(kNewPage);
        settle();
    }
}

TEST_F(NewPageTest, WeekdayDateAndTimeComeFromOneLookAtTheClock) {
    // Each look at the clock is a second later than the one before, the first a second before midnight.
    int looks = 0;
    t.clock = SystemClock(QLocale(QLocale::English, QLocale::UnitedStates),
                          [&looks] { return QDateTime(QDate(2026, 12, 5), QTime(23, 59, 59)).addSecs(looks++); });
    Diary diary;
    ProgramWindow* form2 = open(diary);
    EXPECT_EQ(label("Label3"), "Saturday, 12/5/2026");
    EXPECT_EQ(label("Label4"), "11:59:59 PM");
    click(form2, QStringLiteral("Command2"));
    EXPECT_EQ(diary.bytes(), diary.with({{" 1", "Saturday, 12/5/2026", "11:59:59 PM", ""}}));
}

TEST_F(NewPageTest, SaveAndExitAppendsOneRecordAndReturnsToTheCover) {
    struct Case {
        const char* how;
        QString typed;
        std::string stored;
    };
    const Case cases[] = {
        {"Command2", "Dear diary,\nit rained.\n\nThe end", "Dear diary,\r\nit rained.\r\n\r\nThe end"},
        {"Esc", "Short", "Short"},
        {"save", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        Diary diary(kThreePages);
        coverActivations = 0;
        ProgramWindow* form2 = open(diary);
        typeText(text(), c.typed);
        if (std::string(c.how) == "Command2")
            click(form2, QStringLiteral("Command2"));
        else if (std::string(c.how) == "Esc")
            QTest::keyClick(text(), Qt::Key_Escape);
        else
            trigger(form2, QStringLiteral("save"));
        std::vector<Page> pages = kThreePages;
        pages.push_back(StampedPage(4, c.stored));
        EXPECT_EQ(diary.bytes(), diary.with(pages));
        expectBackAtCover();
        EXPECT_TRUE(t.dialogs.shown().empty());
        t.windows.unload(kCover);
        settle();
    }
}

TEST_F(NewPageTest, TypedTextSurvivesReactivationWhileNumberDateAndTimeAreComputedAfresh) {
    QDateTime now(QDate(2026, 12, 5), QTime(23, 59, 50));
    t.clock = SystemClock(QLocale(QLocale::English, QLocale::UnitedStates), [&now] { return now; });
    Diary diary(kThreePages);
    open(diary);
    typeText(text(), "Written before midnight");
    EXPECT_EQ(label("Label4"), "11:59:50 PM");

    t.windows.show(kCover);
    waitUntilActive(t.windows, kCover);
    now = QDateTime(QDate(2026, 12, 6), QTime(0, 0, 5));
    Book(diary.path(), kDiaryPassword).appendPage(StampedPage(4, "Meanwhile"));
    t.windows.activate(kNewPage);
    waitUntilActive(t.windows, kNewPage);

    EXPECT_EQ(text()->toPlainText(), "Written before midnight");
    EXPECT_EQ(label("Label3"), "Sunday, 12/6/2026");
    EXPECT_EQ(label("Label4"), "12:00:05 AM");
    EXPECT_EQ(label("Label6"), " 5");
    EXPECT_EQ(label("Label8"), " 4");

    click(window(), QStringLiteral("Command2"));
    std::vector<Page> pages = kThreePages;
    pages.push_back(StampedPage(4, "Meanwhile"));
    pages.push_back({" 5", "Sunday, 12/6/2026", "12:00:05 AM", "Written before midnight"});
    EXPECT_EQ(diary.bytes(), diary.with(pages));
}

// Another running copy changed the password while this window was open: the page is not written under the old
// key, where it would be garbage, and the user learns why and what to do.
TEST_F(NewPageTest, ABookWhosePasswordWasChangedElsewhereIsNotWrittenAndTheUserIsTold) {
    Diary diary(kThreePages);
    ProgramWindow* form2 = open(diary);
    typeText(text(), "Written in the old key");
    Book(diary.path(), kDiaryPassword).changePassword("Elsewhere1");
    const std::string changed = diary.bytes();
    t.dialogs.expectMessage("This dayvell was changed elsewhere, by another copy of Dayvell, since you opened it: its "
                            "password may have been changed. Nothing has been saved. Close the book and open it again.",
                            Answer::Ok, "ERROR   #1002    !!!!The book was changed elsewhere");
    click(form2, QStringLiteral("Command2"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(diary.bytes(), changed);
    EXPECT_TRUE(t.windows.isLoaded(kNewPage));
    EXPECT_EQ(text()->toPlainText(), "Written in the old key");
}

TEST_F(NewPageTest, ExitWithoutSavingAsksAndWritesNothing) {
    for (const char* how : {"Command3", "nosave"}) {
        SCOPED_TRACE(how);
        Diary diary(kThreePages);
        coverActivations = 0;
        ProgramWindow* form2 = open(diary);
        typeText(text(), "Not for keeping");
        auto leave = [&] {
            if (std::string(how) == "Command3")
                click(form2, QStringLiteral("Command3"));
            else
                trigger(form2, QStringLiteral("nosave"));
        };

        t.dialogs.expectMessage("Sure you want to quit without saving this page?", Answer::No, "Quit without saving?");
        leave();
        ASSERT_TRUE(t.windows.isLoaded(kNewPage));
        EXPECT_EQ(text()->toPlainText(), "Not for keeping");
        EXPECT_EQ(t.dialogs.shown().back().buttons, Buttons::YesNo);
        EXPECT_EQ(t.dialogs.shown().back().icon, Icon::Question);

        t.dialogs.expectMessage("Sure you want to quit without saving this page?", Answer::Yes, "Quit without saving?");
        leave();
        expectBackAtCover();
        EXPECT_EQ(diary.bytes(), diary.with(kThreePages));
        t.windows.unload(kCover);
        settle();
    }
}

TEST_F(NewPageTest, TheCloseBoxAsksBeforeItDropsTypedTextAndCanBeCalledOff) {
    struct Case {
        const char* typed;
        std::optional<Answer> answer; // none: no question
        bool closes;
        bool saved;
    };
    const Case cases[] = {
        {"", std::nullopt, true, false},
        {"Kept", Answer::Yes, true, true},
        {"Gone", Answer::No, true, false},
        {"Still here", Answer::Cancel, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Diary diary(kThreePages);
        open(diary);
        typeText(text(), QString::fromLatin1(c.typed));
        if (c.answer)
            t.dialogs.expectMessage("Do you want to save this page?", *c.answer, "Save this page?");
        window()->close();
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());
        if (c.answer) {
            EXPECT_EQ(t.dialogs.shown().back().buttons, Buttons::YesNoCancel);
        }
        EXPECT_EQ(t.windows.isLoaded(kNewPage), !c.closes);
        std::vector<Page> pages = kThreePages;
        if (c.saved)
            pages.push_back(StampedPage(4, c.typed));
        EXPECT_EQ(diary.bytes(), diary.with(pages));
        if (!c.closes) {
            EXPECT_EQ(text()->toPlainText(), QString::fromLatin1(c.typed));
        }
        t.windows.unload(kNewPage);
        settle();
    }
}

TEST_F(NewPageTest, HelpShowsTopicTwo) {
    Diary diary;
    ProgramWindow* form2 = open(diary);
    t.dialogs.expectMessage(HelpText(2), Answer::Ok, "Help");
    click(form2, QStringLiteral("Command1"));
    EXPECT_TRUE(t.windows.isLoaded(kNewPage));
}

// A save that fails leaves the book as it was and the window open with its text, so the page can be saved once
// the cause is mended.
TEST_F(NewPageTest, AFailedSaveKeepsTheWindowAndItsTextAndLeavesTheBookAsItWas) {
    struct Case {
        const char* cause;
        std::function<void(Diary&)> before;
        int code;
    };
    const Case cases[] = {
        {"book file gone", [](Diary& d) { std::filesystem::rename(d.path(), d.path() + ".away"); }, code::FileNotFound},
        {"disk full", {}, code::DiskFull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cause);
        Diary diary(kThreePages);
        coverActivations = 0;
        ProgramWindow* form2 = open(diary);
        typeText(text(), "A page worth keeping\nover two lines");
        ExpectErrorReport(t.dialogs, c.code);
        if (c.before) {
            c.before(diary);
            click(form2, QStringLiteral("Command2"));
            std::filesystem::rename(diary.path() + ".away", diary.path());
        } else {
            // Room for a few bytes of the record, not for all of it.
            FileSizeLimit full(std::filesystem::file_size(diary.path()) + 20);
            click(form2, QStringLiteral("Command2"));
        }
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(diary.bytes(), diary.with(kThreePages));
        ASSERT_TRUE(t.windows.isLoaded(kNewPage));
        EXPECT_EQ(text()->toPlainText(), "A page worth keeping\nover two lines");

        // Once the cause is gone, the same page saves.
        click(form2, QStringLiteral("Command2"));
        std::vector<Page> pages = kThreePages;
        pages.push_back(StampedPage(4, "A page worth keeping\r\nover two lines"));
        EXPECT_EQ(diary.bytes(), diary.with(pages));
        expectBackAtCover();
        t.windows.unload(kCover);
        settle();
    }
}

TEST_F(NewPageTest, TextThatCannotBeStoredIsRefusedByNameAndStays) {
    struct Case {
        QString typed;
        std::string message;
    };
    const Case cases[] = {
        {QStringLiteral("Un café"), "This page has not been saved: a dayvell cannot store some of its characters.\r\r"
                                    "Not with any password: \xE9\r"
                                    "\rRemove or replace them, then save again. They are also listed under the text."},
        // ß could be stored under a password of lower codes, É under this one's 1 but not under its k.
        {QStringLiteral("\u00C9 stra\u00DFe"),
         "This page has not been saved: a dayvell cannot store some of its characters.\r\r"
         "Not with this dayvell's password: \xC9, \xDF\r"
         "\rRemove or replace them, then save again. They are also listed under the text."},
        {QStringLiteral("Привет \U0001F600"),
         "This page has not been saved: a dayvell cannot store some of its characters.\r\r"
         "Not in a dayvell's character set: U+041F, U+0440, U+0438, U+0432, U+0435, U+0442, U+1F600\r"
         "\rRemove or replace them, then save again. They are also listed under the text."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        Diary diary(kThreePages);
        ProgramWindow* form2 = open(diary);
        typeText(text(), c.typed);
        t.dialogs.expectMessage(c.message, Answer::Ok, "Page not saved");
        click(form2, QStringLiteral("Command2"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.dialogs.shown().back().icon, Icon::Exclamation);
        EXPECT_EQ(diary.bytes(), diary.with(kThreePages));
        ASSERT_TRUE(t.windows.isLoaded(kNewPage));
        EXPECT_EQ(text()->toPlainText(), c.typed);
        t.windows.unload(kNewPage);
        settle();
    }
}

TEST_F(NewPageTest, AHintUnderTheTextNamesWhatCannotBeStoredWhileTyping) {
    Diary diary;
    ProgramWindow* form2 = open(diary);
    auto* hint = find<QLabel>(form2, QStringLiteral("Hint"));
    typeText(text(), "Cafe");
    EXPECT_FALSE(hint->isVisible());
    typeText(text(), QStringLiteral("é and ж"));
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(),
              QStringLiteral("Cannot be saved: ж (no such character in a dayvell); é (not with any password)"));
    for (int i = 0; i < 7; ++i)
        QTest::keyClick(text(), Qt::Key_Backspace);
    EXPECT_EQ(text()->toPlainText(), "Cafe");
    EXPECT_FALSE(hint->isVisible());
}

// Whether the cipher can carry a character depends on the key character it meets, so on its place in the text as
// stored, where each line break takes two places.
TEST(UnstorableCharactersTest, NamesEachCharacterOnceByWhereItMeetsTheKey) {
    struct Case {
        QString text;
        QString outside, never, beyond;
    };
    const Case cases[] = {
        {"plain text, 123", "", "", ""},
        {"", "", "", ""},
        {QStringLiteral("\u00C9"), "", "", QStringLiteral("\u00C9")},     // É meets k: 201 + 107 is above 255
        {QStringLiteral("abc\u00C9"), "", "", ""},                        // É meets 1: 201 + 49 fits
        {QStringLiteral("ab\n\u00C9"), "", "", QStringLiteral("\u00C9")}, // CR LF puts É under k again
        {QStringLiteral("\u00E9t\u00E9 \u00E9"), "", QStringLiteral("\u00E9"), ""}, // 233 + 32 is above 255
        {QStringLiteral("\u00FC\u00E9\u00FC"), "", QStringLiteral("\u00FC\u00E9"), ""},
        {QStringLiteral("\u00DF"), "", "", QStringLiteral("\u00DF")}, // 223 + 32 fits: a blank password key would do
        {QStringLiteral("\u00E0"), "", QStringLiteral("\u00E0"), ""}, // 224 + 32 does not
        {QStringLiteral("\u0416\u00E9\u0416\U0001F600"), QStringLiteral("\u0416\U0001F600"), QStringLiteral("\u00E9"),
         ""},
        {QStringLiteral("a\u0001b"), QStringLiteral("\u0001"), "", ""}, // could encipher to the quote that ends a field
        {QStringLiteral("\u20AC"), "", "", ""},                         // the euro sign is code 128: 128 + 107 fits
    };
    const Diary diary;
    const Book book(diary.path(), kDiaryPassword);
    // A sealed book under the same password holds every character of the set, control codes included.
    const sealed::KdfLimitsForTests fast(sealed::KdfLimits::WeakForTests(1, sealed::kMinMemlimit));
    TempDir dir;
    Book::Create(SystemFileSystem(), dir.file("sealed.dvl"), "key1", Book::NewHeader(dir.dir(), "12/5/2026"),
                 BookKind::Sealed);
    const Book sealedBook(dir.file("sealed.dvl"), "key1");
    for (const Case& c : cases) {
        const UnstorableCharacters found = FindUnstorable(c.text, &book);
        EXPECT_EQ(found.outsideCharset, c.outside) << c.text.toStdString();
        EXPECT_EQ(found.beyondAnyKey, c.never) << c.text.toStdString();
        EXPECT_EQ(found.beyondCipher, c.beyond) << c.text.toStdString();
        QString outside;
        for (char32_t ch : c.outside.toUcs4())
            if (Cp1252Code(ch) < 0)
                outside += QString::fromUcs4(&ch, 1);
        const UnstorableCharacters inSealed = FindUnstorable(c.text, &sealedBook);
        EXPECT_EQ(inSealed.outsideCharset, outside) << c.text.toStdString();
        EXPECT_TRUE(inSealed.beyondAnyKey.isEmpty() && inSealed.beyondCipher.isEmpty()) << c.text.toStdString();
    }
}

} // namespace
} // namespace dayvell::test
