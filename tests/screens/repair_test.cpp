// SPDX-License-Identifier: GPL-3.0-or-later
// Repair the Dayvell, under Maintenance: what can still be read of a damaged book goes into a new book beside it.
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "screens/Windows.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace dayvell::test {
namespace {

const QString kCover = QStringLiteral("Form5");
constexpr const char* kPasswordQuestion = "Please enter your password.";

class RepairTest : public ::testing::Test {
protected:
    RepairTest() { RegisterWindows(t.services); }

    // Opens the cover of `diary` after cutting its last `cut` bytes; the count then fails on the cut record.
    ProgramWindow* openCut(const Diary& diary, std::size_t cut) {
        const std::string whole = diary.bytes();
        WriteFileBytes(diary.path(), whole.substr(0, whole.size() - cut));
        diary.open(t.state);
        if (cut > 0)
            ExpectErrorReport(t.dialogs, code::PastEndOfFile);
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
        EXPECT_TRUE(t.dialogs.allAnswered());
        return t.windows.window(kCover);
    }
    void expectQuestions(const std::string& typed) {
        t.dialogs.expectMessage(HelpText(15), Answer::Ok, "Repair dayvell?");
        t.dialogs.expectInput(kPasswordQuestion, typed, "Password required.");
    }
    std::string folder(const Diary& diary) const { return diary.path().substr(0, diary.path().rfind('/') + 1); }

    TestServices t;
};

TEST_F(RepairTest, IsAnItemOfTheMaintenanceMenu) {
    Diary diary({StampedPage(1, "Page one")});
    ProgramWindow* form5 = openCut(diary, 0);
    auto* maint = find<QMenu>(form5, QStringLiteral("maint"));
    auto* repair = find<QAction>(form5, QStringLiteral("repair"));
    EXPECT_TRUE(maint->actions().contains(repair));
    EXPECT_EQ(Caption(repair->text()), QStringLiteral("Repair the Dayvell"));
}

TEST_F(RepairTest, RescuesTheReadablePagesIntoANewBookAndSaysWhichCouldNotBeRead) {
    const std::vector<Page> pages = {StampedPage(1, "First"), StampedPage(2, "Second"), StampedPage(3, "Third")};
    Diary diary(pages, "0111111");
    ProgramWindow* form5 = openCut(diary, 9);
    const std::string damaged = diary.bytes();

    expectQuestions(kDiaryPassword);
    RescueReport expected;
    expected.fileName = "diary-r1.dvl";
    expected.pagesKept = 2;
    expected.lost = {{3, 3, true}};
    t.dialogs.expectMessage(RescueMessage(expected), Answer::Ok, "Dayvell repaired.");
    trigger(form5, QStringLiteral("repair"));
    settle();
    EXPECT_TRUE(t.dialogs.allAnswered());
    const auto& explanation = t.dialogs.shown()[t.dialogs.shown().size() - 3];
    EXPECT_EQ(explanation.buttons, Buttons::OkCancel);
    EXPECT_EQ(explanation.defaultButton, Answer::Cancel) << "Enter must not start it";
    EXPECT_EQ(t.dialogs.shown().back().icon, Icon::Information);
    EXPECT_NE(t.dialogs.shown().back().text.find("Page 3 was cut short and could not be read."), std::string::npos);

    EXPECT_EQ(diary.bytes(), damaged) << "the damaged book is left as it is";
    EXPECT_EQ(ReadFileBytes(folder(diary) + "diary-r1.dvl"), diary.with({pages[0], pages[1]}));
    // The damaged book stays open.
    EXPECT_EQ(t.windows.loadedIds(), QStringList{kCover});
    EXPECT_EQ(t.state.bookname, "diary.dvl");
    EXPECT_EQ(t.state.password, kDiaryPassword);
}

TEST_F(RepairTest, RefusalsWriteNothing) {
    struct Case {
        const char* what;
        std::function<void(ScriptedDialogs&)> answers;
    };
    const Case cases[] = {
        {"explanation cancelled", [](ScriptedDialogs& d) { d.expectMessage(HelpText(15), Answer::Cancel); }},
        {"password box cancelled",
         [](ScriptedDialogs& d) {
             d.expectMessage(HelpText(15), Answer::Ok);
             d.expectInput(kPasswordQuestion, "");
         }},
        {"another password",
         [](ScriptedDialogs& d) {
             d.expectMessage(HelpText(15), Answer::Ok);
             d.expectInput(kPasswordQuestion, "Key1");
             d.expectMessage("Incorrect password. Dayvell not repaired.", Answer::Ok, "");
         }},
        {"the password and its own beginning, which passes the check phrase",
         [](ScriptedDialogs& d) {
             d.expectMessage(HelpText(15), Answer::Ok);
             d.expectInput(kPasswordQuestion, "key1key1ke");
             d.expectMessage("Incorrect password. Dayvell not repaired.", Answer::Ok, "");
         }},
    };
    Diary diary({StampedPage(1, "Page one"), StampedPage(2, "Page two")});
    ProgramWindow* form5 = openCut(diary, 4);
    const std::string damaged = diary.bytes();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.answers(t.dialogs);
        trigger(form5, QStringLiteral("repair"));
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(diary.bytes(), damaged);
        EXPECT_FALSE(std::filesystem::exists(folder(diary) + "diary-r1.dvl"));
        EXPECT_EQ(t.windows.loadedIds(), QStringList{kCover});
    }
}

TEST_F(RepairTest, AFailureIsReportedAndLeavesNoScratchFile) {
    Diary diary({StampedPage(1, "Page one")});
    ProgramWindow* form5 = openCut(diary, 4);
    // Something that is not the scratch file holds its name: the rescue cannot be written.
    std::filesystem::create_directory(folder(diary) + "dvltemp.dvl");
    expectQuestions(kDiaryPassword);
    ExpectErrorReport(t.dialogs, code::FileExists, kScratchNameTaken);
    trigger(form5, QStringLiteral("repair"));
    settle();
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_FALSE(std::filesystem::exists(folder(diary) + "diary-r1.dvl"));
    EXPECT_TRUE(std::filesystem::is_directory(folder(diary) + "dvltemp.dvl"));
}

} // namespace
} // namespace dayvell::test
