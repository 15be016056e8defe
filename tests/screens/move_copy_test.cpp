// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/Codec.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/Purposes.h"
#include "core/TempDir.h"
#include "platform/DirList.h"
#include "screens/Windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

namespace dayvell::test {
namespace {

const QString kCover = QStringLiteral("Form5");
const QString kMoveCopy = QStringLiteral("Form9");
const char* const kCannotMove = "Cannot move a file to same directory! Choose a different directory!";
const char* const kCannotCopy = "Cannot copy a file to same directory! Choose a different directory!";
const char* const kReplace =
    "The target directory already has a file by the same name. Do you want to replace the target?";

class MoveCopyTest : public ::testing::Test {
protected:
    MoveCopyTest() {
        RegisterWindows(t.services);
        std::filesystem::create_directory(dir.path() / "backup");
    }

    // Opens the book's cover window and, from its menu, the move-or-copy window.
    ProgramWindow* open(const TestBook& plan = {"Secret1", "Anna's book", "1/2/2025", "0000000", 3}) {
        path = WriteBook(dir.dir(), "diary.dvl", plan);
        original = ReadFileBytes(path);
        t.state.bookdir = dir.dir();
        t.state.bookname = "diary.dvl";
        t.state.password = plan.password;
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
        trigger(t.windows.window(kCover), QStringLiteral("movecopy"));
        waitUntilActive(t.windows, kMoveCopy);
        return window();
    }
    ProgramWindow* window() const { return t.windows.window(kMoveCopy); }
    DirList& dir1() const { return *find<DirList>(window(), QStringLiteral("Dir1")); }
    QString text(const char* box) const { return find<QLineEdit>(window(), QString::fromLatin1(box))->text(); }
    bool visible(const char* control) const {
        return find<QWidget>(window(), QString::fromLatin1(control))->isVisible();
    }
    std::string backup() const { return (dir.path() / "backup").string() + "/"; }

    TestServices t;
    TempDir dir;
    std::string path;
    std::string original;
};

TEST_F(MoveCopyTest, OpensOnTheBooksFolderSoMoveAndCopyAreRefusedAtOnce) {
    ProgramWindow* w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Move or Copy"));
    EXPECT_EQ(text("Text1"), QString::fromStdString(path));
    EXPECT_EQ(dir1().path(), QString::fromStdString(dir.path().string()));
    EXPECT_FALSE(visible("Label3"));
    EXPECT_FALSE(visible("Text2"));
    EXPECT_EQ(find<QWidget>(w, QStringLiteral("Drive1"))->toolTip(), QStringLiteral("Pick a  destination drive."));
    EXPECT_EQ(find<QLabel>(w, QStringLiteral("Label2"))->text(),
              QStringLiteral("Choose a Drive\\Directory that you wish your dayvell to be moved to or copied to."));

    t.dialogs.expectMessage(kCannotMove, Answer::Ok, "");
    click(w, QStringLiteral("Command2"));
    t.dialogs.expectMessage(kCannotCopy, Answer::Ok, "");
    click(w, QStringLiteral("Command1"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(std::filesystem::directory_iterator(dir.path() / "backup"), std::filesystem::directory_iterator());
}

// The lists do not resolve links: a link to the book's folder is another path to the same folder.
TEST_F(MoveCopyTest, TheBooksFolderThroughALinkIsTheSameDirectory) {
    std::filesystem::create_directory_symlink(dir.path(), dir.path() / "backup" / "again");
    open();
    doubleClickLine(dir1(), QStringLiteral("backup"));
    doubleClickLine(dir1(), QStringLiteral("again"));
    for (const auto& [button, message] : {std::pair("Command2", kCannotMove), std::pair("Command1", kCannotCopy)}) {
        t.dialogs.expectMessage(message);
        click(window(), QString::fromLatin1(button));
    }
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(t.state.bookdir, dir.dir());
}

TEST_F(MoveCopyTest, CopyWritesABackupAndCopyingAgainAsksToReplaceIt) {
    open();
    doubleClickLine(dir1(), QStringLiteral("backup"));
    t.dialogs.expectMessage("Copy complete!", Answer::Ok, "");
    click(window(), QStringLiteral("Command1"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    const std::string copy = backup() + "diary.dvl";
    EXPECT_TRUE(visible("Label3"));
    EXPECT_TRUE(visible("Text2"));
    EXPECT_EQ(text("Text2"), QString::fromStdString(copy));
    EXPECT_EQ(text("Text1"), QString::fromStdString(path));
    EXPECT_EQ(t.state.bookdir, dir.dir());
    EXPECT_EQ(ReadFileBytes(path), original);
    Book made(copy, "Secret1");
    EXPECT_TRUE(made.checkPassword());
    EXPECT_EQ(made.readHeader().directory, backup());
    EXPECT_EQ(made.readHeader().coverName, "Anna's book");
    for (std::int64_t n = 1; n <= 3; ++n)
        EXPECT_EQ(made.readPage(n)->text, "Page " + std::to_string(n));

    // The answers to the replace question: only Yes writes.
    struct Case {
        Answer answer;
        bool replaced;
    };
    for (const Case& c : {Case{Answer::No, false}, Case{Answer::Cancel, false}, Case{Answer::Yes, true}}) {
        WriteFileBytes(copy, "an older backup");
        t.dialogs.expectMessage(kReplace, c.answer, "File already exists!");
        if (c.replaced)
            t.dialogs.expectMessage("Copy complete!");
        click(window(), QStringLiteral("Command1"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        if (c.replaced) {
            EXPECT_EQ(Book(copy, "Secret1").readHeader().directory, backup());
        } else {
            EXPECT_EQ(ReadFileBytes(copy), "an older backup");
        }
        EXPECT_FALSE(std::filesystem::exists(backup() + "dvltemp.dvl"));
    }
    for (const ScriptedDialogs::Shown& box : t.dialogs.shown()) {
        if (box.title == "File already exists!") {
            EXPECT_EQ(box.defaultButton, Answer::No) << "Enter must not replace the other file";
        }
    }
}

TEST_F(MoveCopyTest, MoveTakesTheBookAlongAndQuitStampsTheMovedFile) {
    open();
    doubleClickLine(dir1(), QStringLiteral("backup"));
    // A copy notice from before goes when a move starts.
    t.dialogs.expectMessage("Copy complete!");
    click(window(), QStringLiteral("Command1"));
    std::filesystem::remove(backup() + "diary.dvl");

    t.dialogs.expectMessage("Move complete!", Answer::Ok, "");
    click(window(), QStringLiteral("Command2"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    const std::string moved = backup() + "diary.dvl";
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(t.state.bookdir, backup());
    EXPECT_EQ(text("Text1"), QString::fromStdString(moved));
    EXPECT_FALSE(visible("Label3"));
    EXPECT_FALSE(visible("Text2"));
    EXPECT_EQ(Book(moved, "Secret1").readHeader().directory, backup());

    click(window(), QStringLiteral("Command3"));
    EXPECT_FALSE(t.windows.isLoaded(kMoveCopy));
    waitUntilActive(t.windows, kCover);
    EXPECT_EQ(t.windows.window(kCover)->windowTitle(), QString::fromStdString(moved));
    EXPECT_EQ(find<QLabel>(t.windows.window(kCover), QStringLiteral("Label10"))->text(), QStringLiteral(" 3"));

    t.dialogs.expectMessage("Sure you want to quit?", Answer::Yes, "Quit Dayvell?");
    trigger(t.windows.window(kCover), QStringLiteral("quit"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(Book(moved, "Secret1").readHeader().lastAccess, "12/5/2026");
    EXPECT_FALSE(std::filesystem::exists(path));
}

// The notice of a copy tells of the latest try only: a later copy that fails or is refused takes it away.
TEST_F(MoveCopyTest, TheCopyNoticeGoesWhenTheNextCopyStartsWhateverComesOfIt) {
    enum class Retry { OntoAFullDisk, ReplaceAnsweredNo, IntoTheBooksFolder };
    const std::pair<Retry, const char*> cases[] = {
        {Retry::OntoAFullDisk, "a copy onto a full disk"},
        {Retry::ReplaceAnsweredNo, "a copy whose replace question is answered No"},
        {Retry::IntoTheBooksFolder, "a copy into the book's own folder"},
    };
    for (const auto& [retry, what] : cases) {
        SCOPED_TRACE(what);
        std::filesystem::remove(backup() + "diary.dvl");
        std::filesystem::remove(dir.file("diary.dvl"));
        open();
        doubleClickLine(dir1(), QStringLiteral("backup"));
        t.dialogs.expectMessage("Copy complete!");
        click(window(), QStringLiteral("Command1"));
        ASSERT_TRUE(visible("Text2"));

        switch (retry) {
        case Retry::OntoAFullDisk: {
            t.dialogs.expectMessage(kReplace, Answer::Yes, "File already exists!");
            ExpectErrorReport(t.dialogs, code::DiskFull);
            FileSizeLimit full(64);
            click(window(), QStringLiteral("Command1"));
            break;
        }
        case Retry::ReplaceAnsweredNo:
            t.dialogs.expectMessage(kReplace, Answer::No, "File already exists!");
            click(window(), QStringLiteral("Command1"));
            break;
        case Retry::IntoTheBooksFolder:
            dir1().setPath(QString::fromStdString(dir.path().string()));
            t.dialogs.expectMessage(kCannotCopy);
            click(window(), QStringLiteral("Command1"));
            break;
        }
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_FALSE(visible("Label3"));
        EXPECT_FALSE(visible("Text2"));
        EXPECT_EQ(ReadFileBytes(path), original);
        t.windows.unloadAll();
        settle();
    }
}

TEST_F(MoveCopyTest, MovingOntoAnOlderFileAsksFirst) {
    open();
    doubleClickLine(dir1(), QStringLiteral("backup"));
    const std::string older = backup() + "diary.dvl";
    WriteFileBytes(older, "an older backup");
    t.dialogs.expectMessage(kReplace, Answer::No, "File already exists!");
    click(window(), QStringLiteral("Command2"));
    EXPECT_EQ(ReadFileBytes(older), "an older backup");
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(t.state.bookdir, dir.dir());

    t.dialogs.expectMessage(kReplace, Answer::Yes, "File already exists!");
    t.dialogs.expectMessage("Move complete!");
    click(window(), QStringLiteral("Command2"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(Book(older, "Secret1").countPages(), 3);
}

TEST_F(MoveCopyTest, AFolderThePasswordCannotCarryIsRefusedNamingTheCharacter) {
    // "Été" as the file system spells it; É (201) plus z (122) is past 255.
    std::filesystem::create_directory(dir.path() / "backup" / "\xC3\x89t\xC3\xA9");
    open({"zzzz", "___", "1/2/2025", "0000000", 1});
    doubleClickLine(dir1(), QStringLiteral("backup"));
    doubleClickLine(dir1(), QString::fromUtf8("\xC3\x89t\xC3\xA9"));
    const std::string message =
        "The password of your dayvell cannot encipher the character \"\xC9\" in the name of the "
        "folder " +
        backup() + "\xC9t\xE9/. Choose a different directory!";
    for (const char* button : {"Command1", "Command2"}) {
        t.dialogs.expectMessage(message);
        click(window(), QString::fromLatin1(button));
    }
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "backup" / "\xC3\x89t\xC3\xA9"));
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(t.state.bookdir, dir.dir());
}

TEST_F(MoveCopyTest, AWriteThatFailsIsReportedAndTheBookStays) {
    open();
    doubleClickLine(dir1(), QStringLiteral("backup"));
    // A folder where the copy's scratch file goes: nothing can be written there.
    std::filesystem::create_directory(dir.path() / "backup" / "dvltemp.dvl");
    ExpectErrorReport(t.dialogs, code::FileExists, kScratchNameTaken);
    click(window(), QStringLiteral("Command2"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(t.state.bookdir, dir.dir());
    EXPECT_FALSE(std::filesystem::exists(backup() + "diary.dvl"));
}

TEST_F(MoveCopyTest, HelpShowsTopicNineAndExitReturnsToTheCover) {
    open();
    t.dialogs.expectMessage(HelpText(9), Answer::Ok, "Help");
    click(window(), QStringLiteral("Command4"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    click(window(), QStringLiteral("Command3"));
    EXPECT_FALSE(t.windows.isLoaded(kMoveCopy));
    waitUntilActive(t.windows, kCover);
}

// With its security flag set the item asks for the password first; the password change always opens at once.
TEST_F(MoveCopyTest, TheCoverWindowsItemsOpenTheMaintenanceWindows) {
    path = WriteBook(dir.dir(), "diary.dvl", {"Secret1", "___", "1/2/2025", "0000100", 0});
    t.state.bookdir = dir.dir();
    t.state.bookname = "diary.dvl";
    t.state.password = "Secret1";
    t.windows.show(kCover);
    waitUntilActive(t.windows, kCover);
    trigger(t.windows.window(kCover), QStringLiteral("movecopy"));
    waitUntilActive(t.windows, QStringLiteral("frmpassword"));
    EXPECT_EQ(t.state.purpose, purpose::MoveCopy);
    QTest::keyClicks(find<QLineEdit>(t.windows.window(QStringLiteral("frmpassword")), QStringLiteral("txtPassword")),
                     QStringLiteral("Secret1"));
    click(t.windows.window(QStringLiteral("frmpassword")), QStringLiteral("cmdOK"));
    waitUntilActive(t.windows, kMoveCopy);

    trigger(t.windows.window(kCover), QStringLiteral("changepass"));
    waitUntilActive(t.windows, QStringLiteral("newpassword"));
}

} // namespace
} // namespace dayvell::test
