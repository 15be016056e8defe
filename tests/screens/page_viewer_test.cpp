// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/Numbers.h"
#include "core/Purposes.h"
#include "screens/Windows.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

namespace dayvell::test {
namespace {

const QString kViewer = QStringLiteral("Form7");
const QString kCover = QStringLiteral("Form5");
const QString kSearch = QStringLiteral("Form8");
const QString kPrompt = QStringLiteral("frmpassword");

constexpr const char* kSaveQuestion = "Do you want to save the changed page?";

// Pages told apart by their date and text.
std::vector<Page> Pages(int count) {
    std::vector<Page> pages;
    for (int n = 1; n <= count; ++n)
        pages.push_back({PageNumberText(n), "Monday, 11/" + std::to_string(n) + "/2026",
                         "9:00:0" + std::to_string(n) + " AM", "Text of page " + std::to_string(n)});
    return pages;
}

// `pages` with page `n` (from 1) holding `text`.
std::vector<Page> WithText(std::vector<Page> pages, int n, const std::string& text) {
    pages[n - 1].text = text;
    return pages;
}

class PageViewerTest : public ::testing::Test {
protected:
    PageViewerTest() {
        RegisterWindows(t.services);
        RegisterStandIn(t, kCover, coverActivations);
        RegisterStandIn(t, kSearch, searchActivations);
        RegisterStandIn(t, kPrompt, promptActivations);
    }

    ProgramWindow* open(const Diary& diary, std::int32_t gotopage = 0) {
        diary.open(t.state);
        t.state.gotopage = gotopage;
        t.windows.show(kViewer);
        waitUntilActive(t.windows, kViewer);
        return viewer();
    }
    ProgramWindow* viewer() const { return t.windows.window(kViewer); }
    QString label(const char* name) const { return find<QLabel>(viewer(), QString::fromLatin1(name))->text(); }
    QPlainTextEdit* text() const { return find<QPlainTextEdit>(viewer(), QStringLiteral("Text1")); }
    QPushButton* button(const char* name) const { return find<QPushButton>(viewer(), QString::fromLatin1(name)); }
    QLineEdit* jumpBox() const { return find<QLineEdit>(viewer(), QStringLiteral("Text2")); }
    bool shown(const char* name) const { return find<QWidget>(viewer(), QString::fromLatin1(name))->isVisible(); }

    // The viewer shows `page` of a book of `count` pages.
    void expectPage(const Page& page, int count) const {
        EXPECT_EQ(label("Label1"), QString::fromStdString(page.number + " of" + PageNumberText(count)));
        EXPECT_EQ(label("Label3"), QString::fromStdString(page.date));
        EXPECT_EQ(label("Label5"), QString::fromStdString(page.time));
        EXPECT_EQ(text()->toPlainText(), QString::fromStdString(page.text).replace("\r\n", "\n"));
    }
    void jump(const QString& to) {
        jumpBox()->clear();
        QTest::keyClicks(jumpBox(), to);
        click(viewer(), QStringLiteral("Command8"));
    }
    void edit(const QString& typed) {
        trigger(viewer(), QStringLiteral("editpage"));
        text()->moveCursor(QTextCursor::End);
        typeText(text(), typed);
    }
    void leaveAndComeBack() {
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
        t.windows.activate(kViewer);
        waitUntilActive(t.windows, kViewer);
    }

    TestServices t;
    int coverActivations = 0;
    int searchActivations = 0;
    int promptActivations = 0;
};

TEST_F(PageViewerTest, ControlsAndMenusCarryTheirCaptionsTipsAndStartingState) {
    Diary diary(Pages(2));
    ProgramWindow* form7 = open(diary);
    EXPECT_EQ(form7->windowTitle(), "View/Search/Edit pages");
    struct Case {
        const char* name;
        QString caption, tip;
    };
    const Case labels[] = {
        {"Label7", "Page", ""},
        {"Label1", " 2 of 2", "This is this page and total of pages in dayvell."},
        {"Label3", "Monday, 11/2/2026", "Date page was created."},
        {"Label5", "9:00:02 AM", "Time page was created."},
        {"Label2", "EDIT MODE", ""},
        {"Label8", "Jump to page:", "You can jump to a page number."},
    };
    for (const Case& c : labels) {
        auto* label = find<QLabel>(form7, QString::fromLatin1(c.name));
        EXPECT_EQ(label->text(), c.caption) << c.name;
        EXPECT_EQ(label->toolTip(), c.tip) << c.name;
    }
    const Case buttons[] = {
        {"Command6", "Previous page", "Look at page before this one."},
        {"Command7", "Next Page", "Look at page after this one."},
        {"Command8", "Jump", "Jump to a certain page number."},
        {"Command1", "Search again", ""},
        {"Command5", "Save the edited page", "Save the changes you made to this page."},
        {"Command4", "Cancel", "Get me out of here!"},
    };
    for (const Case& c : buttons) {
        EXPECT_EQ(Caption(button(c.name)->text()), c.caption) << c.name;
        EXPECT_EQ(button(c.name)->toolTip(), c.tip) << c.name;
    }
    const Case items[] = {{"editpage", "Edit this page", ""},
                          {"printpage", "Print this page", ""},
                          {"delpage", "Delete this page", ""},
                          {"searchbook", "Search", ""},
                          {"exit", "Exit", ""},
                          {"helpme", "Help", ""}};
    for (const Case& c : items) {
        auto* item = find<QAction>(form7, QString::fromLatin1(c.name));
        EXPECT_EQ(Caption(item->text()), c.caption) << c.name;
        EXPECT_TRUE(item->shortcut().isEmpty()) << c.name;
    }
    EXPECT_EQ(find<QMenu>(form7, QStringLiteral("page"))->actions(),
              (QList<QAction*>{find<QAction>(form7, QStringLiteral("editpage")),
                               find<QAction>(form7, QStringLiteral("printpage")),
                               find<QAction>(form7, QStringLiteral("delpage"))}));

    EXPECT_TRUE(text()->isReadOnly());
    EXPECT_FALSE(shown("Label2"));
    EXPECT_FALSE(shown("Command5"));
    EXPECT_FALSE(button("Command5")->isEnabled());
    EXPECT_FALSE(button("Command8")->isEnabled());
    EXPECT_FALSE(shown("Command1"));
    EXPECT_TRUE(button("Command6")->isEnabled() && button("Command7")->isEnabled());
}

TEST_F(PageViewerTest, OpensAtTheLastPageOrAtThePageASearchChose) {
    struct Case {
        std::int32_t gotopage;
        int page;
        bool searchAgain;
    };
    // A search result beyond the end (its page deleted meanwhile) shows the last page.
    const Case cases[] = {{0, 5, false}, {2, 2, true}, {9, 5, true}};
    const std::vector<Page> pages = Pages(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gotopage);
        Diary diary(pages, "0101010");
        t.state.secflags = "left over";
        open(diary, c.gotopage);
        expectPage(pages[c.page - 1], 5);
        EXPECT_EQ(shown("Command1"), c.searchAgain);
        EXPECT_EQ(t.state.pagecount, " 5");
        EXPECT_EQ(t.state.pagenum, pages[c.page - 1].number);
        EXPECT_EQ(t.state.pagedate, pages[c.page - 1].date);
        EXPECT_EQ(t.state.pagetext, pages[c.page - 1].text);
        EXPECT_EQ(t.state.secflags, "0101010");
        t.windows.unload(kViewer);
        settle();
    }
}

TEST_F(PageViewerTest, ABookOfOnePageOpensWithPreviousAndNextDisabled) {
    Diary diary(Pages(1));
    open(diary);
    expectPage(Pages(1)[0], 1);
    EXPECT_FALSE(button("Command6")->isEnabled());
    EXPECT_FALSE(button("Command7")->isEnabled());
}

TEST_F(PageViewerTest, ABookWithoutPagesSaysSoAndReturnsToTheCover) {
    Diary diary;
    diary.open(t.state);
    t.dialogs.expectMessage("There are no pages in your book yet.", Answer::Ok, "");
    t.windows.show(kViewer);
    waitUntilActive(t.windows, kCover);
    EXPECT_FALSE(t.windows.isLoaded(kViewer));
    EXPECT_EQ(t.dialogs.shown().at(0).buttons, Buttons::Ok);
    EXPECT_EQ(t.dialogs.shown().at(0).icon, Icon::None);
    EXPECT_EQ(diary.bytes(), diary.with({}));
}

TEST_F(PageViewerTest, PreviousAndNextWrapAroundTheBook) {
    struct Case {
        std::int32_t start;
        const char* button;
        int page;
    };
    const Case cases[] = {
        {5, "Command7", 1}, {1, "Command6", 5}, {3, "Command6", 2}, {3, "Command7", 4}, {4, "Command7", 5},
    };
    const std::vector<Page> pages = Pages(5);
    Diary diary(pages);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " " + c.button);
        open(diary, c.start);
        click(viewer(), QString::fromLatin1(c.button));
        expectPage(pages[c.page - 1], 5);
        t.windows.unload(kViewer);
        settle();
    }
}

TEST_F(PageViewerTest, JumpClampsAndRoundsAndShowsThePageReached) {
    struct Case {
        QString typed;
        int page;
    };
    const Case cases[] = {
        {"0", 1}, {"-3", 1}, {"abc", 1}, {"2.5", 2}, {"3.5", 4}, {"99", 5}, {" 3 ", 3}, {"4x", 4}, {"1e9", 5},
    };
    const std::vector<Page> pages = Pages(5);
    Diary diary(pages);
    open(diary);
    EXPECT_FALSE(button("Command8")->isEnabled()) << "nothing typed yet";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        jump(c.typed);
        expectPage(pages[c.page - 1], 5);
        EXPECT_EQ(jumpBox()->text(), QString::number(c.page));
    }
    EXPECT_TRUE(t.dialogs.shown().empty());
}

TEST_F(PageViewerTest, EditModeSavesOnlyTheTextOfThePageAndReturnsPartlyToViewing) {
    const std::vector<Page> pages = Pages(3);
    Diary diary(pages);
    ProgramWindow* form7 = open(diary, 2);
    trigger(form7, QStringLiteral("editpage"));
    EXPECT_FALSE(text()->isReadOnly());
    EXPECT_TRUE(shown("Command5"));
    EXPECT_FALSE(button("Command5")->isEnabled());
    EXPECT_FALSE(button("Command6")->isEnabled() || button("Command7")->isEnabled());
    EXPECT_TRUE(shown("Label2"));
    EXPECT_FALSE(shown("Command1"));
    for (const char* item : {"delpage", "searchbook", "printpage"})
        EXPECT_FALSE(find<QAction>(form7, QString::fromLatin1(item))->isEnabled()) << item;

    text()->moveCursor(QTextCursor::End);
    typeText(text(), "!");
    EXPECT_TRUE(button("Command5")->isEnabled());
    typeText(text(), "\nA second line");
    click(form7, QStringLiteral("Command5"));
    EXPECT_EQ(diary.bytes(), diary.with(WithText(pages, 2, "Text of page 2!\r\nA second line")));

    // Back to viewing, but only partly: the text stays editable and Previous and Next stay off.
    EXPECT_FALSE(shown("Label2"));
    for (const char* item : {"delpage", "searchbook", "printpage"})
        EXPECT_TRUE(find<QAction>(form7, QString::fromLatin1(item))->isEnabled()) << item;
    EXPECT_TRUE(shown("Command1")) << "opened for a search result";
    EXPECT_FALSE(text()->isReadOnly());
    EXPECT_TRUE(shown("Command5"));
    EXPECT_FALSE(button("Command5")->isEnabled());
    EXPECT_FALSE(button("Command6")->isEnabled() || button("Command7")->isEnabled());
    typeText(text(), "?");
    EXPECT_TRUE(button("Command5")->isEnabled());
    EXPECT_TRUE(t.dialogs.shown().empty());
}

TEST_F(PageViewerTest, EditingAgainDisablesSaveAndCancelThenWritesTheTextWithoutAsking) {
    const std::vector<Page> pages = Pages(3);
    Diary diary(pages);
    ProgramWindow* form7 = open(diary);
    edit(" and more");
    trigger(form7, QStringLiteral("editpage"));
    EXPECT_FALSE(button("Command5")->isEnabled());
    click(form7, QStringLiteral("Command4"));
    waitUntilActive(t.windows, kCover);
    EXPECT_TRUE(t.dialogs.shown().empty());
    EXPECT_EQ(diary.bytes(), diary.with(WithText(pages, 3, "Text of page 3 and more")));
}

TEST_F(PageViewerTest, LeavingAsksAboutChangesAndCancelAloneForgetsTheSearchResult) {
    struct Case {
        const char* how;
        bool change;
        Answer answer;
        bool written;
        std::int32_t gotopageAfter;
    };
    const Case cases[] = {
        {"Command4", false, Answer::Ok, false, 0},
        {"exit", false, Answer::Ok, false, 2},
        {"Command4", true, Answer::No, false, 0},
        {"exit", true, Answer::No, false, 2},
        {"Command4", true, Answer::Yes, true, 0},
        {"exit", true, Answer::Yes, true, 2},
        // Esc, typed wherever the focus is, does what Cancel does.
        {"Esc", false, Answer::Ok, false, 0},
        {"Esc", true, Answer::No, false, 0},
        {"Esc", true, Answer::Yes, true, 0},
    };
    const std::vector<Page> pages = Pages(3);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.how) + (c.change ? " changed" : " unchanged"));
        Diary diary(pages);
        coverActivations = 0;
        ProgramWindow* form7 = open(diary, 2);
        if (c.change) {
            edit(" changed");
            t.dialogs.expectMessage(kSaveQuestion, c.answer, "Save before exiting?");
        }
        if (std::string(c.how) == "Command4")
            click(form7, QStringLiteral("Command4"));
        else if (std::string(c.how) == "Esc")
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        else
            trigger(form7, QStringLiteral("exit"));
        waitUntilActive(t.windows, kCover);
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_FALSE(t.windows.isLoaded(kViewer));
        EXPECT_EQ(coverActivations, 1);
        EXPECT_EQ(diary.bytes(), diary.with(c.written ? WithText(pages, 2, "Text of page 2 changed") : pages));
        EXPECT_EQ(t.state.gotopage, c.gotopageAfter);
        t.windows.unload(kCover);
        settle();
    }
}

TEST_F(PageViewerTest, DeleteRemovesThePageAndRenumbersTheRest) {
    const std::vector<Page> pages = Pages(3);
    Diary diary(pages);
    ProgramWindow* form7 = open(diary, 2);

    t.dialogs.expectMessage("Are you sure you want to permantly delete this page?", Answer::No, "Delete Page?");
    trigger(form7, QStringLiteral("delpage"));
    EXPECT_EQ(diary.bytes(), diary.with(pages));
    EXPECT_EQ(t.dialogs.shown().back().buttons, Buttons::YesNo);
    EXPECT_EQ(t.dialogs.shown().back().defaultButton, Answer::No) << "Enter must not delete";
    EXPECT_EQ(t.dialogs.shown().back().icon, Icon::Question);

    t.dialogs.expectMessage("Are you sure you want to permantly delete this page?", Answer::Yes, "Delete Page?");
    trigger(form7, QStringLiteral("delpage"));
    Page formerThird = pages[2];
    formerThird.number = " 2";
    EXPECT_EQ(diary.bytes(), diary.with({pages[0], formerThird}));
    expectPage(formerThird, 2);
}

TEST_F(PageViewerTest, DeletingTheOnlyPageReturnsToTheCover) {
    Diary diary(Pages(1));
    ProgramWindow* form7 = open(diary);
    t.dialogs.expectMessage("Are you sure you want to permantly delete this page?", Answer::Yes, "Delete Page?");
    t.dialogs.expectMessage("There are no pages in your book yet.");
    trigger(form7, QStringLiteral("delpage"));
    waitUntilActive(t.windows, kCover);
    EXPECT_FALSE(t.windows.isLoaded(kViewer));
    EXPECT_EQ(diary.bytes(), diary.with({}));
}

// A search found the last page, which is then deleted: the viewer goes on at the new last page, and moves on from
// there.
TEST_F(PageViewerTest, DeletingTheLastPageOfASearchResultShowsTheNewLastPage) {
    const std::vector<Page> pages = Pages(3);
    Diary diary(pages);
    ProgramWindow* form7 = open(diary, 3);
    t.dialogs.expectMessage("Are you sure you want to permantly delete this page?", Answer::Yes, "Delete Page?");
    trigger(form7, QStringLiteral("delpage"));
    expectPage(pages[1], 2);
    click(form7, QStringLiteral("Command7"));
    expectPage(pages[0], 2);
}

TEST_F(PageViewerTest, PrintThisPagePrintsCoverNameStampsNumberAndWrappedText) {
    std::vector<Page> pages = Pages(3);
    // Longer than a printed line: it is broken at its last space within 90 characters.
    pages[1].text = std::string(60, 'a') + " " + std::string(40, 'b') + "\r\nend";
    Diary diary(pages);
    ProgramWindow* form7 = open(diary, 2);

    t.dialogs.expectMessage("Make sure the printer is ready, then click OK to continue.", Answer::Cancel,
                            "Printer check");
    trigger(form7, QStringLiteral("printpage"));
    EXPECT_EQ(t.printer.begun, 0);

    t.dialogs.expectMessage("Make sure the printer is ready, then click OK to continue.", Answer::Ok, "Printer check");
    trigger(form7, QStringLiteral("printpage"));
    ASSERT_EQ(t.printer.documents.size(), 1u);
    EXPECT_EQ(t.printer.documents[0],
              (std::vector<std::string>{"Days of 2026", "Monday, 11/2/2026  9:00:02 AM", " 2 of 3",
                                        std::string(60, 'a') + " \r" + std::string(40, 'b') + "\r\nend"}));

    t.printer.failWith = code::PrinterError;
    t.dialogs.expectMessage("Make sure the printer is ready, then click OK to continue.", Answer::Ok, "Printer check");
    ExpectErrorReport(t.dialogs, code::PrinterError);
    trigger(form7, QStringLiteral("printpage"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(t.printer.documents.size(), 1u);
}

// A print that stops half-way is abandoned: the next print holds its own lines and nothing of the failed one.
TEST_F(PageViewerTest, APrintThatFailsHalfWayLeavesNothingForTheNext) {
    Diary diary(Pages(3));
    ProgramWindow* form7 = open(diary, 2);
    t.printer.failWith = code::PrinterError;
    t.printer.failAfterLines = 2;
    t.dialogs.expectMessage("Make sure the printer is ready, then click OK to continue.", Answer::Ok, "Printer check");
    ExpectErrorReport(t.dialogs, code::PrinterError);
    trigger(form7, QStringLiteral("printpage"));
    EXPECT_TRUE(t.printer.documents.empty());
    EXPECT_EQ(t.printer.abandoned, 1);

    t.printer.failWith.reset();
    t.dialogs.expectMessage("Make sure the printer is ready, then click OK to continue.", Answer::Ok, "Printer check");
    trigger(form7, QStringLiteral("printpage"));
    ASSERT_EQ(t.printer.documents.size(), 1u);
    EXPECT_EQ(t.printer.documents[0],
              (std::vector<std::string>{"Days of 2026", "Monday, 11/2/2026  9:00:02 AM", " 2 of 3", "Text of page 2"}));
}

TEST_F(PageViewerTest, SearchAsksForThePasswordWhenItsFlagIsSetAndSearchAgainNever) {
    struct Case {
        const char* flags;
        const char* how;
        const QString* opened;
    };
    const Case cases[] = {
        {"0000000", "searchbook", &kSearch},
        {"1111111", "searchbook", &kPrompt},
        {"1111111", "Command1", &kSearch},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.flags) + " " + c.how);
        Diary diary(Pages(2), c.flags);
        ProgramWindow* form7 = open(diary, 1);
        t.state.purpose = 0;
        if (std::string(c.how) == "searchbook")
            trigger(form7, QStringLiteral("searchbook"));
        else
            click(form7, QStringLiteral("Command1"));
        waitUntilActive(t.windows, *c.opened);
        EXPECT_FALSE(t.windows.isLoaded(kViewer));
        EXPECT_EQ(t.state.purpose, c.opened == &kPrompt ? purpose::Search : 0);
        t.windows.unload(*c.opened);
        settle();
    }
}

TEST_F(PageViewerTest, HelpShowsTopicSevenWhileViewingAndSeventyOneInEditMode) {
    Diary diary(Pages(2));
    ProgramWindow* form7 = open(diary);
    t.dialogs.expectMessage(HelpText(7), Answer::Ok, "Help");
    trigger(form7, QStringLiteral("helpme"));
    trigger(form7, QStringLiteral("editpage"));
    t.dialogs.expectMessage(HelpText(71), Answer::Ok, "Help");
    trigger(form7, QStringLiteral("helpme"));
    EXPECT_TRUE(t.dialogs.allAnswered());
}

TEST_F(PageViewerTest, ComingBackReturnsToTheChosenPageAndKeepsEditMode) {
    const std::vector<Page> pages = Pages(5);
    Diary diary(pages);
    ProgramWindow* form7 = open(diary);
    click(form7, QStringLiteral("Command6"));
    expectPage(pages[3], 5);
    leaveAndComeBack();
    expectPage(pages[4], 5);

    trigger(form7, QStringLiteral("editpage"));
    leaveAndComeBack();
    expectPage(pages[4], 5);
    EXPECT_TRUE(shown("Label2"));
    EXPECT_FALSE(text()->isReadOnly());
    // The page put on screen again is a change of the text.
    EXPECT_TRUE(button("Command5")->isEnabled());
}

TEST_F(PageViewerTest, EveryChangeOfTheTextInEditModeEnablesSaveButOnlyAChangedTextIsWritten) {
    const std::vector<Page> pages = Pages(3);
    Diary diary(pages);
    ProgramWindow* form7 = open(diary);
    trigger(form7, QStringLiteral("editpage"));
    EXPECT_FALSE(button("Command5")->isEnabled());
    jump("1");
    EXPECT_TRUE(t.dialogs.shown().empty()) << "nothing typed, nothing to ask about";
    EXPECT_TRUE(button("Command5")->isEnabled()) << "the jump put another text on screen";

    struct stat before {};
    ASSERT_EQ(stat(diary.path().c_str(), &before), 0);
    t.dialogs.expectMessage(kSaveQuestion, Answer::Yes, "Save before exiting?");
    click(form7, QStringLiteral("Command4"));
    waitUntilActive(t.windows, kCover);
    EXPECT_TRUE(t.dialogs.allAnswered());
    struct stat after {};
    ASSERT_EQ(stat(diary.path().c_str(), &after), 0);
    // A rewrite renames a new file over the book: the same file means nothing was written.
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(diary.bytes(), diary.with(pages));
}

TEST_F(PageViewerTest, ComingBackKeepsTextTypedAndNotSaved) {
    const std::vector<Page> pages = Pages(5);
    Diary diary(pages);
    ProgramWindow* form7 = open(diary, 3);
    edit(" with my changes");
    leaveAndComeBack();
    EXPECT_EQ(text()->toPlainText(), "Text of page 3 with my changes");
    EXPECT_EQ(label("Label1"), " 3 of 5");
    EXPECT_TRUE(button("Command5")->isEnabled());
    click(form7, QStringLiteral("Command5"));
    EXPECT_EQ(diary.bytes(), diary.with(WithText(pages, 3, "Text of page 3 with my changes")));
}

TEST_F(PageViewerTest, JumpWithUnsavedChangesAsksToSaveThemFirst) {
    for (Answer answer : {Answer::No, Answer::Yes}) {
        SCOPED_TRACE(answer == Answer::Yes ? "Yes" : "No");
        const std::vector<Page> pages = Pages(5);
        Diary diary(pages);
        open(diary, 3);
        edit(" changed");
        t.dialogs.expectMessage(kSaveQuestion, answer, "Save before jumping?");
        jump("1");
        EXPECT_TRUE(t.dialogs.allAnswered());
        expectPage(pages[0], 5);
        EXPECT_EQ(diary.bytes(),
                  diary.with(answer == Answer::Yes ? WithText(pages, 3, "Text of page 3 changed") : pages));
        // The page now shown is as stored: a further jump has nothing to ask about.
        jump("2");
        expectPage(pages[1], 5);
        t.windows.unload(kViewer);
        settle();
    }
}

TEST_F(PageViewerTest, AnEditThatCannotBeStoredIsRefusedByNameAndStays) {
    const std::vector<Page> pages = Pages(2);
    Diary diary(pages);
    ProgramWindow* form7 = open(diary);
    edit(QStringLiteral(" caf\u00E9"));
    auto* hint = find<QLabel>(form7, QStringLiteral("Hint"));
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(), QStringLiteral("Cannot be saved: \u00E9 (not with any password)"));
    t.dialogs.expectMessage("This page has not been saved: a dayvell cannot store some of its characters.\r\r"
                            "Not with any password: \xE9\r"
                            "\rRemove or replace them, then save again. They are also listed under the text.",
                            Answer::Ok, "Page not saved");
    click(form7, QStringLiteral("Command5"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(diary.bytes(), diary.with(pages));
    EXPECT_EQ(text()->toPlainText(), QStringLiteral("Text of page 2 caf\u00E9"));
    EXPECT_TRUE(button("Command5")->isEnabled());
    EXPECT_TRUE(shown("Label2"));
}

TEST_F(PageViewerTest, AFailedSaveKeepsTheTextAndLeavingDoesNotLoseIt) {
    const std::vector<Page> pages = Pages(3);
    Diary diary(pages);
    ProgramWindow* form7 = open(diary);
    edit(" kept");
    {
        // The scratch copy of the book cannot be written in full.
        FileSizeLimit full(std::filesystem::file_size(diary.path()) / 2);
        ExpectErrorReport(t.dialogs, code::DiskFull);
        click(form7, QStringLiteral("Command5"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_TRUE(button("Command5")->isEnabled());

        t.dialogs.expectMessage(kSaveQuestion, Answer::Yes, "Save before exiting?");
        ExpectErrorReport(t.dialogs, code::DiskFull);
        click(form7, QStringLiteral("Command4"));
        EXPECT_TRUE(t.dialogs.allAnswered());
    }
    settle();
    ASSERT_TRUE(t.windows.isLoaded(kViewer));
    EXPECT_EQ(text()->toPlainText(), "Text of page 3 kept");
    EXPECT_EQ(diary.bytes(), diary.with(pages));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(diary.path()).parent_path() / "dvltemp.dvl"));

    t.dialogs.expectMessage(kSaveQuestion, Answer::Yes, "Save before exiting?");
    click(form7, QStringLiteral("Command4"));
    waitUntilActive(t.windows, kCover);
    EXPECT_EQ(diary.bytes(), diary.with(WithText(pages, 3, "Text of page 3 kept")));
}

TEST_F(PageViewerTest, AMissingBookIsReportedWhenTheViewerOpens) {
    Diary diary(Pages(2));
    diary.open(t.state);
    std::filesystem::remove(diary.path());
    ExpectErrorReport(t.dialogs, code::FileNotFound);
    t.windows.show(kViewer);
    waitUntilActive(t.windows, kViewer);
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(label("Label1"), "0 of 0");
}

} // namespace
} // namespace dayvell::test
