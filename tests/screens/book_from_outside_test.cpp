// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/ErrorReporter.h"
#include "core/RuntimeError.h"
#include "core/TempDir.h"
#include "screens/BookFromOutside.h"
#include "screens/Windows.h"

#include <QDir>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <filesystem>

namespace dayvell::test {
namespace {

const QString kStart = QStringLiteral("form1");
const QString kPrompt = QStringLiteral("frmpassword");

class BookFromOutsideTest : public ::testing::Test {
protected:
    BookFromOutsideTest() {
        RegisterWindows(t.services);
        WriteBook(dir.dir(), "diary.dvl", {.password = "Secret1", .pages = 2});
        t.windows.show(kStart);
        waitUntilActive(t.windows, kStart);
    }

    void open(const std::string& path) {
        OpenBookFromOutside(t.services, QString::fromStdString(path));
        settle();
    }

    TestServices t;
    TempDir dir;
};

TEST_F(BookFromOutsideTest, AsksForTheBooksPasswordInPlaceOfTheStartWindowAndOpensItsCover) {
    t.state.password = "left over";
    open(dir.file("diary.dvl"));
    waitUntilActive(t.windows, kPrompt);
    EXPECT_EQ(t.windows.loadedIds(), QStringList{kPrompt});
    EXPECT_EQ(t.state.bookdir, dir.dir());
    EXPECT_EQ(t.state.bookname, "diary.dvl");
    EXPECT_EQ(t.state.password, "");
    EXPECT_EQ(t.state.passwordok, 0);
    EXPECT_EQ(t.state.purpose, 5);

    typeText(find<QLineEdit>(t.windows.window(kPrompt), QStringLiteral("txtPassword")), QStringLiteral("Secret1"));
    click(t.windows.window(kPrompt), QStringLiteral("cmdOK"));
    waitUntilActive(t.windows, QStringLiteral("Form5"));
    EXPECT_EQ(t.state.pagecount, " 2");
}

TEST_F(BookFromOutsideTest, TakesARelativePathFromTheCurrentDirectory) {
    const QString before = QDir::currentPath();
    std::filesystem::create_directories(dir.path() / "sub");
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.file("sub"))));
    open("../diary.dvl");
    QDir::setCurrent(before);
    waitUntilActive(t.windows, kPrompt);
    EXPECT_EQ(t.state.bookdir, dir.dir());
    EXPECT_EQ(t.state.bookname, "diary.dvl");
}

// The path was given outside the program, where nothing shows it any more: each message names it.
TEST_F(BookFromOutsideTest, APathThatIsNoReadableBookIsReportedNamingItAndTheStartWindowStays) {
    std::filesystem::create_directories(dir.path() / "folder.dvl");
    WriteFileBytes(dir.file("letter.dvl"), "Dear diary,\r\nthis is no book.\r\n");
    const std::string notABook =
        ": it is not a dayvell. A dayvell is an ordinary file, and this name belongs to a folder or something else. "
        "Nothing has been read or written.";
    struct Case {
        const char* what;
        std::string path;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {"missing file", dir.file("gone.dvl"), code::FileNotFound,
         "Dayvell cannot open " + dir.file("gone.dvl") + ": there is no such file."},
        {"missing folder", dir.file("nowhere/diary.dvl"), code::PathNotFound,
         "Dayvell cannot open " + dir.file("nowhere/diary.dvl") + ": its folder does not exist."},
        {"file of another kind", dir.file("letter.dvl"), code::PastEndOfFile,
         "Dayvell cannot open " + dir.file("letter.dvl") +
             ": it is not a dayvell. A dayvell begins with its header record, and this file does not. Nothing has "
             "been changed."},
        {"folder", dir.file("folder.dvl"), code::NotABookFile,
         "Dayvell cannot open " + dir.file("folder.dvl") + notABook},
        {"folder with a trailing separator", dir.dir(), code::NotABookFile,
         "Dayvell cannot open " + dir.path().string() + notABook},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        t.state.bookdir = "/kept/";
        t.state.bookname = "kept.dvl";
        t.state.purpose = 0;
        t.dialogs.expectMessage(c.message, Answer::Ok, ErrorTitle(c.code, ErrorDescription(c.code)));
        open(c.path);
        EXPECT_TRUE(t.dialogs.allAnswered());
        ASSERT_FALSE(t.dialogs.shown().empty());
        EXPECT_EQ(t.dialogs.shown().back().icon, Icon::Exclamation);
        EXPECT_EQ(t.windows.loadedIds(), QStringList{kStart});
        EXPECT_EQ(t.state.bookdir, "/kept/");
        EXPECT_EQ(t.state.bookname, "kept.dvl");
        EXPECT_EQ(t.state.purpose, 0);
    }
}

} // namespace
} // namespace dayvell::test
