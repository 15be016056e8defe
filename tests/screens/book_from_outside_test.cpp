// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

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

TEST_F(BookFromOutsideTest, APathThatIsNoReadableBookIsReportedAndTheStartWindowStays) {
    std::filesystem::create_directories(dir.path() / "folder.dvl");
    WriteFileBytes(dir.file("letter.dvl"), "Dear diary,\r\nthis is no book.\r\n");
    struct Case {
        const char* what;
        std::string path;
        int code;
    };
    const Case cases[] = {
        {"missing file", dir.file("gone.dvl"), code::FileNotFound},
        {"missing folder", dir.file("nowhere/diary.dvl"), code::PathNotFound},
        {"file of another kind", dir.file("letter.dvl"), code::PastEndOfFile},
        {"folder", dir.file("folder.dvl"), code::NotABookFile},
        {"folder with a trailing separator", dir.dir(), code::NotABookFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        t.state.bookdir = "/kept/";
        t.state.bookname = "kept.dvl";
        t.state.purpose = 0;
        ExpectErrorReport(t.dialogs, c.code);
        open(c.path);
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.windows.loadedIds(), QStringList{kStart});
        EXPECT_EQ(t.state.bookdir, "/kept/");
        EXPECT_EQ(t.state.bookname, "kept.dvl");
        EXPECT_EQ(t.state.purpose, 0);
    }
}

} // namespace
} // namespace dayvell::test
