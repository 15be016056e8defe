// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"

#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/SealedKeys.h"
#include "core/TempDir.h"
#include "platform/DirList.h"
#include "screens/Windows.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>

namespace dayvell::test {
namespace {

const QString kWizard = QStringLiteral("Form4");
const char* const kNamePrompt = "Enter a name for your dayvell (1-8 characters)";
const char* const kPasswordPrompt = "Please enter a password 4-10 characters.";
const char* const kNameTaken = "That dayvell already exists! Please choose a different name.";

// Every file and directory below `root`, relative to it.
std::vector<std::string> Tree(const std::filesystem::path& root) {
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        entries.push_back(std::filesystem::relative(entry.path(), root).string());
    std::sort(entries.begin(), entries.end());
    return entries;
}

// Which step buttons and arrows show (steps()) at each step.
const std::string kAtName = "110000";
const std::string kAtPassword = "001100";
const std::string kAtFinish = "000011";

class CreateWizardTest : public ::testing::Test {
protected:
    CreateWizardTest() {
        RegisterWindows(t.services);
        std::filesystem::create_directories(dir.path() / "books");
    }

    // Shown as the start window's Create shows it: `bookdir` is the directory with the start window's "/".
    ProgramWindow* openWizard() {
        t.state.bookdir = dir.dir();
        t.windows.show(kWizard);
        waitUntilActive(t.windows, kWizard);
        return wizard();
    }
    ProgramWindow* wizard() const { return t.windows.window(kWizard); }
    QString text(const char* label) const { return find<QLabel>(wizard(), QString::fromLatin1(label))->text(); }
    bool visible(const char* control) const {
        return find<QWidget>(wizard(), QString::fromLatin1(control))->isVisible();
    }
    QListWidget& dir1() const { return *find<QListWidget>(wizard(), QStringLiteral("Dir1")); }
    QString dirPath() const { return find<DirList>(wizard(), QStringLiteral("Dir1"))->path(); }

    void chooseName(const std::string& name) {
        t.dialogs.expectInput(kNamePrompt, name, "Dayvell Name");
        click(wizard(), QStringLiteral("Command2"));
    }
    void choosePassword(const std::string& password) {
        t.dialogs.expectInput(kPasswordPrompt, password, "");
        click(wizard(), QStringLiteral("Command3"));
    }
    // Answers the password step's prompts (`prompt`) with `replies` in turn, the refusals in `messages` after them.
    void answerPasswordStep(const char* prompt, const std::vector<std::string>& replies,
                            const std::vector<std::string>& messages) {
        for (size_t i = 0; i < replies.size(); ++i) {
            t.dialogs.expectInput(prompt, replies[i], "");
            if (i < messages.size())
                t.dialogs.expectMessage(messages[i], Answer::Ok, "");
        }
        click(wizard(), QStringLiteral("Command3"));
    }
    // The password chosen at the password step, or none (empty) and the wizard still at that step.
    void expectPasswordChosen(const std::string& password) {
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.state.password, password);
        if (password.empty()) {
            EXPECT_EQ(steps(), kAtPassword);
            EXPECT_TRUE(text("Label10").isEmpty());
        } else {
            EXPECT_EQ(steps(), kAtFinish);
        }
    }
    // The state a step leaves the wizard in: which step buttons and arrows show.
    std::string steps() const {
        std::string shown;
        for (const char* control : {"Command2", "Label11", "Command3", "Label12", "Command4", "Label13"})
            shown += visible(control) ? '1' : '0';
        return shown;
    }

    TestServices t;
    TempDir dir;
};

TEST_F(CreateWizardTest, ShowsItsStepsWithTheProgramDirectoryChosen) {
    ProgramWindow* w = openWizard();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Create a new Dayvell"));
    struct Case {
        const char* name;
        QString caption, tip;
    };
    const Case labels[] = {
        {"Label1", "Here is where you begin by creating your dayvell.", ""},
        {"Label2", "Step 1:", ""},
        {"Label3", "Select drive and directory ", ""},
        {"Label4", "where you want your dayvell to be saved", ""},
        {"Label5", "Choose drive", ""},
        {"Label6", "Choose directory", ""},
        {"Label7", "Your dayvell name is:", ""},
        {"Label8", "", "Dayvell file name"},
        {"Label9", "Your password is:", ""},
        {"Label10", "", "Password"},
        {"Label11", "--->", ""},
        {"Label12", "--->", ""},
        {"Label13", "--->", ""},
        {"Label14", "Path:", ""},
    };
    for (const Case& c : labels) {
        auto* label = find<QLabel>(w, QString::fromLatin1(c.name));
        EXPECT_EQ(label->text(), c.caption) << c.name;
        EXPECT_EQ(label->toolTip(), c.tip) << c.name;
    }
    EXPECT_EQ(find<QLabel>(w, QStringLiteral("Label15"))->toolTip(), QStringLiteral("This is path you have chosen"));
    const Case buttons[] = {
        {"Command1", "Cancel   (ESC)", "Get me out of here!"},
        {"Command2", "Step 2:\nChoose a file name for your dayvell (1-8 characters)",
         "Choose a file name for your new dayvell"},
        {"Command3", "Step 3: Choose a password for your dayvell", "Choose a password"},
        {"Command4", "Step 4:\nMake sure the information on the left is correct, if so, press this button.",
         "If all looks good, finish it!"},
        {"Command5", "Start over.", "Clear all fields and start again."},
        {"Command6", "Help", "More info"},
    };
    for (const Case& c : buttons) {
        auto* button = find<QPushButton>(w, QString::fromLatin1(c.name));
        EXPECT_EQ(Caption(button->text()), c.caption) << c.name;
        EXPECT_EQ(button->toolTip(), c.tip) << c.name;
        EXPECT_FALSE(button->isDefault()) << c.name;
    }
    EXPECT_EQ(find<QWidget>(w, QStringLiteral("Drive1"))->toolTip(), QStringLiteral("Choose drive"));
    EXPECT_EQ(find<QWidget>(w, QStringLiteral("Dir1"))->toolTip(), QStringLiteral("Choose directory"));

    EXPECT_EQ(steps(), kAtName);
    for (const char* summary : {"Label7", "Label8", "Label9", "Label10"})
        EXPECT_FALSE(visible(summary)) << summary;
    const QString shown = QString::fromStdString(dir.path().string());
    EXPECT_EQ(dirPath(), shown);
    EXPECT_EQ(t.state.bookdir, dir.path().string()) << "the directory list's path, without a separator";
    EXPECT_EQ(text("Label15"), shown);
}

TEST_F(CreateWizardTest, WhenTheListAlreadyShowsTheDirectoryThePathKeepsTheStartWindowsSlash) {
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path().string())));
    openWizard();
    QDir::setCurrent(previous);
    EXPECT_EQ(t.state.bookdir, dir.dir());
    EXPECT_EQ(text("Label15"), QString::fromStdString(dir.dir()));
}

TEST_F(CreateWizardTest, ChoosingADirectoryMovesBookdirAndThePath) {
    openWizard();
    doubleClickLine(dir1(), QStringLiteral("books"));
    const std::string books = (dir.path() / "books").string();
    EXPECT_EQ(t.state.bookdir, books);
    EXPECT_EQ(text("Label15"), QString::fromStdString(books));
}

TEST_F(CreateWizardTest, TheNameStepAcceptsOneToEightCharactersNotTakenHere) {
    WriteFileBytes(dir.file("taken.dvl"), "a book");
    const std::string hidden = "is not allowed: a file whose name starts with \".\" is hidden, so your dayvell would "
                               "no longer be listed when you open a dayvell. Please choose a different name.";
    const std::string scratch = "is not allowed: Dayvell keeps the name dvltemp.dvl, in capitals or small letters "
                                "alike, for its own scratch file. Please choose a different name.";
    struct Case {
        const char* what;
        std::vector<std::string> replies;
        std::vector<std::string> messages;
        std::string bookname;
    };
    const Case cases[] = {
        {"cancelled", {""}, {}, ""},
        {"one character", {"a"}, {}, "a.dvl"},
        {"eight characters", {"abcdefgh"}, {}, "abcdefgh.dvl"},
        {"nine characters, then given up", {"abcdefghi", ""}, {"Name cannot be over 8 characters in lenght"}, ""},
        {"nine, then eight", {"abcdefghi", "Abcdefgh"}, {"Name cannot be over 8 characters in lenght"}, "Abcdefgh.dvl"},
        {"taken here", {"taken", ""}, {kNameTaken}, ""},
        {"the scratch file's name", {"dvltemp", ""}, {"The name \"dvltemp\" " + scratch}, ""},
        {"the scratch file's name in capitals", {"DVLTEMP", ""}, {"The name \"DVLTEMP\" " + scratch}, ""},
        {"the scratch file's name in mixed case, then another",
         {"DvlTemp", "dvltemp2"},
         {"The name \"DvlTemp\" " + scratch},
         "dvltemp2.dvl"},
        // Names the open browser would not list, or that the file system cannot hold.
        {"a hidden name", {".hid", ""}, {"The name \".hid\" " + hidden}, ""},
        {"two dots", {"..", ""}, {"The name \"..\" " + hidden}, ""},
        {"a folder and a name",
         {"books/x", ""},
         {"The name \"books/x\" is not allowed: a file name cannot contain \"/\", which separates the folders of "
          "a path. Please choose a different name."},
         ""},
        {"a null character",
         {std::string("x\0y", 3), ""},
         {"This name is not allowed: a file name cannot hold a null character. Please choose a different name."},
         ""},
        {"typed with the extension", {"abc.dvl"}, {}, "abc.dvl.dvl"},
    };
    openWizard();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        click(wizard(), QStringLiteral("Command5"));
        ASSERT_EQ(steps(), kAtName);
        for (size_t i = 0; i < c.replies.size(); ++i) {
            t.dialogs.expectInput(kNamePrompt, c.replies[i], "Dayvell Name");
            if (i < c.messages.size())
                t.dialogs.expectMessage(c.messages[i], Answer::Ok, "");
        }
        const size_t before = t.dialogs.shown().size();
        click(wizard(), QStringLiteral("Command2"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        for (size_t i = before; i < t.dialogs.shown().size(); ++i)
            EXPECT_EQ(t.dialogs.shown()[i].icon, Icon::None);
        EXPECT_EQ(t.state.bookname, c.bookname);
        if (c.bookname.empty()) {
            EXPECT_EQ(steps(), kAtName);
            EXPECT_TRUE(text("Label8").isEmpty());
        } else {
            EXPECT_EQ(steps(), kAtPassword);
            EXPECT_TRUE(visible("Label7") && visible("Label8"));
            EXPECT_EQ(text("Label8"), QString::fromStdString(c.replies.back()));
            EXPECT_EQ(t.state.bookdir, dir.dir()) << "a separator is added for the test";
        }
    }
}

TEST_F(CreateWizardTest, ThePasswordStepAcceptsFourToTenCharacters) {
    struct Case {
        std::vector<std::string> replies;
        std::vector<std::string> messages;
        std::string password;
    };
    const Case cases[] = {
        {{""}, {}, ""},
        {{"abcd"}, {}, "abcd"},
        {{"Abcdefghi0"}, {}, "Abcdefghi0"},
        {{"abc", ""}, {"Password must have at least 4 characters!"}, ""},
        {{"abcdefghijk", "abc", "a b c"},
         {"Password cannot be over 10 characters long!!", "Password must have at least 4 characters!"},
         "a b c"},
    };
    openWizard();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.replies.front());
        click(wizard(), QStringLiteral("Command5"));
        chooseName("diary");
        answerPasswordStep(kPasswordPrompt, c.replies, c.messages);
        expectPasswordChosen(c.password);
        if (!c.password.empty()) {
            EXPECT_TRUE(visible("Label9") && visible("Label10"));
            EXPECT_EQ(text("Label10"), QString::fromStdString(c.password)) << "shown in clear";
        }
    }
}

TEST_F(CreateWizardTest, FinishWritesTheNewBookAndNoReturnsToTheStartWindow) {
    openWizard();
    chooseName("diary");
    choosePassword("Secret1");
    t.dialogs.expectMessage("Do you wish to open your dayvell now?", Answer::No, "Open your dayvell?");
    click(wizard(), QStringLiteral("Command4"));
    waitUntilActive(t.windows, QStringLiteral("form1"));
    EXPECT_EQ(t.dialogs.shown().back().buttons, Buttons::YesNo);
    EXPECT_EQ(t.dialogs.shown().back().icon, Icon::Question);
    EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("form1")});
    EXPECT_TRUE(t.state.bookname.empty());
    EXPECT_TRUE(t.state.password.empty());

    Book book(dir.file("diary.dvl"), "Secret1");
    ASSERT_TRUE(book.checkPassword());
    const BookHeader header = book.readHeader();
    EXPECT_EQ(header.directory, dir.dir());
    EXPECT_EQ(header.coverName, "___");
    EXPECT_EQ(header.lastAccess, "12/5/2026");
    EXPECT_EQ(header.flags, "0111111");
    EXPECT_EQ(book.countPages(), 0);
    EXPECT_FALSE(Book(dir.file("diary.dvl"), "Secret2").checkPassword());
}

TEST_F(CreateWizardTest, FinishAnsweredYesAsksForThePasswordOfTheNewBook) {
    openWizard();
    chooseName("diary");
    choosePassword("Secret1");
    t.dialogs.expectMessage("Do you wish to open your dayvell now?", Answer::Yes, "Open your dayvell?");
    click(wizard(), QStringLiteral("Command4"));
    waitUntilActive(t.windows, QStringLiteral("frmpassword"));
    EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("frmpassword")});
    EXPECT_EQ(t.state.bookdir, dir.dir());
    EXPECT_EQ(t.state.bookname, "diary.dvl");
    EXPECT_TRUE(t.state.password.empty()) << "typed again in the prompt";
    EXPECT_EQ(t.state.passwordok, 0);
    EXPECT_EQ(t.state.purpose, 5);
}

TEST_F(CreateWizardTest, FinishWritesIntoTheDirectoryChosenLast) {
    openWizard();
    chooseName("diary");
    choosePassword("Secret1");
    doubleClickLine(dir1(), QStringLiteral("books"));
    t.dialogs.expectMessage("Do you wish to open your dayvell now?", Answer::No);
    click(wizard(), QStringLiteral("Command4"));
    EXPECT_EQ(Tree(dir.path()), (std::vector<std::string>{"books", "books/diary.dvl"}));
    EXPECT_EQ(Book((dir.path() / "books" / "diary.dvl").string(), "Secret1").readHeader().directory,
              (dir.path() / "books").string() + "/");
}

TEST_F(CreateWizardTest, FinishNeverReplacesABookTakenInTheDirectoryChosenSinceTheNameStep) {
    const std::string existing = (dir.path() / "books" / "diary.dvl").string();
    WriteFileBytes(existing, "someone else's book");
    openWizard();
    chooseName("diary");
    choosePassword("Secret1");
    doubleClickLine(dir1(), QStringLiteral("books"));
    t.dialogs.expectMessage(kNameTaken, Answer::Ok, "");
    click(wizard(), QStringLiteral("Command4"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(ReadFileBytes(existing), "someone else's book");
    EXPECT_EQ(Tree(dir.path()), (std::vector<std::string>{"books", "books/diary.dvl"}));
    EXPECT_EQ(steps(), kAtFinish);
    EXPECT_TRUE(t.windows.isLoaded(kWizard));
}

// The book records its folder enciphered with its password: a folder name the password cannot carry is named and
// another folder asked for, instead of a software error.
TEST_F(CreateWizardTest, FinishNamesAFolderCharacterThePasswordCannotCarryAndAnotherFolderWorks) {
    // "Été" as the file system spells it; É (201) plus z (122) is past 255.
    std::filesystem::create_directories(dir.path() / "\xC3\x89t\xC3\xA9");
    openWizard();
    chooseName("diary");
    choosePassword("zzzz");
    doubleClickLine(dir1(), QString::fromUtf8("\xC3\x89t\xC3\xA9"));
    t.dialogs.expectMessage("The password of your dayvell cannot encipher the character \"\xC9\" in the name of the "
                            "folder " +
                            dir.dir() + "\xC9t\xE9/. Choose a different directory!");
    click(wizard(), QStringLiteral("Command4"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(Tree(dir.path()), (std::vector<std::string>{"books", "\xC3\x89t\xC3\xA9"}));
    EXPECT_EQ(steps(), kAtFinish);

    doubleClickLine(dir1(), QString::fromUtf8(dir.path().filename().string()));
    doubleClickLine(dir1(), QStringLiteral("books"));
    t.dialogs.expectMessage("Do you wish to open your dayvell now?", Answer::No);
    click(wizard(), QStringLiteral("Command4"));
    EXPECT_EQ(Book((dir.path() / "books" / "diary.dvl").string(), "zzzz").readHeader().directory,
              (dir.path() / "books").string() + "/");
}

TEST_F(CreateWizardTest, StartOverClearsTheChoicesAndKeepsTheSummaryCaptions) {
    openWizard();
    chooseName("diary");
    choosePassword("Secret1");
    doubleClickLine(dir1(), QStringLiteral("books"));
    click(wizard(), QStringLiteral("Command5"));
    EXPECT_EQ(steps(), kAtName);
    EXPECT_TRUE(visible("Label7") && visible("Label9"));
    EXPECT_TRUE(text("Label8").isEmpty());
    EXPECT_TRUE(text("Label10").isEmpty());
    EXPECT_TRUE(t.state.bookname.empty());
    EXPECT_TRUE(t.state.password.empty());
    EXPECT_EQ(dirPath(), QString::fromStdString(dir.path().string())) << "back to the directory first shown";
    EXPECT_EQ(t.state.bookdir, dir.path().string());
}

TEST_F(CreateWizardTest, CancelReturnsToTheStartWindowWritingNothing) {
    openWizard();
    chooseName("diary");
    choosePassword("Secret1");
    click(wizard(), QStringLiteral("Command1"));
    waitUntilActive(t.windows, QStringLiteral("form1"));
    EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("form1")});
    EXPECT_EQ(Tree(dir.path()), std::vector<std::string>{"books"});
    EXPECT_TRUE(t.state.password.empty());
}

TEST_F(CreateWizardTest, EscCancelsTheWizardAsItsCancelButtonSays) {
    int startActivations = 0;
    RegisterStandIn(t, QStringLiteral("form1"), startActivations);
    openWizard();
    chooseName("diary");
    QTest::keyClick(wizard(), Qt::Key_Escape);
    waitUntilActive(t.windows, QStringLiteral("form1"));
    EXPECT_FALSE(t.windows.isLoaded(kWizard));
    EXPECT_TRUE(t.state.bookname.empty());
    EXPECT_EQ(Tree(dir.path()), std::vector<std::string>{"books"});
}

TEST_F(CreateWizardTest, TheWindowKeepsOneSizeAndItsControlsTheirPlacesThroughTheSteps) {
    openWizard();
    const auto places = [this] {
        std::vector<QRect> rects{wizard()->geometry()};
        for (const char* control : {"Drive1", "Dir1", "Label15", "Command1", "Command2", "Command5", "Label7"})
            rects.push_back(find<QWidget>(wizard(), QString::fromLatin1(control))->geometry());
        return rects;
    };
    const std::vector<QRect> atName = places();
    chooseName("diary");
    settle();
    EXPECT_EQ(places(), atName) << "after the name";
    choosePassword("Secret1");
    settle();
    EXPECT_EQ(places(), atName) << "after the password";
}

// Unticked, the wizard makes a classic book; ticked, a sealed one, whose password may be a passphrase. A password
// that the kind chosen afterwards cannot have is asked for again.
TEST_F(CreateWizardTest, TheSealBoxMakesASealedBookWithAPassphrase) {
    const sealed::KdfLimitsForTests fastPasswords(sealed::KdfLimits::WeakForTests(1, sealed::kMinMemlimit));
    const std::string passphrase = "a passphrase of some length";
    struct Case {
        const char* what;
        bool tickBeforePassword;
        std::vector<std::string> replies;
        std::vector<std::string> messages;
        bool tickAfterPassword; // ticked (or unticked) again once the password is chosen
        BookKind kind;
        std::string password; // kept at the end; empty: none, the finish step hidden
    };
    const Case cases[] = {
        {"left unticked", false, {"Secret1"}, {}, false, BookKind::Described, "Secret1"},
        {"ticked",
         true,
         {"abc", passphrase},
         {"A sealed dayvell's password must have at least 4 characters!"},
         false,
         BookKind::Sealed,
         passphrase},
        {"ticked with 128 characters",
         true,
         {std::string(129, 'q'), std::string(128, 'q')},
         {"A sealed dayvell's password cannot be over 128 characters long!"},
         false,
         BookKind::Sealed,
         std::string(128, 'q')},
        {"unticked after a passphrase", true, {passphrase}, {}, true, BookKind::Described, ""},
        {"ticked after a short password", false, {"Secret1"}, {}, true, BookKind::Sealed, "Secret1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.file("diary.dvl"));
        openWizard();
        auto* box = find<QCheckBox>(wizard(), QStringLiteral("Check1"));
        EXPECT_FALSE(box->isChecked());
        EXPECT_TRUE(box->isVisible());
        EXPECT_TRUE(text("Label16").contains(QStringLiteral("cannot be read off the file")));
        EXPECT_TRUE(text("Label16").contains(QStringLiteral("Older copies of Dayvell cannot open")));
        chooseName("diary");
        if (c.tickBeforePassword)
            box->click();
        answerPasswordStep(c.tickBeforePassword ? "Please enter a password or passphrase of 4-128 characters."
                                                : kPasswordPrompt,
                           c.replies, c.messages);
        if (c.tickAfterPassword)
            box->click();
        expectPasswordChosen(c.password);
        if (!c.password.empty()) {
            t.dialogs.expectMessage("Do you wish to open your dayvell now?", Answer::No, "Open your dayvell?");
            click(wizard(), QStringLiteral("Command4"));
            waitUntilActive(t.windows, QStringLiteral("form1"));
            const Book book(dir.file("diary.dvl"), c.password);
            EXPECT_EQ(book.kind(), c.kind);
            EXPECT_TRUE(book.checkPassword());
            EXPECT_EQ(book.readHeader().directory, dir.dir());
            EXPECT_EQ(book.countPages(), 0);
        }
        t.windows.unloadAll();
        settle();
    }
}

TEST_F(CreateWizardTest, HelpShowsTopicFour) {
    openWizard();
    t.dialogs.expectMessage(HelpText(4), Answer::Ok, "Help");
    click(wizard(), QStringLiteral("Command6"));
    EXPECT_TRUE(t.dialogs.allAnswered());
}

TEST_F(CreateWizardTest, ADirectoryThatIsGoneIsReportedAndTheWizardStays) {
    t.state.bookdir = dir.file("gone/deeper") + "/";
    ExpectErrorReport(t.dialogs, code::DeviceUnavailable);
    t.windows.show(kWizard);
    waitUntilActive(t.windows, kWizard);
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(steps(), kAtName);
    EXPECT_EQ(t.programEnds, 0);
}

} // namespace
} // namespace dayvell::test
