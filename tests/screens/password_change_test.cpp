// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/Codec.h"
#include "core/DescribedFormat.h"
#include "core/ErrorReporter.h"
#include "core/Help.h"
#include "core/Purposes.h"
#include "core/Record.h"
#include "core/SealedKeys.h"
#include "core/TempDir.h"
#include "core/WrittenBooks.h"
#include "screens/Windows.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>

namespace dayvell::test {
namespace {

const QString kCover = QStringLiteral("Form5");
const QString kChange = QStringLiteral("newpassword");
const char* const kIncorrect = "Incorrect password!";
const char* const kTooShort = "Password must be longer than 4 characters!";
const char* const kTooLong = "Password cannot be more than 10 chracters!";

// Every field of a book file deciphered: the header's five, then each page's four and its plain end mark.
std::vector<std::string> Plain(const std::string& path, const std::string& key) {
    std::vector<std::string> fields;
    const auto records = StoredRecords(path);
    for (std::size_t r = 0; r < records.size(); ++r)
        for (std::size_t i = 0; i < records[r].size(); ++i)
            fields.push_back(r > 0 && i == 4 ? records[r][i] : Decode(records[r][i], key));
    return fields;
}

class PasswordChangeTest : public ::testing::Test {
protected:
    PasswordChangeTest() { RegisterWindows(t.services); }

    // Opens the book's cover window and, from its menu, the password change. The book is sealed (under the same
    // password) when `kind` says so.
    ProgramWindow* open(const TestBook& plan = {"Secret1", "Anna's book", "1/2/2025", "0000000", 3},
                        BookKind kind = BookKind::Described) {
        std::filesystem::remove(dir.file("diary.dvl"));
        path = WriteBook(dir.dir(), "diary.dvl", plan);
        if (kind == BookKind::Sealed)
            Book(path, plan.password).changePassword(plan.password, kind);
        original = ReadFileBytes(path);
        t.state.bookdir = dir.dir();
        t.state.bookname = "diary.dvl";
        t.state.password = plan.password;
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
        trigger(t.windows.window(kCover), QStringLiteral("changepass"));
        waitUntilActive(t.windows, kChange);
        return window();
    }
    ProgramWindow* window() const { return t.windows.window(kChange); }
    bool visible(const char* control) const {
        return find<QWidget>(window(), QString::fromLatin1(control))->isVisible();
    }
    // Which of the two steps shows: the current password's controls, then the new password's.
    std::string step() const {
        std::string shown;
        for (const char* control : {"txtPassword", "Command1", "Label1", "Text1", "command2"})
            shown += visible(control) ? '1' : '0';
        return shown;
    }
    void typeCurrent(const QString& text) {
        typeText(find<QLineEdit>(window(), QStringLiteral("txtPassword")), text);
        click(window(), QStringLiteral("Command1"));
    }
    void typeNew(const QString& text) {
        auto* box = find<QLineEdit>(window(), QStringLiteral("Text1"));
        box->clear();
        QTest::keyClicks(box, text);
        click(window(), QStringLiteral("command2"));
    }
    void expectBackAtTheCover() {
        EXPECT_FALSE(t.windows.isLoaded(kChange));
        waitUntilActive(t.windows, kCover);
    }

    TestServices t;
    TempDir dir;
    std::string path;
    std::string original;
};

const std::string kFirstStep = "11000";
const std::string kSecondStep = "00111";

TEST_F(PasswordChangeTest, OpensOnTheCurrentPasswordStep) {
    ProgramWindow* w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Newpassword"));
    EXPECT_EQ(step(), kFirstStep);
    EXPECT_TRUE(visible("Label2"));
    auto* box = find<QLineEdit>(w, QStringLiteral("txtPassword"));
    EXPECT_EQ(box->echoMode(), QLineEdit::Password);
    EXPECT_EQ(box->toolTip(), QStringLiteral("Enter your current password here"));
    EXPECT_EQ(find<QLineEdit>(w, QStringLiteral("Text1"))->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(find<QLabel>(w, QStringLiteral("Label2"))->text(),
              QStringLiteral("Password must be between 4-10 characters"));
    EXPECT_EQ(find<QPushButton>(w, QStringLiteral("command3"))->toolTip(),
              QStringLiteral("Cancel, keep current password"));
}

TEST_F(PasswordChangeTest, TheCurrentPasswordDecidesTheStep) {
    struct Case {
        const char* what;
        QString typed;
        bool right;
    };
    const Case cases[] = {
        {"right", QStringLiteral("Secret1"), true},
        {"wrong", QStringLiteral("Secret2"), false},
        {"letter case differs", QStringLiteral("secret1"), false},
        // Both decipher the check phrase, which holds only 10 characters of the key; a change under either would
        // re-encipher every page under the wrong key for good.
        {"the password and its own beginning", QStringLiteral("Secret1Sec"), false},
        {"the password and more", QStringLiteral("Secret1Secret"), false},
        {"empty", QString(), false},
        {"outside the character set", QStringLiteral("Secret\u0416"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        open();
        if (!c.right)
            t.dialogs.expectMessage(kIncorrect, Answer::Ok, "");
        typeCurrent(c.typed);
        EXPECT_TRUE(t.dialogs.allAnswered());
        if (c.right) {
            EXPECT_EQ(step(), kSecondStep);
            EXPECT_EQ(t.state.passwordok, 1);
            t.windows.unload(kChange);
        } else {
            expectBackAtTheCover();
            EXPECT_EQ(t.state.passwordok, 0);
        }
        EXPECT_EQ(t.state.password, "Secret1");
        EXPECT_EQ(ReadFileBytes(path), original);
        t.windows.unload(kCover);
        settle();
    }
}

TEST_F(PasswordChangeTest, AnEmptyCurrentPasswordIsRefusedWithoutReadingTheBook) {
    open();
    std::filesystem::remove(path); // reading it now would be reported as a missing file
    t.dialogs.expectMessage(kIncorrect);
    ExpectErrorReport(t.dialogs, code::FileNotFound); // the cover window's, on its return
    typeCurrent({});
    expectBackAtTheCover();
    EXPECT_TRUE(t.dialogs.allAnswered());
}

TEST_F(PasswordChangeTest, NewPasswordsOfFourToTenCharactersAreAccepted) {
    struct Case {
        QString typed;
        const char* refusal; // nullptr: accepted; "": nothing happens
    };
    const Case cases[] = {
        {QStringLiteral("a"), kTooShort},          {QStringLiteral("abc"), kTooShort},
        {QStringLiteral("abcd"), nullptr},         {QStringLiteral("abcdefghij"), nullptr},
        {QStringLiteral("abcdefghijk"), kTooLong}, {QString(), ""},
        {QStringLiteral("Secret1"), nullptr}, // the same as the old one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        open();
        typeCurrent(QStringLiteral("Secret1"));
        const std::vector<std::string> before = Plain(path, "Secret1");
        if (c.refusal && *c.refusal)
            t.dialogs.expectMessage(c.refusal, Answer::Ok, "");
        typeNew(c.typed);
        EXPECT_TRUE(t.dialogs.allAnswered());
        if (c.refusal) {
            EXPECT_EQ(step(), kSecondStep);
            EXPECT_EQ(ReadFileBytes(path), original);
            EXPECT_EQ(t.state.password, "Secret1");
            t.windows.unload(kChange);
        } else {
            expectBackAtTheCover();
            const std::string key = c.typed.toStdString();
            EXPECT_EQ(t.state.password, key);
            EXPECT_TRUE(t.state.newpass.empty());
            EXPECT_EQ(Plain(path, key), before) << "every field deciphers to what it did";
            EXPECT_TRUE(Book(path, key).checkPassword());
            if (key != "Secret1") {
                EXPECT_FALSE(Book(path, "Secret1").checkPassword());
            }
            EXPECT_FALSE(std::filesystem::exists(dir.file("dvltemp.dvl")));
        }
        t.windows.unload(kCover);
        settle();
    }
}

// A box cannot show a character outside a book's character set: it names it by number, and the window shows it as
// it looks under the new password.
TEST_F(PasswordChangeTest, ANewPasswordWithCharactersNoBookHoldsIsRefusedShowingThem) {
    struct Case {
        QString typed;
        std::string named;
        QString shown;
    };
    const Case cases[] = {
        {QString::fromUtf8("Sz\xC5\x91p1"), "the character U+0151", QString::fromUtf8("\xC5\x91 (U+0151)")},
        {QString::fromUtf8("\xF0\x9F\x98\x80"
                           "ab\xD0\x96"),
         "the characters U+1F600, U+0416", QString::fromUtf8("\xF0\x9F\x98\x80 (U+1F600), \xD0\x96 (U+0416)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        open();
        typeCurrent(QStringLiteral("Secret1"));
        typeText(find<QLineEdit>(window(), QStringLiteral("Text1")), c.typed);
        auto* hint = find<QLabel>(window(), QStringLiteral("Hint"));
        EXPECT_TRUE(hint->isVisible());
        EXPECT_EQ(hint->text(), QStringLiteral("Cannot be used in a password: ") + c.shown);
        t.dialogs.expectMessage("The new password cannot be used: a dayvell cannot store " + c.named +
                                    ", shown in red under the new password. Please choose another password; your "
                                    "current password stays in force.",
                                Answer::Ok, "");
        click(window(), QStringLiteral("command2"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.dialogs.shown().back().icon, Icon::Exclamation);
        EXPECT_EQ(step(), kSecondStep);
        EXPECT_EQ(t.state.password, "Secret1");
        EXPECT_EQ(ReadFileBytes(path), original);

        // Mended, the hint goes and the password is taken.
        auto* box = find<QLineEdit>(window(), QStringLiteral("Text1"));
        box->clear();
        EXPECT_FALSE(hint->isVisible());
        typeNew(QStringLiteral("Mended1"));
        expectBackAtTheCover();
        EXPECT_TRUE(Book(path, "Mended1").checkPassword());
        t.windows.unload(kCover);
        settle();
    }
}

// The box shows the book's kind; changed, the book is converted with its new password, and the cover says what it
// has become. A page the classic cipher cannot carry under the new password keeps the book sealed, named.
TEST_F(PasswordChangeTest, TheSealBoxConvertsTheBookEitherWayAndTheCoverSaysItsKind) {
    const sealed::KdfLimitsForTests fastPasswords(sealed::KdfLimits::WeakForTests(1, sealed::kMinMemlimit));
    const QString sealedLine = QStringLiteral("Sealed with modern encryption");
    const QString classicLine = QStringLiteral("Enciphered with the classic Dayvell cipher");
    struct Case {
        const char* what;
        BookKind from;
        std::string lastPage; // added as page 4
        QString newPassword;
        const char* refusal; // nullptr: converted
    };
    const Case cases[] = {
        {"sealed", BookKind::Described, "plain", QStringLiteral("a passphrase past ten characters"), nullptr},
        {"unsealed", BookKind::Sealed, "plain", QStringLiteral("Fresh22"), nullptr},
        {"unsealed with a page the cipher cannot carry", BookKind::Sealed, "caf\xE9 au lait", QStringLiteral("Fresh22"),
         "The new password cannot be used: it cannot encipher the character \"\xE9\" on page 4. Please choose "
         "another password; your current password stays in force."},
        {"unsealed with a passphrase too long", BookKind::Sealed, "plain", QStringLiteral("a passphrase"), kTooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const BookKind to = c.from == BookKind::Sealed ? BookKind::Described : BookKind::Sealed;
        ProgramWindow* w = open({"Secret1", "Anna's book", "1/2/2025", "0000000", 3}, c.from);
        Book(path, "Secret1").appendPage({{}, "Monday, 1/3/2025", "9:00:00 AM", c.lastPage});
        original = ReadFileBytes(path);
        const std::string content = PlainContent(path, "Secret1");
        ProgramWindow* cover = t.windows.window(kCover);
        EXPECT_EQ(find<QLabel>(cover, QStringLiteral("Label13"))->text(),
                  c.from == BookKind::Sealed ? sealedLine : classicLine);

        typeCurrent(QStringLiteral("Secret1"));
        auto* box = find<QCheckBox>(w, QStringLiteral("Check1"));
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(box->isChecked(), c.from == BookKind::Sealed);
        box->click();
        EXPECT_EQ(find<QLabel>(w, QStringLiteral("Label2"))->text(),
                  to == BookKind::Sealed ? QStringLiteral("Password must be between 4-128 characters")
                                         : QStringLiteral("Password must be between 4-10 characters"));
        if (c.refusal)
            t.dialogs.expectMessage(c.refusal, Answer::Ok, "");
        typeNew(c.newPassword);
        EXPECT_TRUE(t.dialogs.allAnswered());
        if (c.refusal) {
            EXPECT_EQ(step(), kSecondStep);
            EXPECT_EQ(ReadFileBytes(path), original);
            EXPECT_EQ(t.state.password, "Secret1");
            EXPECT_FALSE(std::filesystem::exists(dir.file("dvltemp.dvl")));
            t.windows.unload(kChange);
        } else {
            expectBackAtTheCover();
            const std::string key = c.newPassword.toStdString();
            EXPECT_EQ(t.state.password, key);
            EXPECT_EQ(Book(path, {}).kind(), to);
            EXPECT_EQ(PlainContent(path, key), content);
            EXPECT_FALSE(Book(path, "Secret1").checkPassword());
            EXPECT_EQ(find<QLabel>(cover, QStringLiteral("Label13"))->text(),
                      to == BookKind::Sealed ? sealedLine : classicLine);
        }
        t.windows.unloadAll();
        settle();
    }
}

// After the change the book opens through the password prompt with the new password only, and the cover shows
// what it showed before.
TEST_F(PasswordChangeTest, TheChangedBookOpensOnlyWithTheNewPassword) {
    open();
    typeCurrent(QStringLiteral("Secret1"));
    typeNew(QStringLiteral("Fresh22"));
    expectBackAtTheCover();
    EXPECT_EQ(find<QLabel>(t.windows.window(kCover), QStringLiteral("Label2"))->text(), QStringLiteral("Anna's book"));
    EXPECT_EQ(find<QLabel>(t.windows.window(kCover), QStringLiteral("Label10"))->text(), QStringLiteral(" 3"));
    t.windows.unloadAll();
    settle();

    for (const QString& typed : {QStringLiteral("Secret1"), QStringLiteral("Fresh22")}) {
        t.state.password.clear();
        t.state.purpose = purpose::OpenBook;
        t.windows.show(QStringLiteral("frmpassword"));
        waitUntilActive(t.windows, QStringLiteral("frmpassword"));
        QTest::keyClicks(
            find<QLineEdit>(t.windows.window(QStringLiteral("frmpassword")), QStringLiteral("txtPassword")), typed);
        const bool right = typed == QStringLiteral("Fresh22");
        if (!right)
            t.dialogs.expectMessage("Invalid Password!", Answer::Ok, "Incorrect Password!");
        click(t.windows.window(QStringLiteral("frmpassword")), QStringLiteral("cmdOK"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(t.windows.isLoaded(kCover), right) << typed.toStdString();
        t.windows.unloadAll();
        settle();
    }
}

TEST_F(PasswordChangeTest, CancelInEitherStepKeepsTheBookAndItsPassword) {
    for (const bool secondStep : {false, true}) {
        SCOPED_TRACE(secondStep ? "second step" : "first step");
        open();
        if (secondStep) {
            typeCurrent(QStringLiteral("Secret1"));
            find<QLineEdit>(window(), QStringLiteral("Text1"))->setText(QStringLiteral("Other99"));
        } else {
            QTest::keyClicks(find<QLineEdit>(window(), QStringLiteral("txtPassword")), QStringLiteral("Wrong"));
        }
        click(window(), QStringLiteral("command3"));
        expectBackAtTheCover();
        EXPECT_EQ(t.state.password, "Secret1");
        EXPECT_TRUE(t.state.newpass.empty());
        EXPECT_EQ(ReadFileBytes(path), original);
        t.windows.unload(kCover);
        settle();
    }
}

// A book made elsewhere in a drive's root, without pages: nothing in it is longer than 10 characters, so a new password
// that repeats itself within them could not be told from its shorter repetition, and the owner could not open it.
TEST_F(PasswordChangeTest, APasswordTheBookCouldNotTellApartIsRefusedAndTheBookKept) {
    open();
    original = FormatRecord({Encode(kCheckPhrase, "Secret1"), Encode("C:\\", "Secret1"), Encode("___", "Secret1"),
                             Encode("1/2/2025", "Secret1"), Encode("0000000", "Secret1")});
    WriteFileBytes(path, original);
    typeCurrent(QStringLiteral("Secret1"));
    ASSERT_EQ(step(), kSecondStep);
    t.dialogs.expectMessage("The new password cannot be used: it repeats itself, and your dayvell could not tell it "
                            "from the shorter password that repeats the same way. Please choose another password; "
                            "your current password stays in force.");
    typeNew(QStringLiteral("abcdabcdab"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_EQ(step(), kSecondStep);
    EXPECT_EQ(t.state.password, "Secret1");
    EXPECT_EQ(ReadFileBytes(path), original);

    typeNew(QStringLiteral("abcdabcd"));
    expectBackAtTheCover();
    EXPECT_EQ(t.state.password, "abcdabcd");
    EXPECT_TRUE(Book(path, "abcdabcd").checkPassword());
}

TEST_F(PasswordChangeTest, APasswordThatCannotCarryTheBookIsRefusedNamingCharacterAndPlace) {
    struct Case {
        const char* what;
        TestBook plan;
        std::string extraPageText; // a fourth page, when not empty
        std::string message;
    };
    const std::string tail = ". Please choose another password; your current password stays in force.";
    const Case cases[] = {
        {"cover name",
         {"1111", "Cr\xC8me", "1/2/2025", "0000000", 1},
         "",
         "The new password cannot be used: it cannot encipher the character \"\xC8\" in the cover name" + tail},
        {"a page",
         {"1111", "___", "1/2/2025", "0000000", 3},
         "Cr\xC8me",
         "The new password cannot be used: it cannot encipher the character \"\xC8\" on page 4" + tail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        open(c.plan);
        if (!c.extraPageText.empty()) {
            Book(path, "1111").appendPage({" 4", "Saturday, 12/5/2026", "1:46:33 PM", c.extraPageText});
            original = ReadFileBytes(path);
        }
        typeCurrent(QStringLiteral("1111"));
        t.dialogs.expectMessage(c.message);
        typeNew(QStringLiteral("zzzz"));
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_EQ(step(), kSecondStep);
        EXPECT_EQ(t.state.password, "1111");
        EXPECT_EQ(ReadFileBytes(path), original);
        EXPECT_FALSE(std::filesystem::exists(dir.file("dvltemp.dvl")));

        // Another password that carries it goes through.
        typeNew(QStringLiteral("1234"));
        expectBackAtTheCover();
        EXPECT_EQ(t.state.password, "1234");
        t.windows.unload(kCover);
        settle();
    }
}

TEST_F(PasswordChangeTest, AFailedChangeIsReportedAndLeavesThePasswordTheBookIsEncipheredWith) {
    open();
    typeCurrent(QStringLiteral("Secret1"));
    // A folder where the scratch file goes: the change cannot be written.
    std::filesystem::create_directory(dir.path() / "dvltemp.dvl");
    ExpectErrorReport(t.dialogs, code::FileExists, kScratchNameTaken);
    typeNew(QStringLiteral("Other99"));
    EXPECT_TRUE(t.dialogs.allAnswered());
    EXPECT_TRUE(t.windows.isLoaded(kChange));
    EXPECT_EQ(step(), kSecondStep);
    EXPECT_EQ(t.state.password, "Secret1");
    EXPECT_TRUE(t.state.newpass.empty());
    EXPECT_EQ(ReadFileBytes(path), original);

    std::filesystem::remove(dir.path() / "dvltemp.dvl");
    typeNew(QStringLiteral("Other99"));
    expectBackAtTheCover();
    EXPECT_EQ(t.state.password, "Other99");
    EXPECT_TRUE(Book(path, "Other99").checkPassword());
}

TEST_F(PasswordChangeTest, HelpShowsTopicThirteenAndEnterPressesTheStepsButton) {
    open();
    t.dialogs.expectMessage(HelpText(13), Answer::Ok, "Help");
    click(window(), QStringLiteral("Command4"));
    EXPECT_TRUE(t.dialogs.allAnswered());

    QTest::keyClicks(find<QLineEdit>(window(), QStringLiteral("txtPassword")), QStringLiteral("Secret1"));
    QTest::keyClick(find<QLineEdit>(window(), QStringLiteral("txtPassword")), Qt::Key_Return);
    EXPECT_EQ(step(), kSecondStep);
    QTest::keyClicks(find<QLineEdit>(window(), QStringLiteral("Text1")), QStringLiteral("Enter99"));
    QTest::keyClick(find<QLineEdit>(window(), QStringLiteral("Text1")), Qt::Key_Return);
    expectBackAtTheCover();
    EXPECT_TRUE(Book(path, "Enter99").checkPassword());
}

} // namespace
} // namespace dayvell::test
