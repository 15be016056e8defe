// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"

#include "core/ErrorReporter.h"
#include "core/TempDir.h"
#include "screens/Windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace dayvell::test {
namespace {

const QString kPrompt = QStringLiteral("frmpassword");
const QString kStart = QStringLiteral("form1");

class PasswordPromptTest : public ::testing::Test {
protected:
    PasswordPromptTest() {
        RegisterWindows(t.services);
        path = WriteBook(dir.dir(), "diary.dvl");
        // As the open browser's double click leaves it: the directory without its separator.
        t.state.bookdir = dir.path().string();
        t.state.bookname = "diary.dvl";
        t.state.purpose = 5;
    }

    void standInFor(std::initializer_list<const char*> ids) {
        for (const char* id : ids)
            RegisterStandIn(t, QString::fromLatin1(id), standInActivations);
    }
    ProgramWindow* showPrompt() {
        t.windows.show(kPrompt);
        waitUntilActive(t.windows, kPrompt);
        return prompt();
    }
    ProgramWindow* prompt() const { return t.windows.window(kPrompt); }
    QLineEdit* box() const { return find<QLineEdit>(prompt(), QStringLiteral("txtPassword")); }
    // Types as a keyboard would, one character a key, whatever the character.
    void type(const QString& text) {
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, box(), Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }

    TestServices t;
    TempDir dir;
    std::string path;
    int standInActivations = 0;
};

TEST_F(PasswordPromptTest, ShowsAnEmptyMaskedBoxWithItsButtons) {
    ProgramWindow* p = showPrompt();
    EXPECT_EQ(p->windowTitle(), QStringLiteral("Please enter the Password"));
    EXPECT_EQ(find<QLabel>(p, QStringLiteral("lblLabels"))->text(), QStringLiteral("Password:"));
    EXPECT_EQ(box()->toolTip(), QStringLiteral("Type password here"));
    EXPECT_EQ(box()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(box()->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, box()), '*')
        << "every typed character shows as a star";
    EXPECT_TRUE(box()->text().isEmpty());
    EXPECT_EQ(box()->maxLength(), 32767) << "no length limit of its own";
    struct Case {
        const char* name;
        QString caption, tip;
    };
    for (const Case& c : {Case{"cmdOK", "OK", "Move on"}, Case{"cmdCancel", "Cancel", "Get me out of here"}}) {
        auto* button = find<QPushButton>(p, QString::fromLatin1(c.name));
        EXPECT_EQ(Caption(button->text()), c.caption);
        EXPECT_EQ(button->toolTip(), c.tip);
    }
    EXPECT_TRUE(find<QPushButton>(p, QStringLiteral("cmdOK"))->isDefault());
}

TEST_F(PasswordPromptTest, AFixedDialogWideEnoughForItsTitleWithoutMinimiseOrMaximise) {
    ProgramWindow* p = showPrompt();
    EXPECT_FALSE(p->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(p->minimumSize(), p->maximumSize()) << "a fixed border";
    QFont bold = p->font();
    bold.setBold(true);
    // The title, and three title-bar buttons of at least 20 pixels each with a margin at each end.
    EXPECT_GE(p->width(), QFontMetrics(bold).horizontalAdvance(p->windowTitle()) + 3 * 20 + 2 * 8);
}

TEST_F(PasswordPromptTest, ARightPasswordShowsTheWindowOfThePurposeAndBecomesThePasswordInForce) {
    standInFor({"Form2", "Form6", "Form7", "Form8", "Form9", "Form10", "Form12"});
    struct Case {
        int purpose;
        const char* window;
    };
    const Case cases[] = {{2, "Form2"}, {5, "Form5"}, {6, "Form6"},   {7, "Form7"},
                          {8, "Form8"}, {9, "Form9"}, {10, "Form10"}, {12, "Form12"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.purpose);
        t.state.purpose = c.purpose;
        t.state.bookdir = dir.path().string();
        showPrompt();
        type(QStringLiteral("Secret1"));
        click(prompt(), QStringLiteral("cmdOK"));
        waitUntilActive(t.windows, QString::fromLatin1(c.window));
        EXPECT_FALSE(t.windows.isLoaded(kPrompt));
        EXPECT_EQ(t.state.password, "Secret1");
        EXPECT_EQ(t.state.passwordok, 1);
        EXPECT_EQ(t.state.purpose, c.purpose) << "kept";
        EXPECT_EQ(t.state.bookdir, dir.dir()) << "the separator is added";
        t.windows.unload(QString::fromLatin1(c.window));
        settle();
    }
}

TEST_F(PasswordPromptTest, APurposeWhoseWindowIsNotPartOfTheProgramOnlyClosesThePrompt) {
    standInFor({"Form5"});
    ProgramWindow* cover = t.windows.show(QStringLiteral("Form5"));
    for (int purpose : {0, 3, 11}) {
        t.state.purpose = purpose;
        showPrompt();
        type(QStringLiteral("Secret1"));
        click(prompt(), QStringLiteral("cmdOK"));
        settle();
        EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("Form5")}) << purpose;
        EXPECT_EQ(t.state.passwordok, 1);
    }
    waitUntilActive(t.windows, QStringLiteral("Form5"));
    EXPECT_EQ(t.windows.activeWindow(), cover);
}

TEST_F(PasswordPromptTest, RefusedPasswordsReturnToTheStartWindowAndCloseTheBooksWindows) {
    struct Case {
        const char* what;
        QString typed;
        bool bookMissing;
    };
    const Case cases[] = {
        {"wrong", "Secret2", false},
        {"other case", "sECRET1", false},
        {"longer", "Secret12", false},
        // Both decipher the check phrase, which holds only 10 characters of the key.
        {"the password and its own beginning", "Secret1Sec", false},
        {"the password and more", "Secret1Secret", false},
        {"empty", "", false},
        {"empty, never reads the file", "", true},
        {"outside the character set", QStringLiteral("Secret1\u0416"), false},
        {"a key the cipher cannot use", QStringLiteral("\u00ff\u00ff\u00ff\u00ff"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The export and import windows reach the book as much as the others do.
        standInFor({"Form5", "Form7", "Form10", "Form13", "Form14", "newpassword"});
        for (const char* id : {"Form5", "Form7", "Form10", "Form13", "Form14", "newpassword"})
            t.windows.show(QString::fromLatin1(id));
        t.state.bookdir = dir.path().string();
        t.state.bookname = c.bookMissing ? "missing.dvl" : "diary.dvl";
        t.state.password = "Secret1";
        t.state.passwordok = 1;
        t.state.purpose = 7;
        const std::string before = ReadFileBytes(path);
        const int ends = t.programEnds;

        showPrompt();
        type(c.typed);
        ASSERT_EQ(box()->text(), c.typed);
        t.dialogs.expectMessage("Invalid Password!", Answer::Ok, "Incorrect Password!");
        click(prompt(), QStringLiteral("cmdOK"));
        waitUntilActive(t.windows, kStart);
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.dialogs.shown().back().buttons, Buttons::Ok);
        EXPECT_EQ(t.dialogs.shown().back().icon, Icon::None);
        EXPECT_EQ(t.windows.loadedIds(), QStringList{kStart});
        EXPECT_TRUE(t.state.password.empty());
        EXPECT_EQ(t.state.passwordok, 0);
        EXPECT_EQ(t.state.purpose, 0);
        EXPECT_EQ(ReadFileBytes(path), before);
        EXPECT_EQ(t.programEnds, ends);
        t.windows.unload(kStart);
        settle();
    }
}

TEST_F(PasswordPromptTest, CancelAndEscapeReturnToTheStartWindowWithoutAMessage) {
    struct Case {
        const char* what;
        std::function<void()> cancel;
    };
    const Case cases[] = {
        {"Cancel button", [this] { click(prompt(), QStringLiteral("cmdCancel")); }},
        {"Esc in the box", [this] { QTest::keyClick(box(), Qt::Key_Escape); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        standInFor({"Form5", "Form8", "Form13", "Form14"});
        for (const char* id : {"Form5", "Form8", "Form13", "Form14"})
            t.windows.show(QString::fromLatin1(id));
        t.state.password = "Secret1";
        t.state.purpose = 8;
        showPrompt();
        type(QStringLiteral("Secret1"));
        c.cancel();
        waitUntilActive(t.windows, kStart);
        EXPECT_TRUE(t.dialogs.shown().empty());
        EXPECT_EQ(t.windows.loadedIds(), QStringList{kStart});
        EXPECT_TRUE(t.state.password.empty());
        EXPECT_EQ(t.state.purpose, 0);
        t.windows.unload(kStart);
        settle();
    }
}

TEST_F(PasswordPromptTest, EnterActsAsOk) {
    standInFor({"Form5"});
    showPrompt();
    type(QStringLiteral("Secret1"));
    QTest::keyClick(box(), Qt::Key_Return);
    waitUntilActive(t.windows, QStringLiteral("Form5"));
    EXPECT_EQ(t.state.passwordok, 1);
}

TEST_F(PasswordPromptTest, AFileThatCannotBeReadIsReportedAndLeavesThePromptOpen) {
    struct Case {
        const char* what;
        std::function<void()> breakIt;
        int code;
    };
    const Case cases[] = {
        {"deleted", [this] { std::filesystem::remove(path); }, code::FileNotFound},
        {"empty file", [this] { WriteFileBytes(path, ""); }, code::PastEndOfFile},
        {"directory gone", [this] { t.state.bookdir = dir.file("gone"); }, code::PathNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(path);
        WriteBook(dir.dir(), "diary.dvl");
        t.state.bookdir = dir.path().string();
        t.state.purpose = 5;
        showPrompt();
        type(QStringLiteral("Secret1"));
        c.breakIt();
        ExpectErrorReport(t.dialogs, c.code);
        click(prompt(), QStringLiteral("cmdOK"));
        settle();
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.windows.loadedIds(), QStringList{kPrompt});
        EXPECT_EQ(box()->text(), QStringLiteral("Secret1"));
        EXPECT_EQ(t.state.password, "") << "a text never tried on the book is not the password in force";
        EXPECT_EQ(t.state.purpose, 5);
        EXPECT_EQ(t.state.passwordok, 0);
        t.windows.unload(kPrompt);
        settle();
    }
}

TEST_F(PasswordPromptTest, AfterAFileErrorTheUserMayTryAgain) {
    standInFor({"Form5"});
    std::filesystem::rename(path, dir.file("aside"));
    showPrompt();
    type(QStringLiteral("Secret1"));
    ExpectErrorReport(t.dialogs, code::FileNotFound);
    click(prompt(), QStringLiteral("cmdOK"));
    std::filesystem::rename(dir.file("aside"), path);
    click(prompt(), QStringLiteral("cmdOK"));
    waitUntilActive(t.windows, QStringLiteral("Form5"));
}

TEST_F(PasswordPromptTest, TheCloseBoxClosesOnlyThePrompt) {
    standInFor({"Form5"});
    ProgramWindow* cover = t.windows.show(QStringLiteral("Form5"));
    t.state.password = "Secret1";
    t.state.purpose = 7;
    showPrompt();
    type(QStringLiteral("wrong"));
    prompt()->close();
    waitUntilActive(t.windows, QStringLiteral("Form5"));
    EXPECT_EQ(t.windows.loadedIds(), QStringList{QStringLiteral("Form5")});
    EXPECT_EQ(t.windows.activeWindow(), cover);
    EXPECT_EQ(t.state.password, "Secret1");
    EXPECT_EQ(t.state.purpose, 7);
    EXPECT_TRUE(t.dialogs.shown().empty());
}

TEST_F(PasswordPromptTest, ShowingTheOpenPromptAgainKeepsTheTypedTextAndTheLatestPurposeDecides) {
    standInFor({"Form7", "Form8"});
    t.state.purpose = 7;
    showPrompt();
    type(QStringLiteral("Secret1"));
    t.state.purpose = 8;
    t.windows.show(kPrompt);
    settle();
    EXPECT_EQ(box()->text(), QStringLiteral("Secret1"));
    click(prompt(), QStringLiteral("cmdOK"));
    waitUntilActive(t.windows, QStringLiteral("Form8"));
    EXPECT_FALSE(t.windows.isLoaded(QStringLiteral("Form7")));
}

} // namespace
} // namespace dayvell::test
