// SPDX-License-Identifier: GPL-3.0-or-later
// The windows on books in folders whose names go beyond ASCII, where every look at the disk must use the name the
// disk knows; and a save that meets another running copy of the program at work in the book's folder.
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/AnotherCopy.h"
#include "core/ErrorReporter.h"
#include "core/RuntimeError.h"
#include "platform/DirList.h"
#include "screens/Windows.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace dayvell::test {
namespace {

const QString kCover = QStringLiteral("Form5");
// "€é" as the file system spells it, and as the program keeps it.
const std::string kEuroAcute = "\xE2\x82\xAC\xC3\xA9";
const std::string kEuroAcuteCp1252 = "\x80\xE9";
// "€" alone: the only character of the two that the passwords below can encipher into a copy's header.
const std::string kEuro = "\xE2\x82\xAC";
const std::string kEuroCp1252 = "\x80";
const char* const kExists =
    "This file already exists! Either pick a different name or change the path and enter again.";
const char* const kReplace =
    "The target directory already has a file by the same name. Do you want to replace the target?";

class OtherFolders : public ::testing::Test {
protected:
    OtherFolders() {
        RegisterWindows(t.services);
        std::filesystem::create_directory(dir.path() / kEuroAcute);
        // A book cannot record a folder with "é" under these passwords: it is written in a plain folder and put
        // there by hand.
        const std::string made = WriteBook(dir.dir(), "diary.dvl", {"Secret1", "___", "1/2/2025", "0000000", 2});
        std::filesystem::rename(made, folder() / "diary.dvl");
        original = ReadFileBytes(book());
        t.state.bookdir = dir.dir() + kEuroAcuteCp1252 + "/";
        t.state.bookname = "diary.dvl";
        t.state.password = "Secret1";
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
    }
    std::filesystem::path folder() const { return dir.path() / kEuroAcute; }
    std::string book() const { return (folder() / "diary.dvl").string(); }
    ProgramWindow* openFromCover(const char* item, const QString& id) {
        trigger(t.windows.window(kCover), QString::fromLatin1(item));
        waitUntilActive(t.windows, id);
        return t.windows.window(id);
    }

    // Outlives the windows, whose last activations may still look at the book.
    TempDir dir;
    TestServices t;
    std::string original;
};

TEST_F(OtherFolders, TheFileNameWindowSeesTheFilesThere) {
    WriteFileBytes((folder() / "other.dvl").string(), "not this book");
    ProgramWindow* form12 = openFromCover("changefile", QStringLiteral("Form12"));
    auto* text1 = find<QLineEdit>(form12, QStringLiteral("Text1"));
    for (const char* taken : {"other", "diary"}) {
        SCOPED_TRACE(taken);
        text1->clear();
        QTest::keyClicks(text1, QString::fromLatin1(taken));
        t.dialogs.expectMessage(kExists, Answer::Ok, "");
        click(form12, QStringLiteral("Command1"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_TRUE(t.windows.isLoaded(QStringLiteral("Form12")));
    }
    EXPECT_EQ(ReadFileBytes((folder() / "other.dvl").string()), "not this book");
    EXPECT_EQ(ReadFileBytes(book()), original);

    text1->clear();
    QTest::keyClicks(text1, QStringLiteral("journal"));
    t.dialogs.expectMessage("File name was changed!", Answer::Ok, "");
    click(form12, QStringLiteral("Command1"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(ReadFileBytes((folder() / "journal.dvl").string()), original);
    EXPECT_FALSE(std::filesystem::exists(book()));
    EXPECT_EQ(t.state.bookname, "journal.dvl");
    waitUntilActive(t.windows, kCover);
}

TEST_F(OtherFolders, TheMoveOrCopyWindowAsksBeforeReplacingABackupThere) {
    std::filesystem::create_directory(dir.path() / kEuro);
    const std::string backup = (dir.path() / kEuro / "diary.dvl").string();
    WriteFileBytes(backup, "an older backup");
    ProgramWindow* form9 = openFromCover("movecopy", QStringLiteral("Form9"));
    auto& dir1 = *find<DirList>(form9, QStringLiteral("Dir1"));
    doubleClickLine(dir1, QString::fromStdString(dir.path().filename().string()));
    doubleClickLine(dir1, QString::fromStdString(kEuro));

    // Kept on No; replaced on Yes.
    t.dialogs.expectMessage(kReplace, Answer::No, "File already exists!");
    click(form9, QStringLiteral("Command1"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(ReadFileBytes(backup), "an older backup");

    t.dialogs.expectMessage(kReplace, Answer::Yes, "File already exists!");
    t.dialogs.expectMessage("Copy complete!", Answer::Ok, "");
    click(form9, QStringLiteral("Command1"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    // Books are named as the program keeps names.
    const std::string backupBook = dir.dir() + kEuroCp1252 + "/diary.dvl";
    Book copy(backupBook, "Secret1");
    EXPECT_EQ(copy.readHeader().directory, dir.dir() + kEuroCp1252 + "/");
    EXPECT_EQ(copy.countPages(), 2);
    EXPECT_EQ(ReadFileBytes(book()), original);

    // A move there asks the same, and takes the book along.
    t.dialogs.expectMessage(kReplace, Answer::Yes, "File already exists!");
    t.dialogs.expectMessage("Move complete!", Answer::Ok, "");
    click(form9, QStringLiteral("Command2"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_FALSE(std::filesystem::exists(book()));
    EXPECT_EQ(t.state.bookdir, dir.dir() + kEuroCp1252 + "/");
    EXPECT_EQ(Book(backupBook, "Secret1").countPages(), 2);
}

class SaveWhileAnotherCopyWorks : public ::testing::Test {
protected:
    SaveWhileAnotherCopyWorks() {
        RegisterWindows(t.services);
        RegisterStandIn(t, kCover, coverActivations);
        diary.open(t.state);
        t.windows.show(QStringLiteral("Form2"));
        waitUntilActive(t.windows, QStringLiteral("Form2"));
        typeText(find<QPlainTextEdit>(form2(), QStringLiteral("Text1")), "Written while the other copy worked");
    }
    ~SaveWhileAnotherCopyWorks() override {
        if (other > 0)
            FinishCopy(other);
    }
    ProgramWindow* form2() const { return t.windows.window(QStringLiteral("Form2")); }

    Diary diary{{StampedPage(1, "First")}};
    TestServices t;
    int coverActivations = 0;
    pid_t other = -1;
};

// Longer than any fixed wait for a lock would allow: the save waits, says so, and is made.
TEST_F(SaveWhileAnotherCopyWorks, TheSaveWaitsSayingSoAndIsMade) {
    other = AnotherCopyHolding(ParentDirectory(diary.path()) + "/", std::chrono::seconds(4), true);
    ASSERT_GT(other, 0);
    click(form2(), QStringLiteral("Command2"));
    EXPECT_EQ(diary.bytes(),
              diary.with({StampedPage(1, "First"), StampedPage(2, "Written while the other copy worked")}));
    waitUntilActive(t.windows, kCover);
    EXPECT_TRUE(t.dialogs.shown().empty());
    ASSERT_EQ(t.progress.shown.size(), 1u);
    EXPECT_EQ(t.progress.shown[0].text, "Waiting for another Dayvell to finish with this folder...");
    EXPECT_EQ(t.progress.shown[0].total, 0);
    EXPECT_FALSE(t.progress.shown[0].steps.empty());
    EXPECT_TRUE(t.progress.shown[0].closed);
}

TEST_F(SaveWhileAnotherCopyWorks, CancelLeavesThePageOnScreenUnsaved) {
    other = AnotherCopyHolding(ParentDirectory(diary.path()) + "/", std::chrono::seconds(3), true);
    ASSERT_GT(other, 0);
    t.progress.cancelAt = 0;
    const std::string before = diary.bytes();
    ExpectErrorReport(t.dialogs, code::BookInUse);
    click(form2(), QStringLiteral("Command2"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(diary.bytes(), before);
    EXPECT_TRUE(t.windows.isLoaded(QStringLiteral("Form2")));
    EXPECT_EQ(find<QPlainTextEdit>(form2(), QStringLiteral("Text1"))->toPlainText(),
              QStringLiteral("Written while the other copy worked"));
    ASSERT_EQ(t.progress.shown.size(), 1u);
    EXPECT_TRUE(t.progress.shown[0].closed);
}

} // namespace
} // namespace dayvell::test
