// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BoxAnswerer.h"
#include "gui/GuiTest.h"

#include "platform/ProgramWindow.h"
#include "platform/QtDialogs.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace dayvell::test {
namespace {

using Log = std::vector<std::string>;

// A window that writes its activations and hides into a log shared with the test, and runs a test's code as the
// click handler of its Command1.
class ProbeWindow : public ProgramWindow {
public:
    ProbeWindow(Services& services, const QString& id, Log& log) : ProgramWindow(services, id), m_log(log) {
        auto* central = new QWidget(this);
        auto* text = new QLineEdit(central);
        text->setObjectName(QStringLiteral("Text1"));
        auto* button = new QPushButton(QStringLiteral("Go"), central);
        button->setObjectName(QStringLiteral("Command1"));
        button->move(0, 40);
        connect(button, &QPushButton::clicked, this, [this] {
            m_log.push_back(name() + ":click");
            if (onClick)
                onClick();
            m_log.push_back(name() + ":click-end");
        });
        setCentralWidget(central);
        resize(240, 120);
    }

    std::function<void()> onClick;
    std::function<void()> onHide;
    // Whether the window lets itself be closed from outside; it logs each time it is asked.
    bool mayClose = true;

protected:
    void Form_Activate() override { m_log.push_back(name()); }
    bool Form_QueryUnload(Closing how) override {
        m_log.push_back(name() + (how == Closing::Forced ? ":query-forced" : ":query"));
        return mayClose;
    }
    void hideEvent(QHideEvent* event) override {
        m_log.push_back(name() + ":hide");
        if (onHide)
            onHide();
        ProgramWindow::hideEvent(event);
    }

private:
    std::string name() const { return id().toStdString(); }
    Log& m_log;
};

class WindowSystemTest : public ::testing::Test {
protected:
    WindowSystemTest() {
        for (const char* id : {"A", "B", "C"})
            t.windows.registerWindow(QString::fromLatin1(id), [this, id] {
                return std::make_unique<ProbeWindow>(t.services, QString::fromLatin1(id), log);
            });
    }

    ProbeWindow* probe(const char* id) { return static_cast<ProbeWindow*>(t.windows.window(QString::fromLatin1(id))); }
    // Shows a window as a handler would, and waits until it is active everywhere.
    ProbeWindow* showActive(const char* id) {
        t.windows.show(QString::fromLatin1(id));
        waitUntilActive(t.windows, QString::fromLatin1(id));
        return probe(id);
    }
    // Only the activations, without hides and clicks.
    Log activations() const {
        Log only;
        for (const auto& entry : log)
            if (entry.find(':') == std::string::npos)
                only.push_back(entry);
        return only;
    }

    // Before the services: the windows write into it until they are destroyed.
    Log log;
    TestServices t;
};

TEST_F(WindowSystemTest, FirstShowActivatesOnceAfterTheShowingCodeReturns) {
    ProgramWindow* a = t.windows.show(QStringLiteral("A"));
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->isVisible());
    EXPECT_TRUE(t.windows.isLoaded(QStringLiteral("A")));
    EXPECT_EQ(activations(), Log{}) << "activation ran inside the code that showed the window";

    waitUntilActive(t.windows, QStringLiteral("A"));
    settle();
    EXPECT_EQ(activations(), Log{"A"});
}

TEST_F(WindowSystemTest, ShowFromAHandlerActivatesAfterTheHandlerReturns) {
    ProbeWindow* a = showActive("A");
    a->onClick = [&] { t.windows.show(QStringLiteral("B")); };
    find<QPushButton>(a, QStringLiteral("Command1"))->click();
    waitUntilActive(t.windows, QStringLiteral("B"));
    EXPECT_EQ(log, (Log{"A", "A:click", "A:click-end", "B"}));
}

TEST_F(WindowSystemTest, BecomingActiveAgainAfterAnotherWindowRunsActivationAgain) {
    showActive("A");
    showActive("B");
    t.windows.activate(QStringLiteral("A"));
    waitUntilActive(t.windows, QStringLiteral("A"));
    // Showing or clicking the window that is already active is not a change.
    t.windows.show(QStringLiteral("A"));
    t.windows.activate(QStringLiteral("A"));
    settle();
    EXPECT_EQ(activations(), (Log{"A", "B", "A"}));
}

TEST_F(WindowSystemTest, WindowsShownOneAfterAnotherEachActivateInTurnAndTheLastStays) {
    ProbeWindow* a = showActive("A");
    a->onClick = [&] {
        t.windows.show(QStringLiteral("B"));
        t.windows.show(QStringLiteral("C"));
    };
    find<QPushButton>(a, QStringLiteral("Command1"))->click();
    waitUntilActive(t.windows, QStringLiteral("C"));
    EXPECT_EQ(activations(), (Log{"A", "B", "C"}));
}

TEST_F(WindowSystemTest, ClosingAMessageBoxDoesNotActivateTheWindowAgain) {
    QtDialogs dialogs(t.windows);
    BoxAnswerer answerer;
    Log seenByBox;
    answerer.then([&](QDialog& box) {
        seenByBox = activations();
        static_cast<QMessageBox&>(box).button(QMessageBox::Ok)->click();
    });
    ProbeWindow* a = showActive("A");
    a->onClick = [&] {
        t.windows.show(QStringLiteral("B"));
        dialogs.message("Saved.");
    };
    find<QPushButton>(a, QStringLiteral("Command1"))->click();
    waitUntilActive(t.windows, QStringLiteral("B"));
    EXPECT_EQ(answerer.answered(), 1);
    EXPECT_EQ(seenByBox, Log{"A"}) << "B was activated while the handler that showed it still waited for the box";

    // A box over the active window, and the window getting the activation back when it closes.
    answerer.then([](QDialog& box) { static_cast<QMessageBox&>(box).button(QMessageBox::Ok)->click(); });
    probe("B")->onClick = [&] { dialogs.message("Again."); };
    find<QPushButton>(probe("B"), QStringLiteral("Command1"))->click();
    waitUntilActive(t.windows, QStringLiteral("B"));
    settle();
    EXPECT_EQ(activations(), (Log{"A", "B"}));
}

TEST_F(WindowSystemTest, ShowingALoadedWindowKeepsItsInstanceAndContent) {
    ProbeWindow* a = showActive("A");
    QTest::keyClicks(find<QLineEdit>(a, QStringLiteral("Text1")), QStringLiteral("kept"));
    showActive("B");
    EXPECT_EQ(t.windows.show(QStringLiteral("A")), a);
    EXPECT_EQ(find<QLineEdit>(a, QStringLiteral("Text1"))->text(), QStringLiteral("kept"));
}

TEST_F(WindowSystemTest, UnloadDiscardsTheWindowAndTheNextShowStartsAfresh) {
    showActive("B");
    QPointer<ProbeWindow> first = showActive("A");
    find<QLineEdit>(first, QStringLiteral("Text1"))->setText(QStringLiteral("gone"));
    t.windows.unload(QStringLiteral("A"));
    EXPECT_FALSE(t.windows.isLoaded(QStringLiteral("A")));
    EXPECT_EQ(t.windows.window(QStringLiteral("A")), nullptr);
    EXPECT_FALSE(first->isVisible());
    settle();
    EXPECT_TRUE(first.isNull());

    ProbeWindow* second = showActive("A");
    EXPECT_EQ(find<QLineEdit>(second, QStringLiteral("Text1"))->text(), QString());
    EXPECT_EQ(activations(), (Log{"B", "A", "B", "A"})) << "after A went, B took over; a new A activates again";
}

TEST_F(WindowSystemTest, UnloadingAWindowThatIsNotLoadedOrUnknownDoesNothing) {
    showActive("A");
    t.windows.unload(QStringLiteral("B"));
    t.windows.unload(QStringLiteral("nosuch"));
    settle();
    EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("A")});
    EXPECT_EQ(t.programEnds, 0);
    EXPECT_EQ(t.windows.show(QStringLiteral("nosuch")), nullptr);
    EXPECT_FALSE(t.windows.isRegistered(QStringLiteral("nosuch")));
}

TEST_F(WindowSystemTest, UnloadingTheLastWindowEndsTheProgramOnceTheHandlerReturns) {
    ProbeWindow* a = showActive("A");
    // A handler that closes its own window and shows the next one leaves the program running.
    a->onClick = [&] {
        t.windows.unload(QStringLiteral("A"));
        t.windows.show(QStringLiteral("B"));
    };
    find<QPushButton>(a, QStringLiteral("Command1"))->click();
    waitUntilActive(t.windows, QStringLiteral("B"));
    EXPECT_EQ(t.programEnds, 0);

    probe("B")->onClick = [&] { t.windows.unload(QStringLiteral("B")); };
    find<QPushButton>(probe("B"), QStringLiteral("Command1"))->click();
    EXPECT_EQ(t.programEnds, 0) << "ended inside the handler";
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.programEnds == 1; }));
    settle();
    EXPECT_EQ(t.programEnds, 1);
}

TEST_F(WindowSystemTest, TheCloseBoxUnloadsTheWindowAndRunsNoneOfItsHandlers) {
    showActive("A");
    ProbeWindow* b = showActive("B");
    log.clear();
    b->close();
    EXPECT_FALSE(t.windows.isLoaded(QStringLiteral("B")));
    waitUntilActive(t.windows, QStringLiteral("A"));
    // The closing window is only asked whether it may close; only the window left behind reacts: it is the active
    // window again.
    EXPECT_EQ(log, (Log{"B:query", "B:hide", "A"}));

    probe("A")->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.programEnds == 1; }));
}

TEST_F(WindowSystemTest, TheCloseBoxAsksTheWindowFirstAndLeavesItOpenWhenItSaysSo) {
    showActive("A");
    ProbeWindow* b = showActive("B");
    log.clear();
    b->mayClose = false;
    b->close();
    EXPECT_TRUE(t.windows.isLoaded(QStringLiteral("B")));
    EXPECT_TRUE(b->isVisible());
    b->mayClose = true;
    b->close();
    EXPECT_FALSE(t.windows.isLoaded(QStringLiteral("B")));
    EXPECT_EQ(log, (Log{"B:query", "B:query", "B:hide"}));
}

TEST_F(WindowSystemTest, QueryUnloadAllAsksFromTheLastLoadedAndStopsAtTheFirstWindowThatStays) {
    showActive("B");
    showActive("A");
    showActive("C");
    log.clear();
    EXPECT_TRUE(t.windows.queryUnloadAll(ProgramWindow::Closing::CanBeCalledOff));
    EXPECT_EQ(log, (Log{"C:query", "A:query", "B:query"}));

    log.clear();
    probe("A")->mayClose = false;
    EXPECT_FALSE(t.windows.queryUnloadAll(ProgramWindow::Closing::Forced));
    EXPECT_EQ(log, (Log{"C:query-forced", "A:query-forced"})) << "asking closes nothing by itself";
    EXPECT_EQ(t.windows.loadedIds(), (QStringList{"B", "A", "C"}));
    EXPECT_TRUE(t.windows.queryUnload(QStringLiteral("nosuch"), ProgramWindow::Closing::Forced));
}

TEST_F(WindowSystemTest, WhenTheActiveWindowGoesTheOneActiveBeforeItTakesOver) {
    showActive("A");
    showActive("C");
    showActive("B");
    t.windows.activate(QStringLiteral("A"));
    waitUntilActive(t.windows, QStringLiteral("A"));
    // Load order A C B, activation order C B A: B, not C, is the one to come back to.
    t.windows.unload(QStringLiteral("A"));
    waitUntilActive(t.windows, QStringLiteral("B"));
    EXPECT_EQ(activations(), (Log{"A", "C", "B", "A", "B"}));
}

TEST_F(WindowSystemTest, UnloadAllGoesFromTheLastLoadedToTheFirstAndIgnoresCallsWhileRunning) {
    showActive("B");
    showActive("A");
    showActive("C");
    t.windows.activate(QStringLiteral("B"));
    waitUntilActive(t.windows, QStringLiteral("B"));
    EXPECT_EQ(t.windows.loadedIds(), (QStringList{"B", "A", "C"})) << "load order, not activation order";
    log.clear();
    probe("A")->onHide = [&] { t.windows.unloadAll(); };

    t.windows.unloadAll();
    EXPECT_EQ(log, (Log{"C:hide", "A:hide", "B:hide"}));
    EXPECT_TRUE(t.windows.loadedIds().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.programEnds == 1; }));
    EXPECT_EQ(activations(), Log{}) << "no window is left to activate";
}

} // namespace
} // namespace dayvell::test
