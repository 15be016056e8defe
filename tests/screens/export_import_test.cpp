// SPDX-License-Identifier: GPL-3.0-or-later
// The export and import windows, driven as the user drives them, from the cover window's menu to the files.
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/Charset.h"
#include "core/PdfReading.h"
#include "core/Purposes.h"
#include "platform/DirList.h"
#include "screens/Windows.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStandardItemModel>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace dayvell::test {
namespace {

const QString kCover = QStringLiteral("Form5");
const QString kExport = QStringLiteral("Form13");
const QString kImport = QStringLiteral("Form14");
constexpr const char* kPasswordQuestion = "Please enter your password.";

std::string DataFile(const std::string& name) {
    const char* dir = std::getenv("DAYVELL_TEST_DATA");
    return std::string(dir ? dir : "tests/data") + "/" + name;
}

// What the import asks about the jrnl fixture's second entry: its em dash is beyond this book's password.
const std::string kSkipEntry2 =
    "The page from jrnl-export.json (entry 2), dated Saturday, 3/4/2023 6:40:00 PM cannot be stored in this "
    "dayvell.\r\nIt holds characters that this dayvell's password cannot carry: \x97.\r\n\r\nSkip this page and "
    "import the others? No stops the import: nothing is written.";

const std::vector<Page> kPages = {StampedPage(1, "First page"), StampedPage(2, "Second\r\npage"),
                                  StampedPage(3, "Third page")};

class ExportImportTest : public ::testing::Test {
protected:
    ExportImportTest() : diary(kPages) {
        RegisterWindows(t.services);
        // A text file is dated from its modification time, read in local time: the tests fix the zone.
        setenv("TZ", "UTC", 1);
        tzset();
    }

    std::string folder() const { return std::filesystem::path(diary.path()).parent_path().string() + "/"; }

    ProgramWindow* openCover() {
        diary.open(t.state);
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
        return t.windows.window(kCover);
    }
    // From the cover window's menu, as the user goes: the export asks for the password first.
    ProgramWindow* openExport() {
        ProgramWindow* cover = openCover();
        t.dialogs.expectInput(kPasswordQuestion, kDiaryPassword, "Password required.");
        trigger(cover, QStringLiteral("exportbook"));
        waitUntilActive(t.windows, kExport);
        EXPECT_TRUE(t.dialogs.allAnswered());
        return t.windows.window(kExport);
    }
    ProgramWindow* openImport() {
        trigger(openCover(), QStringLiteral("importpages"));
        waitUntilActive(t.windows, kImport);
        return t.windows.window(kImport);
    }
    QComboBox* combo1() const { return find<QComboBox>(t.windows.window(kExport), QStringLiteral("Combo1")); }
    QLineEdit* text1() const { return find<QLineEdit>(t.windows.window(kExport), QStringLiteral("Text1")); }
    QListWidget& file1() const { return *find<QListWidget>(t.windows.window(kImport), QStringLiteral("File1")); }
    void chooseFormat(int downs) {
        combo1()->setFocus();
        for (int i = 0; i < downs; ++i)
            QTest::keyClick(combo1(), Qt::Key_Down);
    }
    void typeName(const QString& name) {
        text1()->selectAll();
        QTest::keyClick(text1(), Qt::Key_Backspace);
        QTest::keyClicks(text1(), name);
    }
    std::vector<Page> pagesOfBook() const {
        std::vector<Page> pages;
        Book book(diary.path(), kDiaryPassword);
        book.forEachPage([&](std::int64_t, const PageView& r) {
            pages.push_back(PageOf(r));
            return true;
        });
        return pages;
    }
    std::string exportedMessage(const std::string& name) const {
        return "Your dayvell was exported to " + folder() + name +
               ".\r\n\r\nThis file is not protected by your password: keep it somewhere safe.";
    }
    // Exports in the format `downs` steps down the list, whose file name is `name`, and waits for the cover window.
    void exportAs(int downs, const std::string& name) {
        openExport();
        chooseFormat(downs);
        ASSERT_EQ(text1()->text().toStdString(), name);
        t.dialogs.expectMessage(exportedMessage(name), Answer::Ok, "Export complete");
        click(t.windows.window(kExport), QStringLiteral("Command1"));
        waitUntilActive(t.windows, kCover);
    }

    TestServices t;
    Diary diary;
};

TEST_F(ExportImportTest, ExportAsksForThePasswordInForceWhateverTheFlagsSay) {
    ProgramWindow* cover = openCover();
    struct Case {
        const char* what;
        std::string typed;
        bool refused;
    };
    const Case cases[] = {
        {"cancelled", "", false},
        {"in other letter case", "KEY1", true},
        {"another password", "key2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        t.dialogs.expectInput(kPasswordQuestion, c.typed, "Password required.");
        if (c.refused)
            t.dialogs.expectMessage("Incorrect password. Export cancelled.", Answer::Ok, "");
        trigger(cover, QStringLiteral("exportbook"));
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_FALSE(t.windows.isLoaded(kExport));
    }
    t.dialogs.expectInput(kPasswordQuestion, kDiaryPassword, "Password required.");
    trigger(cover, QStringLiteral("exportbook"));
    waitUntilActive(t.windows, kExport);
}

TEST_F(ExportImportTest, TheExportWindowSaysTheFileIsNotProtectedAndOffersEveryFormat) {
    ProgramWindow* form13 = openExport();
    auto* warning = find<QLabel>(form13, QStringLiteral("Label2"));
    EXPECT_TRUE(warning->isVisible());
    EXPECT_EQ(warning->text(), "The exported file is NOT protected by your password: anyone who can open the file "
                               "can read every page.");
    const QStringList expected = {"Plain text (.txt)", "Markdown (.md)", "JSON (.json)", "Web page (HTML) (.html)",
                                  "PDF, laid out as printed (.pdf)"};
    QStringList items;
    auto* model = qobject_cast<QStandardItemModel*>(combo1()->model());
    for (int i = 0; i < combo1()->count(); ++i) {
        items << combo1()->itemText(i);
        EXPECT_TRUE(model->item(i)->isEnabled()) << items.back().toStdString();
    }
    EXPECT_EQ(items, expected);
    EXPECT_EQ(text1()->text(), "diary.txt");
    EXPECT_EQ(find<DirList>(form13, QStringLiteral("Dir1"))->path().toStdString() + "/", folder());

    // The name follows the format.
    const QString names[] = {"diary.md", "diary.json", "diary.html", "diary.pdf", "diary.pdf"};
    for (const QString& name : names) {
        chooseFormat(1);
        EXPECT_EQ(text1()->text(), name);
    }
    // A name of the user's own keeps its own ending.
    typeName(QStringLiteral("notes"));
    chooseFormat(0);
    QTest::keyClick(combo1(), Qt::Key_Up);
    EXPECT_EQ(text1()->text(), "notes");
}

TEST_F(ExportImportTest, ExportWritesTheChosenFormatForItsOwnerAloneAndReturnsToTheCover) {
    ASSERT_NO_FATAL_FAILURE(exportAs(2, "diary.json"));
    EXPECT_FALSE(t.windows.isLoaded(kExport));
    EXPECT_TRUE(t.dialogs.allAnswered());

    const auto json = nlohmann::json::parse(ReadFileBytes(folder() + "diary.json"));
    ASSERT_EQ(json["pages"].size(), kPages.size());
    EXPECT_EQ(json["coverName"], "Days of 2026");
    EXPECT_EQ(json["pages"][1]["text"], "Second\r\npage");
    EXPECT_EQ(json["pages"][1]["isoDate"], "2026-12-05");
    struct stat st {};
    ASSERT_EQ(::stat((folder() + "diary.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // The progress counted the pages and closed.
    ASSERT_EQ(t.progress.shown.size(), 1u);
    EXPECT_EQ(t.progress.shown[0].total, 3);
    EXPECT_TRUE(t.progress.shown[0].closed);
}

// The PDF is the whole book's print, without a printer dialog: every page's lines, for its owner alone.
TEST_F(ExportImportTest, ExportToPdfWritesTheWholeBooksPrintWithoutAPrinterDialog) {
    ASSERT_NO_FATAL_FAILURE(exportAs(4, "diary.pdf"));
    EXPECT_TRUE(t.dialogs.allAnswered()) << "no box but the one saying it is done";
    EXPECT_EQ(t.printer.begun, 0) << "the printer was not asked";

    const std::string pdf = folder() + "diary.pdf";
    std::string lines = "Days of 2026\n";
    for (const Page& page : kPages)
        lines += page.number + "\n" + page.date + "\n" + page.time + "\n" + page.text + "\n";
    EXPECT_EQ(WithoutBlanks(PdfToText(pdf, true)), WithoutBlanks(lines));
    struct stat st {};
    ASSERT_EQ(::stat(pdf.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(t.progress.shown.size(), 1u);
    EXPECT_EQ(t.progress.shown[0].steps.back(), 3);
    EXPECT_TRUE(t.progress.shown[0].closed);
}

TEST_F(ExportImportTest, AnExistingFileIsReplacedOnlyWhenTheUserSaysSo) {
    const std::string target = folder() + "diary.txt";
    WriteFileBytes(target, "an older export");
    ProgramWindow* form13 = openExport();
    const std::string question = "A file named diary.txt already exists in this folder. Do you want to replace it?";
    t.dialogs.expectMessage(question, Answer::No, "File already exists!");
    click(form13, QStringLiteral("Command1"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(t.dialogs.shown().back().defaultButton, Answer::No) << "the safe answer is the default";
    EXPECT_EQ(ReadFileBytes(target), "an older export");
    EXPECT_TRUE(t.windows.isLoaded(kExport));

    t.dialogs.expectMessage(question, Answer::Yes, "File already exists!");
    t.dialogs.expectMessage(exportedMessage("diary.txt"), Answer::Ok, "Export complete");
    click(form13, QStringLiteral("Command1"));
    waitUntilActive(t.windows, kCover);
    EXPECT_TRUE(ReadFileBytes(target).starts_with("Days of 2026\n 1\nSaturday, 12/5/2026\n"));
}

TEST_F(ExportImportTest, ACancelledOrRefusedExportLeavesNoFileAndTheWindowOpen) {
    ProgramWindow* form13 = openExport();
    t.progress.cancelAt = 1;
    click(form13, QStringLiteral("Command1"));
    EXPECT_FALSE(std::filesystem::exists(folder() + "diary.txt"));
    EXPECT_TRUE(t.windows.isLoaded(kExport));
    EXPECT_TRUE(t.dialogs.shown().size() == 1) << "only the password was asked for";

    struct Case {
        QString name;
        std::string message;
    };
    const Case cases[] = {
        {"other.dvl", "An export is not a book: its name cannot end in .dvl. Nothing has been written."},
        {"diary.dvl", "An export is not a book: its name cannot end in .dvl. Nothing has been written."},
        {"", "Type a name for the exported file (without a folder: choose the folder in the list)."},
        {"sub/out.txt", "Type a name for the exported file (without a folder: choose the folder in the list)."},
    };
    t.progress.cancelAt.reset();
    const std::string book = diary.bytes();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        typeName(c.name);
        // The book itself is there: the question comes, and even a Yes does not put the book at risk.
        if (c.name == QStringLiteral("diary.dvl"))
            t.dialogs.expectMessage("A file named " + c.name.toStdString() +
                                        " already exists in this folder. Do you want to replace it?",
                                    Answer::Yes);
        t.dialogs.expectMessage(c.message, Answer::Ok, "Export dayvell");
        click(form13, QStringLiteral("Command1"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_TRUE(t.windows.isLoaded(kExport));
    }
    EXPECT_EQ(diary.bytes(), book);
    EXPECT_FALSE(std::filesystem::exists(folder() + "other.dvl"));
}

TEST_F(ExportImportTest, ImportGoesThroughThePasswordPromptWhenNewPagesDo) {
    Diary guarded(kPages, "0000010");
    guarded.open(t.state);
    t.windows.show(kCover);
    waitUntilActive(t.windows, kCover);
    trigger(t.windows.window(kCover), QStringLiteral("importpages"));
    waitUntilActive(t.windows, QStringLiteral("frmpassword"));
    EXPECT_EQ(t.state.purpose, purpose::Import);
    EXPECT_FALSE(t.windows.isLoaded(kImport));
    QTest::keyClicks(find<QLineEdit>(t.windows.window(QStringLiteral("frmpassword")), QStringLiteral("txtPassword")),
                     QString::fromLatin1(kDiaryPassword));
    click(t.windows.window(QStringLiteral("frmpassword")), QStringLiteral("cmdOK"));
    waitUntilActive(t.windows, kImport);
    EXPECT_EQ(t.windows.loadedIds(), (QStringList{kCover, kImport}));
}

TEST_F(ExportImportTest, ImportAddsTheFilesPagesInDateOrderAfterAskingAboutThoseTheBookCannotStore) {
    std::filesystem::copy_file(DataFile("jrnl-export.json"), folder() + "jrnl-export.json");
    WriteFileBytes(folder() + "note.txt", "A note\n");
    // 2 March 2023 at noon (UTC), between the first and second jrnl entries.
    const timespec noon[2] = {{1677758400, 0}, {1677758400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (folder() + "note.txt").c_str(), noon, 0), 0);
    ProgramWindow* form14 = openImport();
    EXPECT_EQ(linesOf(file1()), (QStringList{"jrnl-export.json", "note.txt"}));
    clickLine(file1(), QStringLiteral("jrnl-export.json"));
    QTest::mouseClick(file1().viewport(), Qt::LeftButton, Qt::ControlModifier,
                      file1().visualItemRect(lineOf(file1(), QStringLiteral("note.txt"))).center());
    ASSERT_EQ(file1().selectedItems().size(), 2);

    t.dialogs.expectMessage(kSkipEntry2, Answer::Yes, "Page cannot be stored");
    t.dialogs.expectMessage("3 pages will be added after the last page of your dayvell. Go on?", Answer::Ok,
                            "Import pages");
    t.dialogs.expectMessage("3 pages were added to your dayvell.", Answer::Ok, "Import pages");
    click(form14, QStringLiteral("Command1"));
    waitUntilActive(t.windows, kCover);
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(t.dialogs.shown()[0].defaultButton, Answer::No) << "stopping is the safe answer";

    const std::vector<Page> pages = pagesOfBook();
    ASSERT_EQ(pages.size(), 6u);
    EXPECT_EQ(pages[3].number, " 4");
    EXPECT_EQ(pages[3].date, "Wednesday, 3/1/2023");
    EXPECT_EQ(pages[3].time, "9:15:00 AM");
    EXPECT_TRUE(pages[3].text.starts_with("First day at the new job.\r\nThe office"));
    EXPECT_EQ(pages[4].text, "A note");
    EXPECT_EQ(pages[4].date, "Thursday, 3/2/2023");
    EXPECT_EQ(pages[5].number, " 6");
    EXPECT_TRUE(pages[5].text.starts_with("Quarterly review."));
}

// In the list of files, as in the open browser's, Enter or a double click on a chosen file goes on with it: the
// import asks before it writes anything.
TEST_F(ExportImportTest, EnterOrADoubleClickOnAChosenFileStartsTheImport) {
    WriteFileBytes(folder() + "note.txt", "A note\n");
    struct Case {
        const char* what;
        std::function<void(QListWidget&)> go;
    };
    const Case cases[] = {
        {"Enter", [](QListWidget& list) { QTest::keyClick(&list, Qt::Key_Return); }},
        {"keypad Enter", [](QListWidget& list) { QTest::keyClick(&list, Qt::Key_Enter, Qt::KeypadModifier); }},
        {"double click",
         [](QListWidget& list) {
             QTest::mouseDClick(list.viewport(), Qt::LeftButton, {},
                                list.visualItemRect(lineOf(list, QStringLiteral("note.txt"))).center());
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string before = diary.bytes();
        openImport();
        clickLine(file1(), QStringLiteral("note.txt"));
        t.dialogs.expectMessage("1 page will be added after the last page of your dayvell. Go on?", Answer::Cancel,
                                "Import pages");
        c.go(file1());
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_TRUE(t.windows.isLoaded(kImport));
        EXPECT_EQ(diary.bytes(), before);
        t.windows.unloadAll();
        settle();
    }
}

TEST_F(ExportImportTest, AStoppedCancelledOrRefusedImportLeavesTheBookAsItWas) {
    std::filesystem::copy_file(DataFile("jrnl-export.json"), folder() + "jrnl-export.json");
    WriteFileBytes(folder() + "broken.json", "{\"entries\": [{\"date\": \"2023-02-30\", \"time\": \"09:15\"}]}");
    const std::string before = diary.bytes();
    ProgramWindow* form14 = openImport();

    struct Case {
        const char* what;
        const char* file;
        std::function<void(ScriptedDialogs&, ScriptedProgress&)> script;
    };
    const Case cases[] = {
        {"nothing chosen", nullptr,
         [](ScriptedDialogs& d, ScriptedProgress&) {
             d.expectMessage("Choose the files to import in the list first.", Answer::Ok, "Import pages");
         }},
        {"the page that cannot be stored stops it", "jrnl-export.json",
         [](ScriptedDialogs& d, ScriptedProgress&) {
             d.expectMessage(kSkipEntry2, Answer::No, "Page cannot be stored");
         }},
        {"not gone on with", "jrnl-export.json",
         [](ScriptedDialogs& d, ScriptedProgress&) {
             d.expectMessage(kSkipEntry2, Answer::Yes, "Page cannot be stored");
             d.expectMessage("2 pages will be added after the last page of your dayvell. Go on?", Answer::Cancel);
         }},
        {"cancelled part-way", "jrnl-export.json",
         [](ScriptedDialogs& d, ScriptedProgress& p) {
             d.expectMessage(kSkipEntry2, Answer::Yes, "Page cannot be stored");
             d.expectMessage("2 pages will be added after the last page of your dayvell. Go on?", Answer::Ok);
             d.expectMessage("The import was cancelled. Nothing has been added.", Answer::Ok, "Import pages");
             p.cancelAt = 1;
         }},
        {"a file that is no export", "broken.json",
         [this](ScriptedDialogs& d, ScriptedProgress&) {
             d.expectMessage(folder() + "broken.json cannot be imported: entry 1 has the date \"2023-02-30\", not a "
                                        "day written as YYYY-MM-DD. Nothing has been imported.",
                             Answer::Ok, "Import pages");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        file1().clearSelection();
        if (c.file)
            clickLine(file1(), QString::fromLatin1(c.file));
        t.progress.cancelAt.reset();
        c.script(t.dialogs, t.progress);
        click(form14, QStringLiteral("Command1"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(diary.bytes(), before);
        EXPECT_TRUE(t.windows.isLoaded(kImport));
    }
    click(form14, QStringLiteral("Command2"));
    waitUntilActive(t.windows, kCover);
    EXPECT_FALSE(t.windows.isLoaded(kImport));
}

} // namespace
} // namespace dayvell::test
