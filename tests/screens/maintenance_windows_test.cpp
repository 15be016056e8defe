// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/Codec.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/Record.h"
#include "core/WrittenBooks.h"
#include "platform/Listing.h"
#include "screens/Windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

namespace dayvell::test {
namespace {

const QString kCover = QStringLiteral("Form5");
const QString kPrompt = QStringLiteral("frmpassword");
const QString kSecurity = QStringLiteral("Form6");
const QString kCoverName = QStringLiteral("Form10");
const QString kFileName = QStringLiteral("Form12");

// Everything of a book file after its header: the pages, which no maintenance window of these touches.
std::string PagesOf(const std::string& bytes) {
    return bytes.substr(bytes.find("\r\n") + 2);
}

// The header record of a book file, still enciphered.
Record HeaderOf(const std::string& path) {
    return StoredRecords(path).front();
}

class MaintenanceTest : public ::testing::Test {
protected:
    MaintenanceTest() { RegisterWindows(t.services); }

    // Opens the book's cover window, then `id` over it as the cover's menu item `item` does (or, without one, as
    // the password prompt does).
    ProgramWindow* openOver(const Diary& diary, const char* item, const QString& id) {
        diary.open(t.state);
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
        if (item)
            trigger(t.windows.window(kCover), QString::fromLatin1(item));
        else
            t.windows.show(id);
        waitUntilActive(t.windows, id);
        return t.windows.window(id);
    }
    void closeAll() {
        t.windows.unloadAll();
        settle();
    }
    // Makes the cover window active and `id` active again, as a user's clicks do.
    void leaveAndReturn(const QString& id) {
        t.windows.activate(kCover);
        waitUntilActive(t.windows, kCover);
        t.windows.activate(id);
        waitUntilActive(t.windows, id);
    }
    // Clicks the box as a user does, on its square.
    static void clickBox(const ProgramWindow* window, int n) {
        auto* box = find<QCheckBox>(window, QStringLiteral("Check%1").arg(n));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    QString flagsShown(const ProgramWindow* window) const {
        QString shown;
        for (int n = 1; n <= 7; ++n) {
            const Qt::CheckState state = find<QCheckBox>(window, QStringLiteral("Check%1").arg(n))->checkState();
            shown += state == Qt::Checked ? '1' : state == Qt::PartiallyChecked ? '2' : '0';
        }
        return shown;
    }

    TestServices t;
};

TEST_F(MaintenanceTest, SecurityShowsTheBooksFlagsAndOkStoresTheBoxesAsTheyAre) {
    struct Case {
        const char* stored;
        QString shown;
        // Boxes clicked (each toggles) before OK.
        std::vector<int> clicks;
        const char* saved;
    };
    const Case cases[] = {
        {"0111111", "0111111", {}, "0111111"},
        {"0111111", "0111111", {1, 2, 7}, "1011110"},
        {"1010101", "1010101", {3}, "1000101"},
        // A greyed box keeps its digit; a short or odd text shows clear boxes, stored as zeros.
        {"2000001", "2000001", {}, "2000001"},
        {"01", "0100000", {}, "0100000"},
        {"01x9", "0100000", {}, "0100000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        Diary diary({StampedPage(1, "Page one")}, "0000000");
        {
            Book book(diary.path(), kDiaryPassword);
            book.replaceFlags(c.stored);
        }
        const std::string before = ReadFileBytes(diary.path());
        // Shown as the password prompt shows it where the flags ask for the password.
        ProgramWindow* form6 = openOver(diary, nullptr, kSecurity);
        EXPECT_EQ(form6->windowTitle(), QStringLiteral("Security"));
        EXPECT_EQ(flagsShown(form6), c.shown);
        for (int n : c.clicks)
            clickBox(form6, n);
        click(form6, QStringLiteral("Command2"));
        waitUntilActive(t.windows, kCover);
        EXPECT_FALSE(t.windows.isLoaded(kSecurity));
        EXPECT_EQ(Book(diary.path(), kDiaryPassword).readHeader().flags, c.saved);
        EXPECT_EQ(t.state.secflags, c.saved) << "the cover window reads them at once";
        const std::string after = ReadFileBytes(diary.path());
        EXPECT_EQ(PagesOf(after), PagesOf(before));
        if (std::string(c.stored) == c.saved) {
            EXPECT_EQ(after, before);
        }
        closeAll();
    }
}

TEST_F(MaintenanceTest, AllFlagsClearedLetsEveryFunctionOpenWithoutThePrompt) {
    Diary diary({StampedPage(1, "Page one")}, "1111111");
    diary.open(t.state);
    t.windows.show(kCover);
    waitUntilActive(t.windows, kCover);
    // The security window itself asks first.
    trigger(t.windows.window(kCover), QStringLiteral("security"));
    waitUntilActive(t.windows, kPrompt);
    QTest::keyClicks(find<QLineEdit>(t.windows.window(kPrompt), QStringLiteral("txtPassword")),
                     QString::fromLatin1(kDiaryPassword));
    click(t.windows.window(kPrompt), QStringLiteral("cmdOK"));
    waitUntilActive(t.windows, kSecurity);
    ProgramWindow* form6 = t.windows.window(kSecurity);
    EXPECT_EQ(flagsShown(form6), QStringLiteral("1111111"));
    for (int n = 1; n <= 7; ++n)
        clickBox(form6, n);
    click(form6, QStringLiteral("Command2"));
    waitUntilActive(t.windows, kCover);
    EXPECT_EQ(Book(diary.path(), kDiaryPassword).readHeader().flags, "0000000");

    struct Item {
        const char* name;
        const char* window;
    };
    const Item items[] = {{"cover", "Form10"},    {"changefile", "Form12"}, {"security", "Form6"}, {"view", "Form7"},
                          {"enterpage", "Form2"}, {"search", "Form8"},      {"movecopy", "Form9"}};
    for (const Item& item : items) {
        SCOPED_TRACE(item.name);
        trigger(t.windows.window(kCover), QString::fromLatin1(item.name));
        settle();
        EXPECT_FALSE(t.windows.isLoaded(kPrompt));
        const QString id = QString::fromLatin1(item.window);
        // The move-or-copy window may not be part of this build; where it is, it opens.
        if (t.windows.isRegistered(id)) {
            EXPECT_TRUE(t.windows.isLoaded(id));
        }
        t.windows.unload(id);
        settle();
    }
}

TEST_F(MaintenanceTest, SecurityCancelAndReturningDropUnsavedChangesAndHelpShowsTopicSix) {
    Diary diary({}, "0111111");
    ProgramWindow* form6 = openOver(diary, nullptr, kSecurity);
    const std::string before = diary.bytes();
    clickBox(form6, 1);
    EXPECT_EQ(flagsShown(form6), QStringLiteral("1111111"));
    leaveAndReturn(kSecurity);
    EXPECT_EQ(flagsShown(form6), QStringLiteral("0111111")) << "reloaded from the book";

    t.dialogs.expectMessage(HelpText(6), Answer::Ok, "Help");
    click(form6, QStringLiteral("Command3"));
    EXPECT_TRUE(t.windows.isLoaded(kSecurity));

    clickBox(form6, 4);
    click(form6, QStringLiteral("Command1"));
    waitUntilActive(t.windows, kCover);
    EXPECT_FALSE(t.windows.isLoaded(kSecurity));
    EXPECT_EQ(ReadFileBytes(diary.path()), before);
}

// A failed rewrite is reported; the window stays open for another try, and no success is claimed.
TEST_F(MaintenanceTest, SecurityAndCoverNameReportAFailedRewriteAndStayOpen) {
    struct Case {
        const char* item;
        QString id;
        const char* button;
    };
    const Case cases[] = {{nullptr, kSecurity, "Command2"}, {"cover", kCoverName, "Command1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id.toStdString());
        Diary diary({}, "0000000");
        ProgramWindow* window = openOver(diary, c.item, c.id);
        std::filesystem::remove(diary.path());
        ExpectErrorReport(t.dialogs, code::FileNotFound);
        click(window, QString::fromLatin1(c.button));
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_TRUE(t.windows.isLoaded(c.id));
        EXPECT_FALSE(std::filesystem::exists(diary.path()));
        closeAll();
    }
}

// The security window reads the book each time it becomes active; a book gone meanwhile is reported there too.
TEST_F(MaintenanceTest, SecurityActivationReportsABookThatCannotBeRead) {
    Diary diary({}, "0000000");
    ProgramWindow* form6 = openOver(diary, nullptr, kSecurity);
    clickBox(form6, 2);
    WriteFileBytes(diary.path(), "\"unfinished");
    // The cover window reports it as it becomes active, then the security window.
    ExpectErrorReport(t.dialogs, code::PastEndOfFile);
    ExpectErrorReport(t.dialogs, code::PastEndOfFile);
    leaveAndReturn(kSecurity);
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(flagsShown(form6), QStringLiteral("0100000")) << "the boxes keep what they showed";
}

TEST_F(MaintenanceTest, CoverNameAcceptedIsStoredAndShownOnTheCover) {
    struct Case {
        const char* what;
        std::string before;
        QString typed;
        std::string stored;
        QString label2;
    };
    const Case cases[] = {
        {"a new name", "Days of 2026", "Anna's book", "Anna's book", "Anna's book"},
        {"empty: one space", "Days of 2026", "", " ", " "},
        {"no name again", "Days of 2026", "___", "___", "You can put your name here by clicking on Maintenance."},
        {"commas and quotes", "___", "A \"quoted\", name", "A \"quoted\", name", "A \"quoted\", name"},
        {"unchanged", "Days of 2026", "Days of 2026", "Days of 2026", "Days of 2026"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Diary diary({StampedPage(1, "Page one")}, "0000000", c.before);
        ProgramWindow* form10 = openOver(diary, "cover", kCoverName);
        const std::string before = ReadFileBytes(diary.path());
        auto* text1 = find<QLineEdit>(form10, QStringLiteral("Text1"));
        EXPECT_EQ(text1->text(), QString::fromStdString(c.before)) << "the current name, ready to edit";
        text1->clear();
        QTest::keyClicks(text1, c.typed);
        t.dialogs.expectMessage("Cover name was changed successfully!", Answer::Ok, "");
        click(form10, QStringLiteral("Command1"));
        waitUntilActive(t.windows, kCover);
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.dialogs.shown().back().icon, Icon::None);
        EXPECT_FALSE(t.windows.isLoaded(kCoverName));

        const std::string after = ReadFileBytes(diary.path());
        EXPECT_EQ(Book(diary.path(), kDiaryPassword).readHeader().coverName, c.stored);
        // Only the cover field changes.
        Record was = HeaderOf(diary.path());
        WriteFileBytes(diary.path(), before);
        Record is = HeaderOf(diary.path());
        for (int field : {0, 1, 3, 4})
            EXPECT_EQ(was[field], is[field]) << "header field " << field + 1;
        EXPECT_EQ(PagesOf(after), PagesOf(before));
        if (c.stored == c.before) {
            EXPECT_EQ(after, before);
        }
        EXPECT_EQ(find<QLabel>(t.windows.window(kCover), QStringLiteral("Label2"))->text(), c.label2);
        closeAll();
    }
}

TEST_F(MaintenanceTest, CoverNameRefusesWhatTheBookCannotHoldAndCancelChangesNothing) {
    Diary diary({}, "0000000");
    ProgramWindow* form10 = openOver(diary, "cover", kCoverName);
    const std::string before = diary.bytes();
    auto* text1 = find<QLineEdit>(form10, QStringLiteral("Text1"));
    text1->setText(QStringLiteral("Caf\u00E9 \u4E2D"));
    t.dialogs.expectMessage("The cover name was not changed: a dayvell cannot store some of its characters.\r\r"
                            "Not in a dayvell's character set: U+4E2D\r"
                            "Not with any password: \xE9\r"
                            "\rRemove or replace them, then accept again.",
                            Answer::Ok, "Cover name not changed");
    click(form10, QStringLiteral("Command1"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_TRUE(t.windows.isLoaded(kCoverName));
    EXPECT_EQ(text1->text(), QStringLiteral("Caf\u00E9 \u4E2D")) << "kept for mending";
    EXPECT_EQ(ReadFileBytes(diary.path()), before);

    t.dialogs.expectMessage(HelpText(10), Answer::Ok, "Help");
    click(form10, QStringLiteral("Command3"));
    click(form10, QStringLiteral("Command2"));
    waitUntilActive(t.windows, kCover);
    EXPECT_FALSE(t.windows.isLoaded(kCoverName));
    EXPECT_EQ(ReadFileBytes(diary.path()), before);
    EXPECT_EQ(t.state.covername, "Days of 2026");
}

TEST_F(MaintenanceTest, FileNameTable) {
    enum class Outcome { Renamed, TooLong, Exists, Ignored, NotAllowed };
    struct Case {
        QString typed;
        Outcome outcome;
        // The new name, or for a name that is not allowed, why.
        std::string newName;
    };
    const std::string hidden = "is not allowed: a file whose name starts with \".\" is hidden, so your dayvell would "
                               "no longer be listed when you open a dayvell. Please choose a different name.";
    const std::string scratch = "is not allowed: Dayvell keeps the name dvltemp.dvl, in capitals or small letters "
                                "alike, for its own scratch file. Please choose a different name.";
    const Case cases[] = {
        {"journal", Outcome::Renamed, "journal.dvl"},
        {"journal.dvl", Outcome::Renamed, "journal.dvl"},
        {"eightchr", Outcome::Renamed, "eightchr.dvl"},
        {"8chr.dvl.dvl", Outcome::Renamed, "8chr.dvl.dvl"},
        {"diary.DVL", Outcome::TooLong, ""},
        {"ninechars", Outcome::TooLong, ""},
        {".dvl", Outcome::Ignored, ""},
        {"", Outcome::Ignored, ""},
        {"diary", Outcome::Exists, ""},
        {"diary.dvl", Outcome::Exists, ""},
        {"other", Outcome::Exists, ""},
        // Names the open browser would not list, or that the file system cannot hold, are refused saying why.
        {"a/b", Outcome::NotAllowed,
         "The name \"a/b\" is not allowed: a file name cannot contain \"/\", which separates the folders of a "
         "path. Please choose a different name."},
        {".hid", Outcome::NotAllowed, "The name \".hid\" " + hidden},
        {"..", Outcome::NotAllowed, "The name \"..\" " + hidden},
        {"..dvl", Outcome::NotAllowed, "The name \".\" " + hidden},
        {"dvltemp", Outcome::NotAllowed, "The name \"dvltemp\" " + scratch},
        {"DVLTEMP", Outcome::NotAllowed, "The name \"DVLTEMP\" " + scratch},
        {"DvlTemp.dvl", Outcome::NotAllowed, "The name \"DvlTemp\" " + scratch},
        {"dvltemp1", Outcome::Renamed, "dvltemp1.dvl"},
        {"my.hid", Outcome::Renamed, "my.hid.dvl"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        Diary diary({StampedPage(1, "Page one"), StampedPage(2, "Page two")}, "0000000");
        const std::string dir = ParentDirectory(diary.path());
        WriteFileBytes(JoinPath(dir, "other.dvl"), "not this book");
        const std::string before = diary.bytes();
        ProgramWindow* form12 = openOver(diary, "changefile", kFileName);
        EXPECT_EQ(form12->windowTitle(), QString::fromStdString(diary.path()));
        auto* text1 = find<QLineEdit>(form12, QStringLiteral("Text1"));
        EXPECT_TRUE(text1->text().isEmpty());
        QTest::keyClicks(text1, c.typed);

        switch (c.outcome) {
        case Outcome::Renamed:
            t.dialogs.expectMessage("File name was changed!", Answer::Ok, "");
            break;
        case Outcome::TooLong:
            t.dialogs.expectMessage("File name cannot be over 8 characters long!", Answer::Ok, "");
            break;
        case Outcome::Exists:
            t.dialogs.expectMessage(
                "This file already exists! Either pick a different name or change the path and enter again.",
                Answer::Ok, "");
            break;
        case Outcome::NotAllowed:
            t.dialogs.expectMessage(c.newName, Answer::Ok, "");
            break;
        case Outcome::Ignored:
            break;
        }
        click(form12, QStringLiteral("Command1"));
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());

        if (c.outcome == Outcome::Renamed) {
            const std::string renamed = JoinPath(dir, c.newName);
            waitUntilActive(t.windows, kCover);
            EXPECT_FALSE(t.windows.isLoaded(kFileName));
            EXPECT_FALSE(std::filesystem::exists(diary.path()));
            EXPECT_EQ(ReadFileBytes(renamed), before);
            EXPECT_EQ(t.state.bookname, c.newName);
            // Where books are chosen, the book is found under its new name.
            EXPECT_TRUE(ListEntries(QString::fromStdString(dir), EntryKind::File, {QStringLiteral("*.dvl")})
                            .contains(QString::fromStdString(c.newName)));
            EXPECT_EQ(t.windows.window(kCover)->windowTitle(), QString::fromStdString(renamed));
            // Later work uses the new name.
            EXPECT_EQ(find<QLabel>(t.windows.window(kCover), QStringLiteral("Label10"))->text(), QStringLiteral(" 2"));
            std::filesystem::rename(renamed, diary.path());
        } else {
            EXPECT_TRUE(t.windows.isLoaded(kFileName));
            EXPECT_EQ(text1->text(), c.typed) << "left for the user to correct";
            EXPECT_EQ(ReadFileBytes(diary.path()), before);
            EXPECT_EQ(t.state.bookname, "diary.dvl");
        }
        EXPECT_FALSE(std::filesystem::exists(JoinPath(dir, "dvltemp.dvl")));
        EXPECT_EQ(ReadFileBytes(JoinPath(dir, "other.dvl")), "not this book");
        closeAll();
    }
}

// A name pasted from elsewhere may carry what no key types: a tab, a line break, an escape. The book keeps its name.
TEST_F(MaintenanceTest, APastedFileNameWithAControlCharacterIsRefused) {
    const QString pasted[] = {QStringLiteral("a\tb"), QStringLiteral("new\u001B[2J"), QStringLiteral("x\u007F")};
    for (const QString& name : pasted) {
        SCOPED_TRACE(name.toStdString());
        Diary diary({StampedPage(1, "Page one")}, "0000000");
        const std::string dir = ParentDirectory(diary.path());
        const std::string before = diary.bytes();
        ProgramWindow* form12 = openOver(diary, "changefile", kFileName);
        auto* text1 = find<QLineEdit>(form12, QStringLiteral("Text1"));
        QApplication::clipboard()->setText(name);
        QTest::keySequence(text1, QKeySequence::Paste);
        ASSERT_EQ(text1->text(), name) << "the paste did not arrive as pasted";
        t.dialogs.expectMessage("This name is not allowed: a file name cannot hold a control character, such as a tab "
                                "or a line break. Please choose a different name.");
        click(form12, QStringLiteral("Command1"));
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_TRUE(t.windows.isLoaded(kFileName));
        EXPECT_EQ(t.state.bookname, "diary.dvl");
        EXPECT_EQ(ReadFileBytes(diary.path()), before);
        EXPECT_EQ(ListEntries(QString::fromStdString(dir), EntryKind::File, {}),
                  QStringList{QStringLiteral("diary.dvl")});
        closeAll();
    }
}

TEST_F(MaintenanceTest, FileNameLengthRefusalRepeatsPerClickAndTheDialogStaysUsable) {
    Diary diary({}, "0000000");
    ProgramWindow* form12 = openOver(diary, "changefile", kFileName);
    auto* text1 = find<QLineEdit>(form12, QStringLiteral("Text1"));
    QTest::keyClicks(text1, QStringLiteral("ninechars"));
    for (int i = 0; i < 2; ++i) {
        t.dialogs.expectMessage("File name cannot be over 8 characters long!");
        click(form12, QStringLiteral("Command1"));
        EXPECT_TRUE(t.dialogs.allAnswered());
    }
    t.dialogs.expectMessage(HelpText(12), Answer::Ok, "Help");
    click(form12, QStringLiteral("Command3"));
    QTest::keyClick(text1, Qt::Key_Backspace);
    t.dialogs.expectMessage("File name was changed!");
    click(form12, QStringLiteral("Command1"));
    waitUntilActive(t.windows, kCover);
    EXPECT_TRUE(std::filesystem::exists(JoinPath(ParentDirectory(diary.path()), "ninechar.dvl")));

    // Cancel changes nothing.
    trigger(t.windows.window(kCover), QStringLiteral("changefile"));
    waitUntilActive(t.windows, kFileName);
    QTest::keyClicks(find<QLineEdit>(t.windows.window(kFileName), QStringLiteral("Text1")), QStringLiteral("x"));
    click(t.windows.window(kFileName), QStringLiteral("Command2"));
    waitUntilActive(t.windows, kCover);
    EXPECT_EQ(t.state.bookname, "ninechar.dvl");
    EXPECT_FALSE(std::filesystem::exists(JoinPath(ParentDirectory(diary.path()), "x.dvl")));
}

// Enter in a window's text box or on a check box presses its default button; Esc leaves as its Cancel or Exit does.
// Keys are sent to the control with the focus, as a person types them.
TEST_F(MaintenanceTest, EnterAcceptsAndEscLeavesInEveryMaintenanceWindow) {
    Diary diary({StampedPage(1, "Page one")}, "0000000", "Days of 2026");

    ProgramWindow* form10 = openOver(diary, "cover", kCoverName);
    auto* name = find<QLineEdit>(form10, QStringLiteral("Text1"));
    name->clear();
    QTest::keyClicks(name, QStringLiteral("By keyboard"));
    t.dialogs.expectMessage("Cover name was changed successfully!", Answer::Ok, "");
    QTest::keyClick(name, Qt::Key_Return);
    waitUntilActive(t.windows, kCover);
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(Book(diary.path(), kDiaryPassword).readHeader().coverName, "By keyboard");

    ProgramWindow* form6 = openOver(diary, "security", kSecurity);
    clickBox(form6, 4);
    QTest::keyClick(find<QCheckBox>(form6, QStringLiteral("Check4")), Qt::Key_Enter, Qt::KeypadModifier);
    waitUntilActive(t.windows, kCover);
    EXPECT_EQ(Book(diary.path(), kDiaryPassword).readHeader().flags, "0001000");

    // Esc leaves every one of them without a change.
    const std::string before = diary.bytes();
    for (const auto& [item, id, control] :
         {std::tuple{"cover", kCoverName, "Text1"}, std::tuple{"changefile", kFileName, "Text1"},
          std::tuple{"movecopy", QStringLiteral("Form9"), "Dir1"}}) {
        SCOPED_TRACE(id.toStdString());
        trigger(t.windows.window(kCover), QString::fromLatin1(item));
        waitUntilActive(t.windows, id);
        QWidget* focus = t.windows.window(id)->findChild<QWidget*>(QString::fromLatin1(control));
        ASSERT_NE(focus, nullptr);
        if (auto* line = qobject_cast<QLineEdit*>(focus))
            QTest::keyClicks(line, QStringLiteral("typed"));
        QTest::keyClick(focus, Qt::Key_Escape);
        waitUntilActive(t.windows, kCover);
        EXPECT_FALSE(t.windows.isLoaded(id));
    }
    EXPECT_EQ(diary.bytes(), before);
}

} // namespace
} // namespace dayvell::test
