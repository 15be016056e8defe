// SPDX-License-Identifier: GPL-3.0-or-later
// Where windows open and which stays above which, as a window manager shows them. These cases run only on a real X
// server with a window manager (the _xvfb run starts openbox); elsewhere they are skipped, saying why.
#include "gui/BookSteps.h"
#include "gui/BoxAnswerer.h"
#include "gui/PageSteps.h"
#include "gui/WindowManager.h"

#include "core/ErrorReporter.h"
#include "platform/QtDialogs.h"
#include "screens/Windows.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace dayvell::test {
namespace {

const QString kStart = QStringLiteral("form1");
const QString kCover = QStringLiteral("Form5");
const QString kPrompt = QStringLiteral("frmpassword");

class WindowPlacementTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string missing = EnsureWindowManager();
        if (!missing.empty())
            GTEST_SKIP() << missing;
        RegisterWindows(services);
    }
    void TearDown() override {
        t.windows.unloadAll();
        settle();
    }

    ProgramWindow* window(const QString& id) const { return t.windows.window(id); }
    // Shows `id` away from the middle of the screen, so that a window centred on the screen is told apart from one
    // centred over it, yet far enough from the edges for a larger window to be centred over it whole.
    ProgramWindow* showOffCentre(const QString& id) {
        t.windows.show(id);
        waitUntilActive(t.windows, id);
        ProgramWindow* shown = window(id);
        EXPECT_TRUE(WaitUntilPlaced(*shown));
        QRect moved = shown->frameGeometry();
        moved.moveCenter(shown->screen()->availableGeometry().center() + QPoint(120, 90));
        shown->move(moved.topLeft());
        QTest::qWait(200);
        return shown;
    }
    // The position of `id` among the windows the window manager stacks, the lowest first.
    std::ptrdiff_t stackedAt(const QString& id) const {
        const std::vector<WId> order = StackingOrder();
        return std::find(order.begin(), order.end(), window(id)->winId()) - order.begin();
    }

    TestServices t;
    // Real boxes, so that they are stacked by the window manager too.
    QtDialogs dialogs{t.windows};
    Services services{t.windows, dialogs, t.clock, t.disks, t.printer, t.progress, t.state};
    BoxAnswerer answerer;
};

TEST_F(WindowPlacementTest, NewWindowsOpenCentredOverTheWindowTheyWereOpenedFrom) {
    struct Case {
        QString from;
        const char* item;
        QString opens;
    };
    const Case cases[] = {
        {kCover, "enterpage", QStringLiteral("Form2")},
        {kCover, "view", QStringLiteral("Form7")},
        {kCover, "search", QStringLiteral("Form8")},
        {kStart, "Create", QStringLiteral("Form4")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opens.toStdString());
        Diary diary({StampedPage(1, "First")}, "0000000");
        diary.open(t.state);
        t.disks.programDir = std::filesystem::path(diary.path()).parent_path().string();
        ProgramWindow* from = showOffCentre(c.from);
        const QRect opener = from->frameGeometry();
        trigger(from, QString::fromLatin1(c.item));
        waitUntilActive(t.windows, c.opens);
        ProgramWindow* opened = window(c.opens);
        ASSERT_TRUE(WaitUntilPlaced(*opened));
        const QRect placed = opened->frameGeometry();
        const QPoint offset = placed.center() - opener.center();
        // Within a few pixels: the frame of a window not yet shown is estimated from the other's.
        EXPECT_LE(offset.manhattanLength(), 12)
            << "opened at " << placed.x() << "," << placed.y() << " over " << opener.x() << "," << opener.y();
        EXPECT_TRUE(opened->screen()->availableGeometry().contains(placed));
        t.windows.unloadAll();
        settle();
    }
}

TEST_F(WindowPlacementTest, ThePasswordPromptStaysAboveTheCoverAfterAnErrorAndAClickOnTheCover) {
    Diary diary({StampedPage(1, "First")}, "0001000");
    diary.open(t.state);
    showOffCentre(kCover);
    trigger(window(kCover), QStringLiteral("view"));
    waitUntilActive(t.windows, kPrompt);
    ASSERT_TRUE(WaitUntilPlaced(*window(kPrompt)));
    QTest::keyClicks(find<QLineEdit>(window(kPrompt), QStringLiteral("txtPassword")),
                     QString::fromLatin1(kDiaryPassword));

    // The book is gone: the prompt reports it and stays open.
    std::filesystem::rename(diary.path(), diary.path() + ".away");
    std::ptrdiff_t boxAt = -1, promptUnderBox = -1;
    answerer.then([&](QDialog& box) {
        QTest::qWait(300);
        const std::vector<WId> order = StackingOrder();
        boxAt = std::find(order.begin(), order.end(), box.winId()) - order.begin();
        promptUnderBox = stackedAt(kPrompt);
        box.accept();
    });
    QTest::keyClick(find<QLineEdit>(window(kPrompt), QStringLiteral("txtPassword")), Qt::Key_Return);
    settle();
    EXPECT_EQ(answerer.answered(), 1);
    EXPECT_GT(boxAt, promptUnderBox) << "the error box above the prompt it belongs to";
    ASSERT_TRUE(t.windows.isLoaded(kPrompt));
    QTest::qWait(300);
    EXPECT_GT(stackedAt(kPrompt), stackedAt(kCover)) << "after the error";

    // The cover's menus stay usable while the prompt is open; using them does not bury the prompt.
    t.windows.activate(kCover);
    waitUntilActive(t.windows, kCover);
    QTest::qWait(300);
    EXPECT_GT(stackedAt(kPrompt), stackedAt(kCover)) << "after the cover was made active";
    std::filesystem::rename(diary.path() + ".away", diary.path());
}

} // namespace
} // namespace dayvell::test
