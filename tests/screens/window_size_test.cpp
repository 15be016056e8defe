// SPDX-License-Identifier: GPL-3.0-or-later
// No text a user can type, nor any a book or a folder holds, makes a window larger than the screen: every window
// that shows such a text is opened with absurdly long ones, and its frame must fit the screen's available area.
// Under Xvfb the screen is 1280x1024, as a small laptop's.
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/Numbers.h"
#include "core/TempDir.h"
#include "screens/Windows.h"

#include <QLineEdit>
#include <QScreen>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace dayvell::test {
namespace {

const QString kCover = QStringLiteral("Form5");

// As long as a folder's name may be on the usual file systems (255 bytes), of the widest letter.
const std::string kLongFolderName(250, 'W');

std::string Words(int count) {
    std::string words;
    for (int i = 0; i < count; ++i)
        words += "Wonderful" + std::to_string(i) + " ";
    return words;
}

class WindowSizeTest : public ::testing::Test {
protected:
    WindowSizeTest() {
        RegisterWindows(t.services);
        // Two levels of long folder names: a path of over 500 characters.
        longFolder = dir.path() / kLongFolderName / kLongFolderName;
        std::filesystem::create_directories(longFolder / kLongFolderName);
    }

    // Opens the book `plan` describes, written in `folder`, and shows its cover window.
    void openBook(const std::filesystem::path& folder, const TestBook& plan) {
        const std::string bookdir = folder.string() + "/";
        WriteBook(bookdir, "diary.dvl", plan);
        t.state.bookdir = bookdir;
        t.state.bookname = "diary.dvl";
        t.state.password = plan.password;
        t.state.passwordok = 1;
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
    }
    ProgramWindow* openFromCover(const char* item, const QString& id) {
        trigger(t.windows.window(kCover), QString::fromLatin1(item));
        waitUntilActive(t.windows, id);
        return t.windows.window(id);
    }

    static void expectFitsScreen(const ProgramWindow* window) {
        settle();
        const QRect available = window->screen()->availableGeometry();
        const QRect frame = window->frameGeometry();
        EXPECT_LE(frame.width(), available.width()) << window->objectName().toStdString();
        EXPECT_LE(frame.height(), available.height()) << window->objectName().toStdString();
        EXPECT_TRUE(available.contains(frame))
            << window->objectName().toStdString() << " at " << frame.x() << "," << frame.y() << " " << frame.width()
            << "x" << frame.height() << " on a screen of " << available.width() << "x" << available.height();
    }

    TestServices t;
    TempDir dir;
    std::filesystem::path longFolder;
};

TEST_F(WindowSizeTest, TheBooksWindowsFitTheScreenWhateverTheBookHolds) {
    struct Case {
        const char* what;
        std::string coverName;
        std::string lastAccess;
    };
    const Case cases[] = {
        {"a cover name of 172 letters without a space", std::string(172, 'W'), "12/1/2026"},
        {"a cover name of many words", Words(200), "12/1/2026"},
        {"a cover name of thousands of letters", std::string(5000, 'M'), "12/1/2026"},
        {"a stored date of last access that is no date", "Short", std::string(400, 'W')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestBook plan;
        plan.password = "key1";
        plan.coverName = c.coverName;
        plan.lastAccess = c.lastAccess;
        plan.flags = "0000000";
        plan.pages = 2;
        std::filesystem::remove(longFolder / "diary.dvl");
        openBook(longFolder, plan);
        expectFitsScreen(t.windows.window(kCover));
        for (const auto& [item, id] :
             {std::pair{"enterpage", "Form2"}, std::pair{"cover", "Form10"}, std::pair{"changefile", "Form12"},
              std::pair{"movecopy", "Form9"}, std::pair{"security", "Form6"}, std::pair{"changepass", "newpassword"}}) {
            SCOPED_TRACE(id);
            expectFitsScreen(openFromCover(item, QString::fromLatin1(id)));
            t.windows.unload(QString::fromLatin1(id));
            t.windows.activate(kCover);
            waitUntilActive(t.windows, kCover);
        }
        t.windows.unloadAll();
        settle();
    }
}

TEST_F(WindowSizeTest, ThePageWindowsFitTheScreenWhateverAPageHolds) {
    // A book written elsewhere may hold anything in a page's stamps.
    const std::vector<Page> pages = {
        {PageNumberText(1), std::string(300, 'W'), std::string(300, 'M'), std::string(2000, 'W')},
        {std::string(200, '9'), "Saturday, " + std::string(200, 'W'), "1:46:33 PM", Words(500)},
    };
    Diary diary(pages, "0000000", std::string(300, 'W'));
    diary.open(t.state);
    t.windows.show(kCover);
    waitUntilActive(t.windows, kCover);

    for (int gotopage : {1, 2}) {
        SCOPED_TRACE(gotopage);
        t.state.gotopage = gotopage;
        ProgramWindow* viewer = openFromCover("view", QStringLiteral("Form7"));
        expectFitsScreen(viewer);
        t.windows.unload(QStringLiteral("Form7"));
        t.windows.activate(kCover);
        waitUntilActive(t.windows, kCover);
    }
    t.state.gotopage = 0;

    ProgramWindow* search = openFromCover("search", QStringLiteral("Form8"));
    QTest::keyClicks(find<QLineEdit>(search, QStringLiteral("Text1")), QStringLiteral("W"));
    click(search, QStringLiteral("Command2"));
    expectFitsScreen(search);
    t.windows.unloadAll();
    settle();
}

// The export and import windows start in the book's folder: its long name, and files of long names to import.
TEST_F(WindowSizeTest, TheExportAndImportWindowsFitTheScreenInAFolderWithAVeryLongName) {
    TestBook plan;
    plan.flags = "0000000";
    plan.pages = 1;
    WriteFileBytes((longFolder / (std::string(245, 'W') + ".json")).string(), "{}");
    WriteFileBytes((longFolder / (std::string(246, 'W') + ".txt")).string(), "A page");
    openBook(longFolder, plan);

    t.dialogs.expectInput("Please enter your password.", plan.password, "Password required.");
    ProgramWindow* form13 = openFromCover("exportbook", QStringLiteral("Form13"));
    expectFitsScreen(form13);
    // A file name as long as may be, typed.
    QTest::keyClicks(find<QLineEdit>(form13, QStringLiteral("Text1")), QString(250, QLatin1Char('W')));
    expectFitsScreen(form13);
    t.windows.unload(QStringLiteral("Form13"));
    t.windows.activate(kCover);
    waitUntilActive(t.windows, kCover);

    expectFitsScreen(openFromCover("importpages", QStringLiteral("Form14")));
    EXPECT_TRUE(t.dialogs.allAnswered());
    t.windows.unloadAll();
    settle();
}

// The folder lists, the wizard's path and the browser's files, in a folder whose name is as long as may be.
TEST_F(WindowSizeTest, TheFolderWindowsFitTheScreenInAFolderWithAVeryLongName) {
    TestBook plan;
    plan.coverName = "Short";
    WriteBook(longFolder.string() + "/", std::string(8, 'W') + ".dvl", plan);
    for (const char* id : {"form3", "Form4"}) {
        SCOPED_TRACE(id);
        t.state.bookdir = longFolder.string();
        t.windows.show(QString::fromLatin1(id));
        waitUntilActive(t.windows, QString::fromLatin1(id));
        expectFitsScreen(t.windows.window(QString::fromLatin1(id)));
        t.windows.unloadAll();
        settle();
    }
}

} // namespace
} // namespace dayvell::test
