// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/GuiTest.h"

#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "screens/StartWindow.h"
#include "screens/Windows.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

namespace dayvell::test {
namespace {

// Stands in for a window the start window hands over to, and counts its activations.
class NextWindow : public ProgramWindow {
public:
    NextWindow(Services& services, const QString& id, int& activations)
        : ProgramWindow(services, id), m_activations(activations) {}

protected:
    void Form_Activate() override { ++m_activations; }

private:
    int& m_activations;
};

class StartWindowTest : public ::testing::Test {
protected:
    StartWindowTest() { RegisterWindows(t.services); }

    void registerNext(const char* id) {
        t.windows.registerWindow(QString::fromLatin1(id), [this, id] {
            return std::make_unique<NextWindow>(t.services, QString::fromLatin1(id), nextActivations);
        });
    }
    ProgramWindow* start() {
        t.windows.show(QStringLiteral("form1"));
        waitUntilActive(t.windows, QStringLiteral("form1"));
        return t.windows.window(QStringLiteral("form1"));
    }

    int nextActivations = 0;
    TestServices t;
};

TEST_F(StartWindowTest, ShowsTitlePictureVersionAndBanner) {
    ProgramWindow* form1 = start();
    EXPECT_EQ(form1->windowTitle(), QStringLiteral("Dayvell"));
    EXPECT_EQ(find<QLabel>(form1, QStringLiteral("Image1"))->pixmap().size(), QSize(108, 126));
    auto* version = find<QLabel>(form1, QStringLiteral("Label2"));
    EXPECT_EQ(version->text(), QStringLiteral("Version 1.2.5"));
    EXPECT_EQ(version->toolTip(), QStringLiteral("Last updated 10/03/2004 V1.0.1(Fixed delete)"));
    auto* banner = find<QLabel>(form1, QStringLiteral("Label1"));
    EXPECT_TRUE(banner->text().contains(QStringLiteral("Dayvell")));
    EXPECT_FALSE(banner->toolTip().isEmpty());
}

TEST_F(StartWindowTest, MenusHaveTheirCaptionsShortcutsAndOrder) {
    ProgramWindow* form1 = start();
    QStringList top;
    for (QAction* action : form1->findChild<QMenuBar*>()->actions())
        top << Caption(action->text());
    EXPECT_EQ(top, (QStringList{"File", "Help", "About"}));
    EXPECT_EQ(
        find<QMenu>(form1, QStringLiteral("File"))->actions(),
        (QList<QAction*>{find<QAction>(form1, QStringLiteral("Open")), find<QAction>(form1, QStringLiteral("Create")),
                         find<QAction>(form1, QStringLiteral("Quit"))}));
    EXPECT_EQ(find<QAction>(form1, QStringLiteral("Helper"))->menu(), nullptr) << "acts at once, no submenu";
    EXPECT_EQ(find<QMenu>(form1, QStringLiteral("about"))->actions(),
              QList<QAction*>{find<QAction>(form1, QStringLiteral("aboutlg"))});

    struct Case {
        const char* name;
        QString caption;
        QKeySequence shortcut;
    };
    const Case cases[] = {
        {"Open", "Open a Dayvell", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"Create", "Create a  Dayvell", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {"Quit", "Quit", {}},
        {"Helper", "Help", {}},
        {"aboutlg", "About Dayvell", {}},
    };
    for (const Case& c : cases) {
        auto* action = find<QAction>(form1, QString::fromLatin1(c.name));
        EXPECT_EQ(Caption(action->text()), c.caption) << c.name;
        EXPECT_EQ(action->shortcut(), c.shortcut) << c.name;
    }
}

TEST_F(StartWindowTest, ActivationPutsTheProgramDirectoryWithASlashIntoBookdir) {
    struct Case {
        std::string programDir, bookdir;
    };
    const Case cases[] = {
        {"/opt/dayvell", "/opt/dayvell/"},
        {"/", "//"},
        {"/home/me/My Books", "/home/me/My Books/"},
    };
    for (const Case& c : cases) {
        t.disks.programDir = c.programDir;
        t.state.bookdir = "left over";
        start();
        EXPECT_EQ(t.state.bookdir, c.bookdir);
        t.windows.unload(QStringLiteral("form1"));
        settle();
    }
}

TEST_F(StartWindowTest, ActivationRunsAgainWhenTheWindowIsActiveAgain) {
    registerNext("Form5");
    start();
    t.windows.show(QStringLiteral("Form5"));
    waitUntilActive(t.windows, QStringLiteral("Form5"));
    t.state.bookdir = "/elsewhere/";
    t.windows.activate(QStringLiteral("form1"));
    waitUntilActive(t.windows, QStringLiteral("form1"));
    EXPECT_EQ(t.state.bookdir, "/opt/dayvell/");
}

TEST_F(StartWindowTest, AnActivationErrorIsReportedAndLeavesBookdirAsItWas) {
    t.disks.programDirectoryError = code::DiskNotReady;
    t.state.bookdir = "/before/";
    const RuntimeError error(code::DiskNotReady);
    t.dialogs.expectMessage(ErrorBoxText(error.code(), error.description()), Answer::Ok,
                            ErrorTitle(error.code(), error.description()));
    start();
    settle();
    EXPECT_EQ(t.state.bookdir, "/before/");
}

TEST_F(StartWindowTest, AboutBoxShowsFiveParagraphsSeparatedByEmptyLines) {
    ProgramWindow* form1 = start();
    t.dialogs.expectMessage(AboutText(), Answer::Ok, "About Dayvell.");
    trigger(form1, QStringLiteral("aboutlg"));
    ASSERT_EQ(t.dialogs.shown().size(), 1u);
    const auto& box = t.dialogs.shown().front();
    EXPECT_EQ(box.buttons, Buttons::Ok);
    EXPECT_EQ(box.icon, Icon::None);

    // Every paragraph ends in CR and one more CR stands between two paragraphs.
    const QString text = QString::fromStdString(box.text);
    ASSERT_TRUE(text.endsWith('\r'));
    const QStringList paragraphs = text.chopped(1).split(QStringLiteral("\r\r"));
    ASSERT_EQ(paragraphs.size(), 5);
    for (const QString& paragraph : paragraphs)
        EXPECT_FALSE(paragraph.isEmpty() || paragraph.contains('\r') || paragraph.contains('\n'))
            << paragraph.toStdString();
    EXPECT_TRUE(paragraphs[0].contains("Dayvell") && paragraphs[0].contains("Version 1.2.5"));
    EXPECT_TRUE(paragraphs[1].contains("03/05/2009") && paragraphs[1].contains("director"));
    EXPECT_EQ(paragraphs[2], "Keep a record of your daily thoughts.");
    EXPECT_EQ(paragraphs[3], "Multiple dayvells can be created, each requiring a password, which keeps others from "
                             "seeing what is in your dayvell.");
    EXPECT_TRUE(paragraphs[4].startsWith("  ") && paragraphs[4].contains("test")) << "indented thanks to the testers";

    EXPECT_TRUE(t.windows.isLoaded(QStringLiteral("form1")));
    EXPECT_EQ(t.windows.activeWindow(), form1);
}

TEST_F(StartWindowTest, HelpShowsTopicOne) {
    ProgramWindow* form1 = start();
    t.dialogs.expectMessage(HelpText(1), Answer::Ok, "Help");
    trigger(form1, QStringLiteral("Helper"));
    EXPECT_TRUE(t.dialogs.allAnswered());
}

TEST_F(StartWindowTest, QuitUnloadsTheWindowAndEndsTheProgram) {
    ProgramWindow* form1 = start();
    trigger(form1, QStringLiteral("Quit"));
    EXPECT_FALSE(t.windows.isLoaded(QStringLiteral("form1")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.programEnds == 1; }));
}

TEST_F(StartWindowTest, TheCloseBoxEndsTheProgramWithoutActivationWork) {
    ProgramWindow* form1 = start();
    t.state.bookdir = "untouched";
    form1->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.programEnds == 1; }));
    EXPECT_EQ(t.state.bookdir, "untouched");
}

TEST_F(StartWindowTest, OpenAndCreateHandOverToTheirWindow) {
    struct Case {
        const char* item;
        const char* next;
    };
    for (const Case& c : {Case{"Open", "form3"}, Case{"Create", "Form4"}}) {
        registerNext(c.next);
        nextActivations = 0;
        trigger(start(), QString::fromLatin1(c.item));
        EXPECT_FALSE(t.windows.isLoaded(QStringLiteral("form1"))) << c.item;
        waitUntilActive(t.windows, QString::fromLatin1(c.next));
        EXPECT_EQ(nextActivations, 1) << c.item;
        EXPECT_EQ(t.programEnds, 0) << c.item;
        t.windows.unload(QString::fromLatin1(c.next));
        t.windows.show(QStringLiteral("form1"));
        settle();
    }
}

TEST_F(StartWindowTest, OpenAndCreateDoNothingWhileTheirWindowIsMissing) {
    // A program whose only window is the start window.
    TestServices bare;
    bare.windows.registerWindow(QStringLiteral("form1"),
                                [&bare] { return std::make_unique<StartWindow>(bare.services); });
    bare.windows.show(QStringLiteral("form1"));
    waitUntilActive(bare.windows, QStringLiteral("form1"));
    ProgramWindow* form1 = bare.windows.window(QStringLiteral("form1"));
    trigger(form1, QStringLiteral("Open"));
    trigger(form1, QStringLiteral("Create"));
    settle();
    EXPECT_EQ(bare.windows.loadedIds(), QStringList{QStringLiteral("form1")});
    EXPECT_EQ(bare.programEnds, 0);
}

TEST_F(StartWindowTest, CtrlOOpensTheBrowser) {
    registerNext("form3");
    ProgramWindow* form1 = start();
    QTest::keyClick(form1, Qt::Key_O, Qt::ControlModifier);
    waitUntilActive(t.windows, QStringLiteral("form3"));
    EXPECT_FALSE(t.windows.isLoaded(QStringLiteral("form1")));
}

} // namespace
} // namespace dayvell::test
