// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"

#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/Purposes.h"
#include "core/TempDir.h"
#include "screens/CoverWindow.h"
#include "screens/Windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace dayvell::test {
namespace {

const QString kCover = QStringLiteral("Form5");
const QString kPrompt = QStringLiteral("frmpassword");

// The windows the cover window's menus open, each stood in for so that a test sees which one was shown.
const char* const kTargets[] = {"Form2",  "Form6",  "Form7",  "Form8",      "Form9",
                                "Form10", "Form12", "Form14", "newpassword"};

class CoverWindowTest : public ::testing::Test {
protected:
    CoverWindowTest() { RegisterWindows(t.services); }

    void standInForTargets() {
        for (const char* id : kTargets)
            RegisterStandIn(t, QString::fromLatin1(id), standInActivations);
    }
    // Opens `name` in the test directory as the password prompt leaves it: directory with its separator, name,
    // the password in force.
    ProgramWindow* openCover(const TestBook& plan = {}, const std::string& name = "diary.dvl") {
        if (!std::filesystem::exists(dir.file(name)))
            path = WriteBook(dir.dir(), name, plan);
        t.state.bookdir = dir.dir();
        t.state.bookname = name;
        t.state.password = plan.password;
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
        return cover();
    }
    ProgramWindow* cover() const { return t.windows.window(kCover); }
    QString text(const char* label) const { return find<QLabel>(cover(), QString::fromLatin1(label))->text(); }
    bool visible(const char* control) const {
        return find<QWidget>(cover(), QString::fromLatin1(control))->isVisible();
    }
    void closeCover() {
        t.windows.unload(kCover);
        settle();
    }
    // Makes another window active and the cover window active again, as returning from a page window does.
    void leaveAndReturn() {
        RegisterStandIn(t, QStringLiteral("Form12"), standInActivations);
        t.windows.show(QStringLiteral("Form12"));
        waitUntilActive(t.windows, QStringLiteral("Form12"));
        t.windows.activate(kCover);
        waitUntilActive(t.windows, kCover);
    }

    TestServices t;
    TempDir dir;
    std::string path;
    int standInActivations = 0;
};

TEST_F(CoverWindowTest, ActivationShowsTheBooksCoverAndInformation) {
    struct Case {
        const char* name;
        TestBook plan;
        QString label2, label10;
    };
    const Case cases[] = {
        {"new.dvl", {}, "You can put your name here by clicking on Maintenance.", " 0"},
        {"full.dvl", {"Other9", "Anna's book", "11/30/2026", "0000000", 12}, "Anna's book", " 12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openCover(c.plan, c.name);
        EXPECT_EQ(text("Label2"), c.label2);
        EXPECT_EQ(text("Label10"), c.label10);
        EXPECT_EQ(text("Label11"), QString::fromStdString(c.plan.lastAccess));
        EXPECT_EQ(text("Label8"), QString::number(std::filesystem::file_size(path) / 1024));
        EXPECT_EQ(text("Label9"), QStringLiteral("1000000"));
        EXPECT_EQ(cover()->windowTitle(), QString::fromStdString(dir.dir() + c.name));
        EXPECT_EQ(t.state.secflags, c.plan.flags);
        EXPECT_EQ(t.state.covername, c.plan.coverName);
        EXPECT_EQ(t.state.pagecount, c.label10.toStdString());
        EXPECT_EQ(t.disks.asked.back(), dir.dir()) << "free space of the book's own drive";
        EXPECT_FALSE(visible("Label7"));
        closeCover();
    }
}

TEST_F(CoverWindowTest, SizeIsTheFileLengthInWholeKilobytesTruncated) {
    // A page of an empty text sets the size of everything but the text, which is one byte a character.
    const TestBook plan;
    const std::string probe = WriteBook(dir.dir(), "probe.dvl", plan);
    Book(probe, plan.password).appendPage({" 1", "Saturday, 12/5/2026", "1:46:33 PM", ""});
    const auto overhead = std::filesystem::file_size(probe);

    struct Case {
        std::uintmax_t bytes;
        QString shown;
    };
    for (const Case& c : {Case{1023, "0"}, Case{1024, "1"}, Case{2047, "1"}, Case{2048, "2"}}) {
        const std::string name = "size" + std::to_string(c.bytes) + ".dvl";
        path = WriteBook(dir.dir(), name, plan);
        Book(path, plan.password)
            .appendPage({" 1", "Saturday, 12/5/2026", "1:46:33 PM", std::string(c.bytes - overhead, 'x')});
        ASSERT_EQ(std::filesystem::file_size(path), c.bytes);
        openCover(plan, name);
        EXPECT_EQ(text("Label8"), c.shown) << c.bytes << " bytes";
        closeCover();
    }
}

TEST_F(CoverWindowTest, LowSpaceWarningShowsBelowTenKilobytes) {
    struct Case {
        std::int64_t freeKB;
        bool warning;
    };
    for (const Case& c : {Case{9, true}, Case{10, false}, Case{0, true}, Case{3'000'000'000, false}}) {
        t.disks.freeKB = c.freeKB;
        openCover();
        EXPECT_EQ(text("Label9"), QString::number(c.freeKB));
        EXPECT_EQ(visible("Label7"), c.warning) << c.freeKB << " KB free";
        closeCover();
    }
}

TEST_F(CoverWindowTest, TheWarningOnceShownStaysWhileTheWindowIsLoaded) {
    t.disks.freeKB = 9;
    openCover();
    ASSERT_TRUE(visible("Label7"));
    t.disks.freeKB = 500;
    leaveAndReturn();
    EXPECT_EQ(text("Label9"), QStringLiteral("500"));
    EXPECT_TRUE(visible("Label7"));
}

TEST_F(CoverWindowTest, BookInformationHidesAndShowsAndStaysHiddenAcrossActivations) {
    const char* const information[] = {"Label1",  "Label3",  "Label4",  "Label5", "Label6", "Label8", "Label9",
                                       "Label10", "Label11", "Label12", "Line1",  "Line2",  "Line3",  "Line4"};
    openCover();
    EXPECT_FALSE(visible("Command2"));

    click(cover(), QStringLiteral("Command1"));
    for (const char* control : information)
        EXPECT_FALSE(visible(control)) << control;
    EXPECT_TRUE(visible("Label2")) << "the cover name is not part of the information";
    EXPECT_FALSE(visible("Command1"));

    leaveAndReturn();
    for (const char* control : information)
        EXPECT_FALSE(visible(control)) << control << " after returning";

    click(cover(), QStringLiteral("Command2"));
    for (const char* control : information)
        EXPECT_TRUE(visible(control)) << control;
    EXPECT_TRUE(visible("Command1"));
    EXPECT_FALSE(visible("Command2"));
}

TEST_F(CoverWindowTest, MenusHaveTheirCaptionsAndShortcuts) {
    ProgramWindow* form5 = openCover();
    QStringList top;
    for (QAction* action : form5->findChild<QMenuBar*>()->actions())
        top << Caption(action->text());
    EXPECT_EQ(top, (QStringList{"Dayvell", "Maintenance", "Help"}));
    EXPECT_EQ(find<QAction>(form5, QStringLiteral("helper"))->menu(), nullptr) << "acts at once, no submenu";

    struct Case {
        const char* menu;
        const char* name;
        QString caption;
        QKeySequence shortcut;
    };
    const Case cases[] = {
        {"page", "enterpage", "Enter a new page", QKeySequence(Qt::SHIFT | Qt::Key_Insert)},
        {"page", "view", "View and Edit pages", QKeySequence(Qt::CTRL | Qt::Key_E)},
        {"page", "search", "Search the Dayvell", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"page", "printbook", "Print the Dayvell", QKeySequence(Qt::CTRL | Qt::Key_P)},
        {"page", "exportbook", "Export the Dayvell...", QKeySequence()},
        {"page", "importpages", "Import pages...", QKeySequence()},
        {"page", "quit", "Quit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"maint", "cover", "Change Cover name", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {"maint", "changefile", "Change file name", QKeySequence(Qt::CTRL | Qt::Key_F)},
        {"maint", "changepass", "Change password", QKeySequence(Qt::CTRL | Qt::Key_A)},
        {"maint", "movecopy", "Move/Copy Dayvell", QKeySequence(Qt::CTRL | Qt::Key_M)},
        {"maint", "deletebook", "Delete the Dayvell", QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
        {"maint", "security", "Security", QKeySequence(Qt::ALT | Qt::Key_Backspace)},
    };
    for (const Case& c : cases) {
        auto* action = find<QAction>(form5, QString::fromLatin1(c.name));
        EXPECT_EQ(Caption(action->text()), c.caption) << c.name;
        EXPECT_EQ(action->shortcut(), c.shortcut) << c.name;
        EXPECT_TRUE(find<QMenu>(form5, QString::fromLatin1(c.menu))->actions().contains(action)) << c.name;
    }
}

TEST_F(CoverWindowTest, GatedItemsAskForThePasswordWhereTheirFlagIsSet) {
    struct Item {
        const char* name;
        int position;
        int purpose;
        const char* window;
    };
    const Item items[] = {
        {"cover", 1, 10, "Form10"}, {"changefile", 2, 12, "Form12"},  {"security", 3, 6, "Form6"},
        {"view", 4, 7, "Form7"},    {"movecopy", 5, 9, "Form9"},      {"enterpage", 6, 2, "Form2"},
        {"search", 7, 8, "Form8"},  {"importpages", 6, 14, "Form14"},
    };
    standInForTargets();
    for (const char* flags : {"0111111", "0000000", "1000001"}) {
        TestBook plan;
        plan.flags = flags;
        openCover(plan, std::string("flags") + flags + ".dvl");
        for (const Item& item : items) {
            SCOPED_TRACE(std::string(flags) + " " + item.name);
            t.state.purpose = 0;
            t.state.passwordok = 1;
            trigger(cover(), QString::fromLatin1(item.name));
            const bool asks = flags[item.position - 1] == '1';
            EXPECT_EQ(t.windows.isLoaded(kPrompt), asks);
            EXPECT_EQ(t.windows.isLoaded(QString::fromLatin1(item.window)), !asks);
            EXPECT_EQ(t.state.purpose, asks ? item.purpose : 0);
            EXPECT_EQ(t.state.passwordok, item.purpose == 12 && asks ? 0 : 1) << "only the file name resets it";
            t.windows.unload(kPrompt);
            t.windows.unload(QString::fromLatin1(item.window));
            settle();
        }
        // The password change asks in its own window, whatever the flags.
        trigger(cover(), QStringLiteral("changepass"));
        EXPECT_TRUE(t.windows.isLoaded(QStringLiteral("newpassword")));
        EXPECT_FALSE(t.windows.isLoaded(kPrompt));
        EXPECT_EQ(t.state.passwordok, 0);
        t.windows.unload(QStringLiteral("newpassword"));
        closeCover();
    }
}

TEST_F(CoverWindowTest, ItemsWhoseWindowIsNotPartOfTheProgramDoNothingVisible) {
    // Only the cover window is registered here, so every window its items open is missing.
    TestServices bare;
    bare.windows.registerWindow(kCover, [&bare] { return std::make_unique<CoverWindow>(bare.services); });
    WriteBook(dir.dir(), "diary.dvl", {.flags = "0000000"});
    bare.state.bookdir = dir.dir();
    bare.state.bookname = "diary.dvl";
    bare.state.password = "Secret1";
    bare.windows.show(kCover);
    waitUntilActive(bare.windows, kCover);
    ProgramWindow* form5 = bare.windows.window(kCover);
    for (const char* item :
         {"cover", "changefile", "security", "view", "movecopy", "enterpage", "search", "changepass", "importpages"})
        trigger(form5, QString::fromLatin1(item));
    settle();
    EXPECT_EQ(bare.windows.loadedIds(), QStringList{kCover});
    EXPECT_TRUE(bare.dialogs.shown().empty());
    EXPECT_EQ(bare.windows.activeWindow(), form5);
}

TEST_F(CoverWindowTest, ARightPasswordOpensTheGatedWindowOverTheCover) {
    standInForTargets();
    openCover();
    trigger(cover(), QStringLiteral("view"));
    waitUntilActive(t.windows, kPrompt);
    QTest::keyClicks(find<QLineEdit>(t.windows.window(kPrompt), QStringLiteral("txtPassword")),
                     QStringLiteral("Secret1"));
    click(t.windows.window(kPrompt), QStringLiteral("cmdOK"));
    waitUntilActive(t.windows, QStringLiteral("Form7"));
    EXPECT_EQ(t.windows.loadedIds(), (QStringList{kCover, QStringLiteral("Form7")}));
    EXPECT_EQ(t.state.purpose, purpose::ViewPages);
}

TEST_F(CoverWindowTest, AWrongPasswordFromAGatedItemClosesEveryWindowAndLeavesTheBookAlone) {
    standInForTargets();
    openCover({.flags = "0111111"});
    trigger(cover(), QStringLiteral("cover"));
    ASSERT_TRUE(t.windows.isLoaded(QStringLiteral("Form10")));
    const std::string before = ReadFileBytes(path);

    trigger(cover(), QStringLiteral("search"));
    waitUntilActive(t.windows, kPrompt);
    QTest::keyClicks(find<QLineEdit>(t.windows.window(kPrompt), QStringLiteral("txtPassword")),
                     QStringLiteral("secret1"));
    t.dialogs.expectMessage("Invalid Password!", Answer::Ok, "Incorrect Password!");
    click(t.windows.window(kPrompt), QStringLiteral("cmdOK"));
    waitUntilActive(t.windows, QStringLiteral("form1"));
    EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("form1")});
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_TRUE(t.state.password.empty());
    EXPECT_EQ(t.state.purpose, 0);
}

TEST_F(CoverWindowTest, QuitAnsweredNoLeavesEverythingAsItWas) {
    openCover();
    const std::string before = ReadFileBytes(path);
    t.dialogs.expectMessage("Sure you want to quit?", Answer::No, "Quit Dayvell?");
    trigger(cover(), QStringLiteral("quit"));
    settle();
    EXPECT_EQ(t.dialogs.shown().back().buttons, Buttons::YesNo);
    EXPECT_EQ(t.dialogs.shown().back().icon, Icon::Question);
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(t.windows.loadedIds(), QStringList{kCover});
    EXPECT_EQ(t.state.password, "Secret1");
}

TEST_F(CoverWindowTest, QuitStampsTodayIntoTheBookClosesEveryWindowAndShowsTheStartWindow) {
    standInForTargets();
    openCover({.coverName = "Days", .lastAccess = "1/2/2025", .pages = 3});
    trigger(cover(), QStringLiteral("enterpage")); // flag 6 asks: the prompt is open over the cover
    trigger(cover(), QStringLiteral("cover"));     // flag 1 does not: Form10 is open
    ASSERT_EQ(t.windows.loadedIds().size(), 3);
    t.state.passwordok = 1;

    t.dialogs.expectMessage("Sure you want to quit?", Answer::Yes, "Quit Dayvell?");
    trigger(cover(), QStringLiteral("quit"));
    waitUntilActive(t.windows, QStringLiteral("form1"));
    EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("form1")});
    EXPECT_EQ(t.programEnds, 0);

    Book book(path, "Secret1");
    const BookHeader header = book.readHeader();
    EXPECT_EQ(header.lastAccess, "12/5/2026");
    EXPECT_EQ(header.coverName, "Days");
    EXPECT_EQ(header.directory, dir.dir());
    EXPECT_EQ(book.countPages(), 3);
    EXPECT_EQ(book.readPage(3)->text, "Page 3");

    EXPECT_TRUE(t.state.bookname.empty());
    EXPECT_TRUE(t.state.password.empty());
    EXPECT_EQ(t.state.passwordok, 0);
    EXPECT_EQ(t.state.purpose, 0);
}

TEST_F(CoverWindowTest, QuitThatCannotStampTheDateReportsAndStillClosesTheBook) {
    openCover();
    std::filesystem::remove(path);
    t.dialogs.expectMessage("Sure you want to quit?", Answer::Yes, "Quit Dayvell?");
    ExpectErrorReport(t.dialogs, code::FileNotFound);
    trigger(cover(), QStringLiteral("quit"));
    waitUntilActive(t.windows, QStringLiteral("form1"));
    EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("form1")});
    EXPECT_TRUE(t.state.password.empty());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(CoverWindowTest, ActivationFailuresAreReportedAndTheLabelsKeepWhatTheyHeld) {
    struct Case {
        const char* what;
        std::function<void()> breakIt;
        int code;
    };
    const Case cases[] = {
        {"book deleted", [this] { std::filesystem::remove(path); }, code::FileNotFound},
        {"not a book", [this] { WriteFileBytes(path, "\"unfinished"); }, code::PastEndOfFile},
        {"drive gone", [this] { t.disks.freeSpaceError = code::DiskNotReady; }, code::DiskNotReady},
    };
    const char* const labels[] = {"Label2", "Label8", "Label9", "Label10", "Label11"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        t.disks.freeSpaceError.reset();
        std::filesystem::remove(dir.file("diary.dvl"));
        openCover({.coverName = "Kept", .pages = 2});
        QStringList before;
        for (const char* label : labels)
            before << text(label);
        const QString title = cover()->windowTitle();
        const int ends = t.programEnds;

        c.breakIt();
        ExpectErrorReport(t.dialogs, c.code);
        leaveAndReturn();
        EXPECT_TRUE(t.dialogs.allAnswered());
        QStringList after;
        for (const char* label : labels)
            after << text(label);
        EXPECT_EQ(after, before);
        EXPECT_EQ(cover()->windowTitle(), title);
        EXPECT_EQ(t.programEnds, ends);
        t.windows.unload(QStringLiteral("Form12"));
        closeCover();
    }
}

TEST_F(CoverWindowTest, HelpAndTheWarningLabelShowTheirTopics) {
    t.disks.freeKB = 3;
    ProgramWindow* form5 = openCover();
    t.dialogs.expectMessage(HelpText(5), Answer::Ok, "Help");
    trigger(form5, QStringLiteral("helper"));
    t.dialogs.expectMessage(HelpText(51), Answer::Ok, "Help");
    QTest::mouseClick(find<QLabel>(form5, QStringLiteral("Label7")), Qt::LeftButton);
    t.dialogs.expectMessage(HelpText(16), Answer::Ok, "Help");
    click(form5, QStringLiteral("Command3"));
    EXPECT_TRUE(t.dialogs.allAnswered());
}

TEST_F(CoverWindowTest, TheCloseBoxRunsNoQuitStep) {
    openCover();
    const std::string before = ReadFileBytes(path);
    cover()->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.programEnds == 1; }));
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(t.state.password, "Secret1");
}

} // namespace
} // namespace dayvell::test
