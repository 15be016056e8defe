// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"

#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/TempDir.h"
#include "platform/DirList.h"
#include "screens/Windows.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>

namespace dayvell::test {
namespace {

const QString kBrowser = QStringLiteral("form3");
const QString kPrompt = QStringLiteral("frmpassword");

class OpenBrowserTest : public ::testing::Test {
protected:
    OpenBrowserTest() {
        RegisterWindows(t.services);
        std::filesystem::create_directories(dir.path() / "empty");
        std::filesystem::create_directories(dir.path() / "more");
        std::filesystem::create_directories(dir.path() / "folder.dvl");
        // A scratch file left by an interrupted rewrite, and files that are no books by their name.
        for (const char* name : {"b.dvl", "A.DVL", "dvltemp.dvl", "notes.txt", "more/c.dvl"})
            WriteFileBytes(dir.file(name), "x");
    }

    // Shown as the start window's Open shows it: `bookdir` is the directory with the start window's "/".
    ProgramWindow* openBrowser() {
        t.state.bookdir = dir.dir();
        t.windows.show(kBrowser);
        waitUntilActive(t.windows, kBrowser);
        return browser();
    }
    ProgramWindow* browser() const { return t.windows.window(kBrowser); }
    QListWidget& list(const char* name) const { return *find<QListWidget>(browser(), QString::fromLatin1(name)); }
    bool openEnabled() const { return find<QPushButton>(browser(), QStringLiteral("Command1"))->isEnabled(); }

    TestServices t;
    TempDir dir;
};

TEST_F(OpenBrowserTest, ArrivesInTheProgramDirectoryListingItsBooks) {
    ProgramWindow* b = openBrowser();
    EXPECT_EQ(b->windowTitle(), QStringLiteral("Open a Dayvell"));
    struct Case {
        const char* name;
        QString caption, tip;
    };
    const Case labels[] = {
        {"Label1", "Choose which drive to look in for your dayvell", ""},
        {"Label2", "Choose which directory your dayvell is in.", ""},
        {"Label3", "The dayvells in this directory are listed here. Choose which dayvell to open.", ""},
    };
    for (const Case& c : labels) {
        EXPECT_EQ(find<QLabel>(b, QString::fromLatin1(c.name))->text(), c.caption) << c.name;
        EXPECT_EQ(find<QLabel>(b, QString::fromLatin1(c.name))->toolTip(), c.tip) << c.name;
    }
    const Case buttons[] = {
        {"Command1", "Open", "Press to open selected dayvell"},
        {"Command2", "Cancel", "Get me out of here!"},
        {"Command3", "Help", "More info."},
    };
    for (const Case& c : buttons) {
        auto* button = find<QPushButton>(b, QString::fromLatin1(c.name));
        EXPECT_EQ(Caption(button->text()), c.caption) << c.name;
        EXPECT_EQ(button->toolTip(), c.tip) << c.name;
        EXPECT_FALSE(button->isDefault()) << c.name;
    }
    const Case lists[] = {
        {"Drive1", "", "Choose drive here"},
        {"Dir1", "", "Choose folder here"},
        {"File1", "", "Choose dayvell file to open."},
    };
    for (const Case& c : lists)
        EXPECT_EQ(find<QWidget>(b, QString::fromLatin1(c.name))->toolTip(), c.tip) << c.name;

    EXPECT_EQ(find<DirList>(b, QStringLiteral("Dir1"))->path(), QString::fromStdString(dir.path().string()));
    EXPECT_EQ(linesOf(list("File1")), (QStringList{"A.DVL", "b.dvl"})) << "books only, never the scratch file";
    EXPECT_EQ(t.state.bookdir, dir.path().string());
    EXPECT_FALSE(openEnabled());
}

TEST_F(OpenBrowserTest, AProgramInTheRootDirectoryShowsTheRoot) {
    // The start window's terminator on the root: nothing of the root itself may be cut off.
    t.state.bookdir = "//";
    t.windows.show(kBrowser);
    waitUntilActive(t.windows, kBrowser);
    EXPECT_EQ(find<DirList>(browser(), QStringLiteral("Dir1"))->path(), QStringLiteral("/"));
}

TEST_F(OpenBrowserTest, ChoosingAFileEnablesOpenAndChangingTheDirectoryDisablesIt) {
    openBrowser();
    clickLine(list("File1"), QStringLiteral("b.dvl"));
    EXPECT_TRUE(openEnabled());

    doubleClickLine(list("Dir1"), QStringLiteral("more"));
    EXPECT_FALSE(openEnabled());
    EXPECT_EQ(linesOf(list("File1")), QStringList{"c.dvl"});
    EXPECT_EQ(t.state.bookdir, (dir.path() / "more").string());

    doubleClickLine(list("Dir1"), QString::fromStdString(dir.path().filename().string()));
    doubleClickLine(list("Dir1"), QStringLiteral("empty"));
    EXPECT_TRUE(linesOf(list("File1")).isEmpty());
    EXPECT_FALSE(openEnabled());
}

TEST_F(OpenBrowserTest, OpenHandsTheChosenBookToThePasswordPrompt) {
    openBrowser();
    t.state.password = "left over";
    t.state.passwordok = 1;
    clickLine(list("File1"), QStringLiteral("A.DVL"));
    click(browser(), QStringLiteral("Command1"));
    waitUntilActive(t.windows, kPrompt);
    EXPECT_EQ(t.windows.loadedIds(), QStringList{kPrompt});
    EXPECT_EQ(t.state.bookdir, dir.dir());
    EXPECT_EQ(t.state.bookname, "A.DVL");
    EXPECT_TRUE(t.state.password.empty());
    EXPECT_EQ(t.state.passwordok, 0);
    EXPECT_EQ(t.state.purpose, 5);
    EXPECT_EQ(t.programEnds, 0);
}

TEST_F(OpenBrowserTest, ADoubleClickHandsOverWithTheDirectoryStillWithoutItsSeparator) {
    openBrowser();
    doubleClickLine(list("Dir1"), QStringLiteral("more"));
    doubleClickLine(list("File1"), QStringLiteral("c.dvl"));
    waitUntilActive(t.windows, kPrompt);
    EXPECT_EQ(t.windows.loadedIds(), QStringList{kPrompt});
    EXPECT_EQ(t.state.bookdir, (dir.path() / "more").string());
    EXPECT_EQ(t.state.bookname, "c.dvl");
    EXPECT_EQ(t.state.purpose, 5);
}

TEST_F(OpenBrowserTest, CancelReturnsToTheStartWindowWithNoBookNamed) {
    openBrowser();
    t.state.bookname = "b.dvl";
    click(browser(), QStringLiteral("Command2"));
    waitUntilActive(t.windows, QStringLiteral("form1"));
    EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("form1")});
    EXPECT_TRUE(t.state.bookname.empty());
}

TEST_F(OpenBrowserTest, HelpShowsTopicThree) {
    openBrowser();
    t.dialogs.expectMessage(HelpText(3), Answer::Ok, "Help");
    click(browser(), QStringLiteral("Command3"));
    EXPECT_TRUE(t.dialogs.allAnswered());
}

TEST_F(OpenBrowserTest, ADirectoryThatIsGoneIsReportedAndTheBrowserStays) {
    t.state.bookdir = dir.file("gone/deeper") + "/";
    ExpectErrorReport(t.dialogs, code::DeviceUnavailable);
    t.windows.show(kBrowser);
    waitUntilActive(t.windows, kBrowser);
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_FALSE(openEnabled());
    EXPECT_EQ(t.programEnds, 0);
}

} // namespace
} // namespace dayvell::test
