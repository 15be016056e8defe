// SPDX-License-Identifier: GPL-3.0-or-later
// A person's first book, through the windows only: create it, open it, look at its cover, quit, open it again.
#include "gui/BookSteps.h"

#include "core/TempDir.h"
#include "screens/Windows.h"

#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <filesystem>

namespace dayvell::test {
namespace {

class FirstBookTest : public ::testing::Test {
protected:
    FirstBookTest() {
        RegisterWindows(t.services);
        std::filesystem::create_directories(dir.path() / "books");
        t.disks.programDir = dir.path().string();
    }

    ProgramWindow* active(const char* id) {
        waitUntilActive(t.windows, QString::fromLatin1(id));
        return t.windows.window(QString::fromLatin1(id));
    }
    void enterPassword(const QString& password) {
        ProgramWindow* prompt = active("frmpassword");
        QTest::keyClicks(find<QLineEdit>(prompt, QStringLiteral("txtPassword")), password);
        QTest::keyClick(find<QLineEdit>(prompt, QStringLiteral("txtPassword")), Qt::Key_Return);
    }
    void expectCover(const std::string& lastAccess) {
        ProgramWindow* cover = active("Form5");
        auto text = [&](const char* name) { return find<QLabel>(cover, QString::fromLatin1(name))->text(); };
        EXPECT_EQ(text("Label2"), QStringLiteral("You can put your name here by clicking on Maintenance."));
        EXPECT_EQ(text("Label8"), QStringLiteral("0"));
        EXPECT_EQ(text("Label10"), QStringLiteral(" 0"));
        EXPECT_EQ(text("Label11"), QString::fromStdString(lastAccess));
        EXPECT_EQ(cover->windowTitle(), QString::fromStdString(book));
    }

    TestServices t;
    TempDir dir;
    const std::string book = (dir.path() / "books" / "diary.dvl").string();
};

TEST_F(FirstBookTest, CreateOpenQuitAndOpenAgain) {
    t.windows.show(QStringLiteral("form1"));
    trigger(active("form1"), QStringLiteral("Create"));

    ProgramWindow* wizard = active("Form4");
    doubleClickLine(*find<QListWidget>(wizard, QStringLiteral("Dir1")), QStringLiteral("books"));
    t.dialogs.expectInput("Enter a name for your dayvell (1-8 characters)", "diary", "Dayvell Name");
    click(wizard, QStringLiteral("Command2"));
    t.dialogs.expectInput("Please enter a password 4-10 characters.", "Secret1");
    click(wizard, QStringLiteral("Command3"));
    t.dialogs.expectMessage("Do you wish to open your dayvell now?", Answer::Yes, "Open your dayvell?");
    click(wizard, QStringLiteral("Command4"));

    enterPassword(QStringLiteral("Secret1"));
    expectCover("12/5/2026");

    // The next day.
    t.clock = SystemClock(QLocale(QLocale::English, QLocale::UnitedStates),
                          [] { return QDateTime(QDate(2026, 12, 6), QTime(9, 0, 0)); });
    t.dialogs.expectMessage("Sure you want to quit?", Answer::Yes, "Quit Dayvell?");
    trigger(active("Form5"), QStringLiteral("quit"));
    ProgramWindow* start = active("form1");
    EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("form1")});
    EXPECT_EQ(Book(book, "Secret1").readHeader().lastAccess, "12/6/2026");
    EXPECT_TRUE(t.state.password.empty());

    trigger(start, QStringLiteral("Open"));
    ProgramWindow* browser = active("form3");
    doubleClickLine(*find<QListWidget>(browser, QStringLiteral("Dir1")), QStringLiteral("books"));
    clickLine(*find<QListWidget>(browser, QStringLiteral("File1")), QStringLiteral("diary.dvl"));
    click(browser, QStringLiteral("Command1"));
    enterPassword(QStringLiteral("Secret1"));
    expectCover("12/6/2026");
    EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("Form5")});
    EXPECT_EQ(t.programEnds, 0);
}

} // namespace
} // namespace dayvell::test
