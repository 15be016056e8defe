// SPDX-License-Identifier: GPL-3.0-or-later
// Text typed into a page window and not saved is never dropped without a question, whichever way the window is
// closed from outside: a refused or cancelled password, Quit on the cover, a search result chosen meanwhile.
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/Book.h"
#include "core/Numbers.h"
#include "screens/Windows.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace dayvell::test {
namespace {

const QString kCover = QStringLiteral("Form5");
const QString kNewPage = QStringLiteral("Form2");
const QString kViewer = QStringLiteral("Form7");
const QString kSearch = QStringLiteral("Form8");
const QString kPrompt = QStringLiteral("frmpassword");
const QString kStart = QStringLiteral("form1");

constexpr const char* kNewPageQuestion = "Do you want to save this page?";
constexpr const char* kNewPageTitle = "Save this page?";
constexpr const char* kViewerQuestion = "Do you want to save the changed page?";

const std::vector<Page> kPages = {StampedPage(1, "First"), StampedPage(2, "Second"), StampedPage(3, "Third")};

// Only the search asks for the password: it raises the prompt over the page windows.
constexpr const char* kSearchGated = "0000001";

class UnsavedTextTest : public ::testing::Test {
protected:
    UnsavedTextTest() { RegisterWindows(t.services); }

    void openCover(const Diary& diary) {
        diary.open(t.state);
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
    }
    ProgramWindow* window(const QString& id) const { return t.windows.window(id); }
    QPlainTextEdit* pageText(const QString& id) const { return find<QPlainTextEdit>(window(id), "Text1"); }
    // A new page with `typed` in it, opened from the cover.
    void typeNewPage(const QString& typed) {
        trigger(window(kCover), QStringLiteral("enterpage"));
        waitUntilActive(t.windows, kNewPage);
        typeText(pageText(kNewPage), typed);
    }
    // The viewer at the last page, in edit mode, with `typed` added to its text.
    void editLastPage(const QString& typed) {
        trigger(window(kCover), QStringLiteral("view"));
        waitUntilActive(t.windows, kViewer);
        trigger(window(kViewer), QStringLiteral("editpage"));
        pageText(kViewer)->moveCursor(QTextCursor::End);
        typeText(pageText(kViewer), typed);
    }
    // Goes back to the cover and chooses the search, which asks for the password.
    QLineEdit* raisePrompt() {
        t.windows.activate(kCover);
        waitUntilActive(t.windows, kCover);
        trigger(window(kCover), QStringLiteral("search"));
        waitUntilActive(t.windows, kPrompt);
        return find<QLineEdit>(window(kPrompt), "txtPassword");
    }

    TestServices t;
};

TEST_F(UnsavedTextTest, ARefusedOrCancelledPasswordAsksBeforeThePageWindowsClose) {
    enum class Refusal { Escape, WrongPassword };
    struct Case {
        const char* name;
        Refusal refusal;
        bool newPage; // else the viewer's edit
        Answer answer;
    };
    const Case cases[] = {
        {"Esc, new page, saved", Refusal::Escape, true, Answer::Yes},
        {"Esc, new page, dropped", Refusal::Escape, true, Answer::No},
        {"wrong password, new page, saved", Refusal::WrongPassword, true, Answer::Yes},
        {"wrong password, viewer, saved", Refusal::WrongPassword, false, Answer::Yes},
        {"Esc, viewer, dropped", Refusal::Escape, false, Answer::No},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Diary diary(kPages, kSearchGated);
        openCover(diary);
        if (c.newPage)
            typeNewPage(QStringLiteral("Written before the prompt"));
        else
            editLastPage(QStringLiteral(" and edited"));

        QLineEdit* password = raisePrompt();
        if (c.refusal == Refusal::WrongPassword)
            t.dialogs.expectMessage("Invalid Password!", Answer::Ok, "Incorrect Password!");
        t.dialogs.expectMessage(c.newPage ? kNewPageQuestion : kViewerQuestion, c.answer,
                                c.newPage ? kNewPageTitle : "Save before exiting?");
        if (c.refusal == Refusal::WrongPassword) {
            QTest::keyClicks(password, QStringLiteral("wrong"));
            QTest::keyClick(password, Qt::Key_Return);
        } else {
            QTest::keyClick(password, Qt::Key_Escape);
        }
        waitUntilActive(t.windows, kStart);
        EXPECT_TRUE(t.dialogs.allAnswered());
        // The lock-out itself is unchanged: no Cancel is offered, and every window of the book closes.
        EXPECT_EQ(t.dialogs.shown().back().buttons, Buttons::YesNo);
        EXPECT_EQ(t.windows.loadedIds(), QStringList{kStart});
        EXPECT_TRUE(t.state.password.empty());

        std::vector<Page> expected = kPages;
        if (c.answer == Answer::Yes && c.newPage)
            expected.push_back(StampedPage(4, "Written before the prompt"));
        if (c.answer == Answer::Yes && !c.newPage)
            expected[2].text += " and edited";
        EXPECT_EQ(diary.bytes(), diary.with(expected));
        t.windows.unloadAll();
        settle();
    }
}

// A page that cannot be saved when the book is closed under it keeps its window, with its text, but cut off from the
// book: nothing in it reaches the book, and every way out leads to the start window, asking first.
TEST_F(UnsavedTextTest, APageThatCannotBeSavedAtTheLockOutKeepsItsWindowCutOffFromTheBook) {
    enum class WayOut { Button, CloseBox };
    struct Case {
        const char* name;
        bool newPage; // else the viewer's edit
        WayOut wayOut;
    };
    const Case cases[] = {
        {"new page, Exit and dont save", true, WayOut::Button},
        {"new page, close box", true, WayOut::CloseBox},
        {"viewer, Cancel", false, WayOut::Button},
        {"viewer, close box", false, WayOut::CloseBox},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Diary diary(kPages, kSearchGated);
        openCover(diary);
        const QString id = c.newPage ? kNewPage : kViewer;
        if (c.newPage)
            typeNewPage(QStringLiteral("Too much for the disk"));
        else
            editLastPage(QStringLiteral(" and too much for the disk"));
        const QString typed = pageText(id)->toPlainText();
        QLineEdit* password = raisePrompt();
        {
            FileSizeLimit full(std::filesystem::file_size(diary.path()));
            t.dialogs.expectMessage(c.newPage ? kNewPageQuestion : kViewerQuestion, Answer::Yes,
                                    c.newPage ? kNewPageTitle : "Save before exiting?");
            ExpectErrorReport(t.dialogs, code::DiskFull);
            QTest::keyClick(password, Qt::Key_Escape);
            settle();
        }
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.windows.loadedIds(), (QStringList{id, kStart}));
        EXPECT_TRUE(t.state.password.empty());

        // The text stays, to be read and copied, with a notice that says why; nothing that writes or reads the book
        // can be chosen.
        ProgramWindow* kept = window(id);
        EXPECT_EQ(pageText(id)->toPlainText(), typed);
        EXPECT_TRUE(pageText(id)->isReadOnly());
        EXPECT_TRUE(find<QLabel>(kept, QStringLiteral("CutOffNotice"))->isVisible());
        const QStringList bookControls =
            c.newPage ? QStringList{"Command2"} : QStringList{"Command5", "Command6", "Command7", "Command8"};
        for (const QString& control : bookControls)
            EXPECT_FALSE(find<QPushButton>(kept, control)->isEnabled()) << control.toStdString();
        const QStringList bookItems =
            c.newPage ? QStringList{"save"} : QStringList{"editpage", "printpage", "delpage", "searchbook"};
        for (const QString& item : bookItems)
            EXPECT_FALSE(find<QAction>(kept, item)->isEnabled()) << item.toStdString();
        // Coming back to it reads nothing: a book it cannot reach would be reported missing.
        t.windows.activate(kStart);
        waitUntilActive(t.windows, kStart);
        t.windows.activate(id);
        waitUntilActive(t.windows, id);
        EXPECT_EQ(pageText(id)->toPlainText(), typed);

        // Leaving asks first, and No keeps the text; Yes closes it for the start window, never for a cover.
        for (Answer answer : {Answer::No, Answer::Yes}) {
            t.dialogs.expectMessage("Sure you want to quit without saving this page?", answer, "Quit without saving?");
            if (c.wayOut == WayOut::CloseBox)
                kept->close();
            else
                click(kept, c.newPage ? QStringLiteral("Command3") : QStringLiteral("Command4"));
            settle();
            EXPECT_TRUE(t.dialogs.allAnswered());
            EXPECT_EQ(t.windows.isLoaded(id), answer == Answer::No);
        }
        waitUntilActive(t.windows, kStart);
        EXPECT_EQ(t.windows.loadedIds(), QStringList{kStart});
        EXPECT_EQ(diary.bytes(), diary.with(kPages));
        t.windows.unloadAll();
        settle();
    }
}

TEST_F(UnsavedTextTest, QuitAsksAboutTypedTextAndCanBeCalledOff) {
    struct Case {
        Answer answer;
        bool quits;
        bool saved;
    };
    const Case cases[] = {{Answer::Cancel, false, false}, {Answer::Yes, true, true}, {Answer::No, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer == Answer::Cancel ? "Cancel" : c.answer == Answer::Yes ? "Yes" : "No");
        Diary diary(kPages);
        openCover(diary);
        typeNewPage(QStringLiteral("Last words"));
        t.windows.activate(kCover);
        waitUntilActive(t.windows, kCover);
        t.dialogs.expectMessage("Sure you want to quit?", Answer::Yes, "Quit Dayvell?");
        t.dialogs.expectMessage(kNewPageQuestion, c.answer, kNewPageTitle);
        trigger(window(kCover), QStringLiteral("quit"));
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.dialogs.shown().back().buttons, Buttons::YesNoCancel);

        if (!c.quits) {
            // Called off before anything was written: not even the date of last access.
            EXPECT_EQ(diary.bytes(), diary.with(kPages));
            EXPECT_TRUE(t.windows.isLoaded(kCover));
            EXPECT_EQ(pageText(kNewPage)->toPlainText(), "Last words");
            EXPECT_FALSE(t.state.password.empty());
        } else {
            waitUntilActive(t.windows, kStart);
            EXPECT_EQ(t.windows.loadedIds(), QStringList{kStart});
            const Book book(diary.path(), kDiaryPassword);
            EXPECT_EQ(book.readHeader().lastAccess, "12/5/2026");
            EXPECT_EQ(book.countPages(), c.saved ? 4 : 3);
            if (c.saved) {
                EXPECT_EQ(book.readPage(4)->text, "Last words");
            }
        }
        t.windows.unloadAll();
        settle();
    }
}

TEST_F(UnsavedTextTest, TheViewersCloseBoxAsksAboutItsEditAndCanBeCalledOff) {
    struct Case {
        Answer answer;
        bool closes;
        bool saved;
    };
    const Case cases[] = {{Answer::Cancel, false, false}, {Answer::Yes, true, true}, {Answer::No, true, false}};
    for (const Case& c : cases) {
        Diary diary(kPages);
        openCover(diary);
        editLastPage(QStringLiteral(" and more"));
        t.dialogs.expectMessage(kViewerQuestion, c.answer, "Save before exiting?");
        window(kViewer)->close();
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.windows.isLoaded(kViewer), !c.closes);
        std::vector<Page> expected = kPages;
        if (c.saved)
            expected[2].text += " and more";
        EXPECT_EQ(diary.bytes(), diary.with(expected));
        t.windows.unloadAll();
        settle();
    }
}

TEST_F(UnsavedTextTest, ASearchResultChosenWhileTheViewerHoldsAnEditAsksThenGoesThere) {
    for (Answer answer : {Answer::Yes, Answer::No}) {
        SCOPED_TRACE(answer == Answer::Yes ? "Yes" : "No");
        Diary diary(kPages);
        openCover(diary);
        editLastPage(QStringLiteral(" unsaved"));

        t.windows.activate(kCover);
        waitUntilActive(t.windows, kCover);
        trigger(window(kCover), QStringLiteral("search"));
        waitUntilActive(t.windows, kSearch);
        QTest::keyClicks(find<QLineEdit>(window(kSearch), "Text1"), QStringLiteral("Second"));
        click(window(kSearch), QStringLiteral("Command2"));
        t.dialogs.expectMessage(kViewerQuestion, answer, "Save before jumping?");
        doubleClickLine(*find<QListWidget>(window(kSearch), "List1"),
                        QStringLiteral("2    Saturday, 12/5/2026 1:46:33 PM  Second"));
        waitUntilActive(t.windows, kViewer);
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(find<QLabel>(window(kViewer), "Label1")->text(), " 2 of 3");
        EXPECT_EQ(pageText(kViewer)->toPlainText(), "Second");
        std::vector<Page> expected = kPages;
        if (answer == Answer::Yes)
            expected[2].text += " unsaved";
        EXPECT_EQ(diary.bytes(), diary.with(expected));
        t.windows.unloadAll();
        settle();
    }
}

} // namespace
} // namespace dayvell::test
