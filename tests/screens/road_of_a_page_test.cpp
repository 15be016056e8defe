// SPDX-License-Identifier: GPL-3.0-or-later
// One page's road through the windows only: open a book, write two pages, read them, edit the first, delete it,
// find the second by a word of it, open it from the search, quit; then the book file, byte for byte.
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/Codec.h"
#include "core/Record.h"
#include "core/TempDir.h"
#include "screens/Windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>

namespace dayvell::test {
namespace {

constexpr const char* kPassword = "Secret1";

class RoadOfAPageTest : public ::testing::Test {
protected:
    RoadOfAPageTest() {
        RegisterWindows(t.services);
        std::filesystem::create_directories(dir.path() / "books");
        t.disks.programDir = dir.path().string();
        // A new book: every page function asks for the password.
        Book::Create(SystemFileSystem(), book, kPassword, Book::NewHeader(booksDir, "12/1/2026"));
    }

    ProgramWindow* active(const char* id) {
        waitUntilActive(t.windows, QString::fromLatin1(id));
        return t.windows.window(QString::fromLatin1(id));
    }
    // Chooses `item` on the cover window and answers the password prompt it raises.
    ProgramWindow* throughPassword(const char* item, const char* opens) {
        trigger(active("Form5"), QString::fromLatin1(item));
        auto* password = find<QLineEdit>(active("frmpassword"), QStringLiteral("txtPassword"));
        QTest::keyClicks(password, QString::fromLatin1(kPassword));
        QTest::keyClick(password, Qt::Key_Return);
        return active(opens);
    }
    void at(int hour, int day) {
        t.clock = SystemClock(QLocale(QLocale::English, QLocale::UnitedStates),
                              [=] { return QDateTime(QDate(2026, 12, day), QTime(hour, 0, 0)); });
    }
    QString label(const ProgramWindow* window, const char* name) const {
        return find<QLabel>(window, QString::fromLatin1(name))->text();
    }
    QPlainTextEdit* pageText(const ProgramWindow* window) const {
        return find<QPlainTextEdit>(window, QStringLiteral("Text1"));
    }
    // The header as written when the book was made, with `lastAccess`, then a record for each page.
    std::string expected(const std::string& lastAccess, const std::vector<Page>& pages) const {
        std::string bytes =
            FormatRecord({Encode("mZq7391mZq", kPassword), Encode(booksDir, kPassword), Encode("___", kPassword),
                          Encode(lastAccess, kPassword), Encode("0111111", kPassword)});
        for (const Page& p : pages)
            AppendRecord(bytes, {Encode(p.number, kPassword), Encode(p.date, kPassword), Encode(p.time, kPassword),
                                 Encode(p.text, kPassword), "_"});
        return bytes;
    }

    TestServices t;
    TempDir dir;
    const std::string booksDir = (dir.path() / "books").string() + "/";
    const std::string book = booksDir + "diary.dvl";
};

TEST_F(RoadOfAPageTest, WriteReadEditDeleteFindAndQuit) {
    const Page first{" 1", "Saturday, 12/5/2026", "8:00:00 PM",
                     "Dear diary,\r\nthe first snow fell.\r\n\r\nQuiet evening."};
    const Page second{" 2", "Sunday, 12/6/2026", "9:00:00 AM", ""};

    // Open the book.
    t.windows.show(QStringLiteral("form1"));
    trigger(active("form1"), QStringLiteral("Open"));
    ProgramWindow* browser = active("form3");
    doubleClickLine(*find<QListWidget>(browser, QStringLiteral("Dir1")), QStringLiteral("books"));
    clickLine(*find<QListWidget>(browser, QStringLiteral("File1")), QStringLiteral("diary.dvl"));
    click(browser, QStringLiteral("Command1"));
    auto* password = find<QLineEdit>(active("frmpassword"), QStringLiteral("txtPassword"));
    QTest::keyClicks(password, QString::fromLatin1(kPassword));
    QTest::keyClick(password, Qt::Key_Return);
    EXPECT_EQ(label(active("Form5"), "Label10"), " 0");

    // Two new pages: one of several lines, one empty, on different days.
    at(20, 5);
    ProgramWindow* form2 = throughPassword("enterpage", "Form2");
    EXPECT_EQ(label(form2, "Label6"), " 1");
    typeText(pageText(form2), "Dear diary,\nthe first snow fell.\n\nQuiet evening.");
    click(form2, QStringLiteral("Command2"));
    EXPECT_EQ(label(active("Form5"), "Label10"), " 1");

    at(9, 6);
    form2 = throughPassword("enterpage", "Form2");
    EXPECT_EQ(label(form2, "Label6"), " 2");
    click(form2, QStringLiteral("Command2"));
    EXPECT_EQ(label(active("Form5"), "Label10"), " 2");
    EXPECT_EQ(ReadFileBytes(book), expected("12/1/2026", {first, second}));

    // Read them: the viewer opens at the newest.
    ProgramWindow* form7 = throughPassword("view", "Form7");
    EXPECT_EQ(label(form7, "Label1"), " 2 of 2");
    EXPECT_EQ(label(form7, "Label3"), "Sunday, 12/6/2026");
    EXPECT_EQ(pageText(form7)->toPlainText(), "");
    click(form7, QStringLiteral("Command6"));
    EXPECT_EQ(label(form7, "Label1"), " 1 of 2");
    EXPECT_EQ(pageText(form7)->toPlainText(), "Dear diary,\nthe first snow fell.\n\nQuiet evening.");

    // Edit the first.
    trigger(form7, QStringLiteral("editpage"));
    pageText(form7)->moveCursor(QTextCursor::End);
    typeText(pageText(form7), "\nIt is still snowing.");
    click(form7, QStringLiteral("Command5"));
    Page edited = first;
    edited.text += "\r\nIt is still snowing.";
    EXPECT_EQ(ReadFileBytes(book), expected("12/1/2026", {edited, second}));

    // Delete it: the second becomes page 1.
    t.dialogs.expectMessage("Are you sure you want to permantly delete this page?", Answer::Yes, "Delete Page?");
    trigger(form7, QStringLiteral("delpage"));
    EXPECT_EQ(label(form7, "Label1"), " 1 of 1");
    EXPECT_EQ(label(form7, "Label3"), "Sunday, 12/6/2026");
    // The page put on screen changed the text of a window that has been in edit mode: leaving asks, and writes
    // nothing, since the text is the page as stored.
    t.dialogs.expectMessage("Do you want to save the changed page?", Answer::Yes, "Save before exiting?");
    click(form7, QStringLiteral("Command4"));

    // Find the second page by a word of its date line, and open it from the result.
    ProgramWindow* form8 = throughPassword("search", "Form8");
    QTest::keyClicks(find<QLineEdit>(form8, QStringLiteral("Text1")), QStringLiteral("sunday"));
    click(form8, QStringLiteral("Command2"));
    EXPECT_EQ(label(form8, "Label3"), "Found 1");
    doubleClickLine(*find<QListWidget>(form8, QStringLiteral("List1")),
                    QStringLiteral("1    Sunday, 12/6/2026 9:00:00 AM"));
    form7 = active("Form7");
    EXPECT_EQ(label(form7, "Label1"), " 1 of 1");
    EXPECT_TRUE(find<QPushButton>(form7, QStringLiteral("Command1"))->isVisible());
    click(form7, QStringLiteral("Command4"));

    // Quit the book on the day after.
    at(10, 7);
    t.dialogs.expectMessage("Sure you want to quit?", Answer::Yes, "Quit Dayvell?");
    trigger(active("Form5"), QStringLiteral("quit"));
    active("form1");
    EXPECT_TRUE(t.dialogs.allAnswered());

    Page renumbered = second;
    renumbered.number = " 1";
    EXPECT_EQ(ReadFileBytes(book), expected("12/7/2026", {renumbered}));
    EXPECT_FALSE(std::filesystem::exists(booksDir + "dvltemp.dvl"));
}

} // namespace
} // namespace dayvell::test
