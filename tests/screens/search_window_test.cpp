// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "screens/Windows.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace dayvell::test {
namespace {

const QString kSearch = QStringLiteral("Form8");
const QString kViewer = QStringLiteral("Form7");
const QString kCover = QStringLiteral("Form5");

const std::vector<Page> kPages = {
    {" 1", "Friday, 12/4/2026", "8:15:00 AM", "Running late again; using the bus."},
    {" 2", "Saturday, 12/5/2026", "1:46:33 PM", "Line one\r\nLine two\r\n\r\nLast line"},
    {" 3", "Saturday, 12/5/2026", "1:46:33 PM", "Dear diary, today was a long day"},
    {" 4", "Thursday, 12/10/2026", "11:59:59 PM", "rain rain rain rain rain"},
};

// The result lines of those pages: number, four blanks, date line, a blank, time, two blanks, 25 characters of
// text, each line break of them shown as a pilcrow.
const QString kLine1 = QStringLiteral(" 1    Friday, 12/4/2026 8:15:00 AM  Running late again; using");
const QString kLine2 =
    QStringLiteral(" 2    Saturday, 12/5/2026 1:46:33 PM  Line one \u00B6 Line two \u00B6  \u00B6 Las");
const QString kLine3 = QStringLiteral(" 3    Saturday, 12/5/2026 1:46:33 PM  Dear diary, today was a l");
const QString kLine4 = QStringLiteral(" 4    Thursday, 12/10/2026 11:59:59 PM  rain rain rain rain rain");

class SearchWindowTest : public ::testing::Test {
protected:
    SearchWindowTest() {
        RegisterWindows(t.services);
        RegisterStandIn(t, kCover, coverActivations);
    }

    ProgramWindow* open(const Diary& diary) {
        diary.open(t.state);
        t.windows.show(kSearch);
        waitUntilActive(t.windows, kSearch);
        return window();
    }
    ProgramWindow* window() const { return t.windows.window(kSearch); }
    QListWidget* list() const { return find<QListWidget>(window(), QStringLiteral("List1")); }
    QStringList lines() const {
        QStringList texts;
        for (int i = 0; i < list()->count(); ++i)
            texts << list()->item(i)->text();
        return texts;
    }
    bool shown(const char* name) const { return find<QLabel>(window(), QString::fromLatin1(name))->isVisible(); }
    void search(const QString& text) {
        auto* box = find<QLineEdit>(window(), QStringLiteral("Text1"));
        box->clear();
        typeText(box, text);
        click(window(), QStringLiteral("Command2"));
    }

    TestServices t;
    int coverActivations = 0;
};

TEST_F(SearchWindowTest, ControlsCarryTheirCaptionsAndTipsAndTheResultLabelsStartHidden) {
    Diary diary(kPages);
    ProgramWindow* form8 = open(diary);
    EXPECT_EQ(form8->windowTitle(), "Search dayvell pages");
    struct Case {
        const char* name;
        QString caption, tip;
    };
    const Case labels[] = {
        {"Label4", "Type text to search for:", ""},
        {"Label1", "Type what you wish to search for , then press \"Begin Search\".", ""},
        {"Label5", "Search results: (Double click on any result to see that page.)", ""},
        {"Label6", "Page #", ""},
        {"Label9", "Page date and Time", ""},
        {"Label10", "Partial page content", ""},
        {"Label2", "Sorry, no matches were found.", ""},
        {"Label3", "Found", "Number of matches found"},
        {"Label7", "Match", ""},
        {"Label8", "es", ""},
    };
    for (const Case& c : labels) {
        auto* label = find<QLabel>(form8, QString::fromLatin1(c.name));
        EXPECT_EQ(label->text(), c.caption) << c.name;
        EXPECT_EQ(label->toolTip(), c.tip) << c.name;
    }
    const Case buttons[] = {
        {"Command2", "Begin search", "Press to start the search"},
        {"Command1", "Cancel", "Get me out of here!"},
        {"Command3", "Help", "More info"},
    };
    for (const Case& c : buttons) {
        auto* button = find<QPushButton>(form8, QString::fromLatin1(c.name));
        EXPECT_EQ(Caption(button->text()), c.caption) << c.name;
        EXPECT_EQ(button->toolTip(), c.tip) << c.name;
    }
    EXPECT_EQ(find<QLineEdit>(form8, QStringLiteral("Text1"))->toolTip(), "Enter text here");
    EXPECT_EQ(list()->toolTip(), "Any matches will be displayed here, double click one to open the page.");
    EXPECT_FALSE(list()->isSortingEnabled());
    for (const char* name : {"Label2", "Label3", "Label7", "Label8"})
        EXPECT_FALSE(shown(name)) << name;
}

TEST_F(SearchWindowTest, ListsOneLinePerMatchingPageInPageOrderAndCountsThem) {
    struct Case {
        QString text;
        QStringList lines;
    };
    const Case cases[] = {
        {"zebra", {}},
        {"Dear", {kLine3}},
        {"DEAR", {kLine3}},
        {"dEaR dIaRy", {kLine3}},
        {"ing", {kLine1}},
        {"rain", {kLine4}},         // five times on one page: one line
        {"12/5", {kLine2, kLine3}}, // in the date line
        {"12/10", {kLine4}},
        {"pmdear", {kLine3}},           // from the time into the text
        {" 3sat", {kLine3}},            // from the number into the date line
        {"20261:46", {kLine2, kLine3}}, // from the date line into the time
        {"last line", {kLine2}},        // found beyond the 25 characters shown, too
        {"bus.", {kLine1}},
        {"day", {kLine1, kLine2, kLine3, kLine4}}, // every weekday name
        {"", {kLine1, kLine2, kLine3, kLine4}},
    };
    Diary diary(kPages);
    open(diary);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        search(c.text);
        EXPECT_EQ(lines(), c.lines);
        const auto matches = c.lines.size();
        EXPECT_EQ(shown("Label2"), matches == 0);
        EXPECT_EQ(shown("Label3"), matches > 0);
        EXPECT_EQ(shown("Label7"), matches > 0);
        EXPECT_EQ(shown("Label8"), matches > 1);
        EXPECT_EQ(find<QLabel>(window(), QStringLiteral("Label3"))->text(), QStringLiteral("Found %1").arg(matches));
    }
    EXPECT_TRUE(t.dialogs.shown().empty());
}

TEST_F(SearchWindowTest, TextNoBookCanHoldFindsNothingWithoutAnError) {
    Diary diary(kPages);
    open(diary);
    search(QStringLiteral("\u0434\u0435\u043D\u044C"));
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_TRUE(shown("Label2"));
    EXPECT_TRUE(t.dialogs.shown().empty());
}

TEST_F(SearchWindowTest, DoubleClickingAResultOpensTheViewerAtItsPage) {
    Diary diary(kPages);
    ProgramWindow* form8 = open(diary);
    // Enter in the search box begins the search too.
    typeText(find<QLineEdit>(form8, QStringLiteral("Text1")), "a");
    QTest::keyClick(find<QLineEdit>(form8, QStringLiteral("Text1")), Qt::Key_Return);
    ASSERT_EQ(lines().size(), 4);
    doubleClickLine(*list(), kLine3.trimmed());

    waitUntilActive(t.windows, kViewer);
    EXPECT_FALSE(t.windows.isLoaded(kSearch));
    EXPECT_EQ(t.state.gotopage, 3);
    ProgramWindow* form7 = t.windows.window(kViewer);
    EXPECT_EQ(find<QLabel>(form7, QStringLiteral("Label1"))->text(), " 3 of 4");
    EXPECT_TRUE(find<QPushButton>(form7, QStringLiteral("Command1"))->isVisible());

    // Search again: a new search forgets the page chosen until another line is double-clicked.
    click(form7, QStringLiteral("Command1"));
    waitUntilActive(t.windows, kSearch);
    EXPECT_EQ(t.state.gotopage, 3);
    search("zebra");
    EXPECT_EQ(t.state.gotopage, 0);
}

TEST_F(SearchWindowTest, EnterOnAChosenResultOpensTheViewerAtItsPage) {
    Diary diary(kPages);
    open(diary);
    search("a");
    ASSERT_EQ(lines().size(), 4);
    clickLine(*list(), kLine1.trimmed());
    QTest::keyClick(list(), Qt::Key_Down);
    QTest::keyClick(list(), Qt::Key_Return);
    waitUntilActive(t.windows, kViewer);
    EXPECT_EQ(t.state.gotopage, 2);
    EXPECT_EQ(find<QLabel>(t.windows.window(kViewer), QStringLiteral("Label1"))->text(), " 2 of 4");
}

TEST_F(SearchWindowTest, TheColumnCaptionsStandOverTheirColumns) {
    Diary diary(kPages);
    ProgramWindow* form8 = open(diary);
    search("rain");
    ASSERT_EQ(lines(), QStringList{kLine4});
    settle();
    // Where the list draws a character of the line: after its frame and the margin the style gives item text.
    const QFontMetrics metrics(list()->font());
    const int textStart = list()->viewport()->mapTo(form8, QPoint(0, 0)).x() +
                          list()->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list()) + 1;
    const int tolerance = metrics.horizontalAdvance(QLatin1Char(' ')) / 2;
    struct Case {
        const char* caption;
        QString startsAt;
    };
    const Case cases[] = {{"Label6", " 4"}, {"Label9", "Thursday"}, {"Label10", "rain"}};
    for (const Case& c : cases) {
        const int expected = textStart + metrics.horizontalAdvance(kLine4.left(kLine4.indexOf(c.startsAt)));
        const int x = find<QLabel>(form8, QString::fromLatin1(c.caption))->mapTo(form8, QPoint(0, 0)).x();
        EXPECT_NEAR(x, expected, tolerance) << c.caption;
    }
}

TEST_F(SearchWindowTest, DoubleClickingWithNoLineChosenOpensTheViewerAtTheLastPage) {
    Diary diary(kPages);
    open(diary);
    search("zebra");
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    waitUntilActive(t.windows, kViewer);
    EXPECT_EQ(t.state.gotopage, 0);
    ProgramWindow* form7 = t.windows.window(kViewer);
    EXPECT_EQ(find<QLabel>(form7, QStringLiteral("Label1"))->text(), " 4 of 4");
    EXPECT_FALSE(find<QPushButton>(form7, QStringLiteral("Command1"))->isVisible());
}

TEST_F(SearchWindowTest, CancelOrEscReturnsToTheCoverAndKeepsThePageChosen) {
    struct Case {
        const char* what;
        std::function<void(ProgramWindow*)> leave;
    };
    const Case cases[] = {
        {"Cancel", [](ProgramWindow* w) { click(w, QStringLiteral("Command1")); }},
        {"Esc in the search text",
         [](ProgramWindow* w) { QTest::keyClick(find<QLineEdit>(w, QStringLiteral("Text1")), Qt::Key_Escape); }},
        {"Esc in the results",
         [](ProgramWindow* w) {
             auto* results = find<QListWidget>(w, QStringLiteral("List1"));
             results->setFocus();
             QTest::keyClick(results, Qt::Key_Escape);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Diary diary(kPages);
        ProgramWindow* form8 = open(diary);
        search("a");
        t.state.gotopage = 2;
        coverActivations = 0;
        c.leave(form8);
        waitUntilActive(t.windows, kCover);
        EXPECT_FALSE(t.windows.isLoaded(kSearch));
        EXPECT_EQ(coverActivations, 1);
        EXPECT_EQ(t.state.gotopage, 2);
        t.windows.unloadAll();
        settle();
    }
}

// Tab into the results puts the focus on their first line without choosing it; Enter there opens that line, the one
// the focus frame shows, and not the last page.
TEST_F(SearchWindowTest, EnterOnTheLineWithTheFocusOpensItEvenWhenNotChosen) {
    Diary diary(kPages);
    ProgramWindow* form8 = open(diary);
    search("a");
    ASSERT_EQ(lines().size(), 4);
    auto* box = find<QLineEdit>(form8, QStringLiteral("Text1"));
    box->setFocus();
    for (int presses = 0; presses < 5 && QApplication::focusWidget() != list(); ++presses)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), list());
    ASSERT_NE(list()->currentItem(), nullptr);
    const int focused = list()->currentRow();
    QTest::keyClick(list(), Qt::Key_Return);
    waitUntilActive(t.windows, kViewer);
    EXPECT_EQ(t.state.gotopage, focused + 1);
    EXPECT_TRUE(find<QPushButton>(t.windows.window(kViewer), QStringLiteral("Command1"))->isVisible())
        << "Search again";
}

TEST_F(SearchWindowTest, HelpShowsTopicEight) {
    Diary diary(kPages);
    ProgramWindow* form8 = open(diary);
    t.dialogs.expectMessage(HelpText(8), Answer::Ok, "Help");
    click(form8, QStringLiteral("Command3"));
    EXPECT_TRUE(t.windows.isLoaded(kSearch));
}

TEST_F(SearchWindowTest, AFailureEndsTheSearchKeepingTheLinesFoundAndNoCount) {
    struct Case {
        const char* name;
        std::function<void(const Diary&)> damage;
        int code;
        QStringList lines;
    };
    const Case cases[] = {
        {"book file gone", [](const Diary& d) { std::filesystem::remove(d.path()); }, code::FileNotFound, {}},
        {"last record cut short",
         [](const Diary& d) { std::filesystem::resize_file(d.path(), std::filesystem::file_size(d.path()) - 6); },
         code::PastEndOfFile,
         {kLine1, kLine2, kLine3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Diary diary(kPages);
        open(diary);
        search("day");
        c.damage(diary);
        ExpectErrorReport(t.dialogs, c.code);
        search("day");
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(lines(), c.lines);
        for (const char* name : {"Label2", "Label3", "Label7", "Label8"})
            EXPECT_FALSE(shown(name)) << name;
        t.windows.unload(kSearch);
        settle();
    }
}

} // namespace
} // namespace dayvell::test
