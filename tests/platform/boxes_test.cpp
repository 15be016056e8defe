// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/BoxAnswerer.h"
#include "gui/GuiTest.h"

#include "core/Charset.h"
#include "platform/QtDialogs.h"
#include "platform/Text.h"

#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include <optional>

namespace dayvell::test {
namespace {

TEST(TextTest, BoxTextShowsEveryKindOfLineBreakAsOne) {
    struct Case {
        std::string in;
        QString shown;
    };
    const Case cases[] = {
        {"one\rtwo", "one\ntwo"},
        {"one\r\ntwo", "one\ntwo"},
        {"one\ntwo", "one\ntwo"},
        {"one\r\rtwo\r", "one\n\ntwo\n"},
        {"one\r\n\r\ntwo", "one\n\ntwo"},
        {"\n\r", "\n\n"},
        {"Caf\xE9 \x80", QStringLiteral("Caf\u00E9 \u20AC")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BoxText(c.in), c.shown) << c.in;
}

TEST(TextTest, PageTextIsStoredWithCrLfAndEditedWithNewlines) {
    struct Case {
        std::string stored;
        QString edited;
    };
    const Case roundTrips[] = {
        {"", ""},
        {"one line", "one line"},
        {"one\r\ntwo\r\n", "one\ntwo\n"},
        {"\r\n\r\n", "\n\n"},
        {"\x93quoted\x94", QStringLiteral("\u201Cquoted\u201D")},
    };
    for (const Case& c : roundTrips) {
        EXPECT_EQ(EditorTextFromPage(c.stored), c.edited) << c.stored;
        EXPECT_EQ(PageTextFromEditor(c.edited), c.stored) << c.stored;
    }
    // A stray CR or LF in a stored page still shows as a break, and is stored as CR LF once edited.
    EXPECT_EQ(EditorTextFromPage("a\rb\nc"), QStringLiteral("a\nb\nc"));
}

TEST(TextTest, TextOutsideWindows1252IsRefusedOrReplacedAsAsked) {
    EXPECT_EQ(Cp1252FromQString(QStringLiteral("\u20AC 5")), "\x80 5");
    EXPECT_EQ(QStringFromCp1252("\x81\x8D"), QStringLiteral("\u0081\u008D")) << "undefined codes round-trip";
    EXPECT_THROW(Cp1252FromQString(QStringLiteral("a\u4E2D")), UnstorableText);
    EXPECT_THROW(PageTextFromEditor(QStringLiteral("\U0001F600")), UnstorableText);
    EXPECT_EQ(LossyCp1252FromQString(QStringLiteral("1:46\u202FPM \u4E2D\u00A0")), "1:46 PM ?\xA0");
    try {
        Cp1252Path(QStringLiteral("/home/\u4E2D"));
        ADD_FAILURE() << "an unstorable path was taken";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), code::BadFileName);
    }
}

TEST(BoxTitleTest, AnEmptyTitleShowsTheProgramsTitle) {
    EXPECT_EQ(BoxTitle(""), QStringLiteral("dayvell"));
    EXPECT_EQ(BoxTitle("Printer check"), QStringLiteral("Printer check"));
}

class QtDialogsTest : public ::testing::Test {
protected:
    TestServices t;
    QtDialogs dialogs{t.windows};
    BoxAnswerer answerer;
};

TEST_F(QtDialogsTest, MessageBoxShowsItsTextPlainWithTheButtonsAndIconAsked) {
    struct Case {
        Buttons buttons;
        Icon icon;
        QMessageBox::StandardButtons shown;
        QMessageBox::Icon shownIcon;
        QMessageBox::StandardButton pressed;
        Answer answer;
    };
    const Case cases[] = {
        {Buttons::Ok, Icon::None, QMessageBox::Ok, QMessageBox::NoIcon, QMessageBox::Ok, Answer::Ok},
        {Buttons::OkCancel, Icon::Information, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Information,
         QMessageBox::Cancel, Answer::Cancel},
        {Buttons::YesNo, Icon::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question, QMessageBox::No,
         Answer::No},
        {Buttons::YesNoCancel, Icon::Exclamation, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
         QMessageBox::Warning, QMessageBox::Yes, Answer::Yes},
        {Buttons::Ok, Icon::Critical, QMessageBox::Ok, QMessageBox::Critical, QMessageBox::Ok, Answer::Ok},
    };
    for (const Case& c : cases) {
        QString text, title;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        Qt::TextFormat format = Qt::AutoText;
        answerer.then([&](QDialog& dialog) {
            auto& box = static_cast<QMessageBox&>(dialog);
            text = box.text();
            title = box.windowTitle();
            buttons = box.standardButtons();
            icon = box.icon();
            format = box.textFormat();
            box.button(c.pressed)->click();
        });
        EXPECT_EQ(dialogs.message("<b>One</b>\rTwo\r\nThree", "", c.buttons, c.icon), c.answer);
        EXPECT_EQ(text, QStringLiteral("<b>One</b>\nTwo\nThree"));
        EXPECT_EQ(format, Qt::PlainText);
        EXPECT_EQ(title, QStringLiteral("dayvell"));
        EXPECT_EQ(buttons, c.shown);
        EXPECT_EQ(icon, c.shownIcon);
    }
    EXPECT_EQ(answerer.unexpected(), 0);
}

TEST_F(QtDialogsTest, EnterGivesTheDefaultAnswerAskedForOrElseTheFirstButton) {
    struct Case {
        Buttons buttons;
        std::optional<Answer> defaultButton;
        Answer byEnter;
    };
    const Case cases[] = {
        {Buttons::YesNo, Answer::No, Answer::No},
        {Buttons::YesNo, std::nullopt, Answer::Yes},
        {Buttons::YesNoCancel, Answer::Cancel, Answer::Cancel},
        {Buttons::OkCancel, Answer::Cancel, Answer::Cancel},
        {Buttons::Ok, Answer::No, Answer::Ok}, // a default the box has no button for is ignored
    };
    for (const Case& c : cases) {
        answerer.then([](QDialog& box) { QTest::keyClick(&box, Qt::Key_Return); });
        EXPECT_EQ(dialogs.message("Are you sure?", "Delete Page?", c.buttons, Icon::Question, c.defaultButton),
                  c.byEnter);
    }
    EXPECT_EQ(answerer.unexpected(), 0);
}

// The window manager writes the title in a bar beside its own buttons; a box as narrow as its text cuts the title,
// which for an error is what names the failure.
TEST_F(QtDialogsTest, EveryBoxIsWideEnoughForItsTitleAndTheTitleBarsButtons) {
    struct Case {
        bool input;
        std::string text, title;
    };
    const Case cases[] = {
        {false, "", "ERROR   #53    !!!!File not found"},
        {false, "Invalid Password!", "Incorrect Password!"},
        {false, "OK?", "A rather long title over a box that says little"},
        {true, "Name?", "A rather long title over a box that asks little"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        int width = 0;
        int needed = 0;
        answerer.then([&](QDialog& box) {
            QFont bold = box.font();
            bold.setBold(true);
            // Three title-bar buttons of at least 20 pixels each, and a margin at each end.
            needed = QFontMetrics(bold).horizontalAdvance(QString::fromStdString(c.title)) + 3 * 20 + 2 * 8;
            width = box.frameGeometry().width();
            box.reject();
        });
        if (c.input)
            dialogs.input(c.text, c.title);
        else
            dialogs.message(c.text, c.title, Buttons::Ok, Icon::None);
        EXPECT_GE(width, needed);
    }
}

// A path or a name typed without a blank is one long word that a box cannot break at its blanks: every character of
// it must still be shown, on as many lines as it takes, in a box that fits the screen.
TEST_F(QtDialogsTest, AMessageWithAWordLongerThanTheBoxIsWrappedAndShownWhole) {
    const std::string longName(240, 'L');
    std::string manyFolders;
    for (int i = 0; i < 60; ++i)
        manyFolders += "/folder" + std::to_string(i);
    const std::string cases[] = {
        "Your dayvell was exported to /tmp/" + longName + ".txt.\r\n\r\nThis file is not protected by your password.",
        "A file named " + longName + " already exists in this folder. Do you want to replace it?",
        manyFolders + "/diary.dvl",
        std::string(400, '\x80'),
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        QString shown;
        QRect box, available, needed, label;
        answerer.then([&](QDialog& dialog) {
            auto* words = dialog.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            ASSERT_NE(words, nullptr);
            shown = words->text();
            label = words->contentsRect();
            needed = words->fontMetrics().boundingRect(QRect(0, 0, label.width(), 1 << 20), Qt::TextWordWrap, shown);
            box = dialog.frameGeometry();
            available = dialog.screen()->availableGeometry();
            dialog.accept();
        });
        dialogs.message(text, "Export complete", Buttons::Ok, Icon::Information);
        // Breaks may be offered between the characters, but nothing is left out or changed.
        EXPECT_EQ(QString(shown).remove(QChar(0x200B)), BoxText(text));
        EXPECT_LE(needed.width(), label.width()) << "a line runs past the box's edge";
        EXPECT_LE(needed.height(), label.height()) << "lines are cut off at the bottom";
        EXPECT_TRUE(available.contains(box)) << "the box is larger than the screen";
    }
    EXPECT_EQ(answerer.unexpected(), 0);
}

// Text that breaks at its blanks is shown exactly as given.
TEST_F(QtDialogsTest, AMessageOfOrdinaryWordsIsShownAsGiven) {
    QString shown;
    answerer.then([&](QDialog& dialog) {
        shown = static_cast<QMessageBox&>(dialog).text();
        dialog.accept();
    });
    const std::string text = "The target directory already has a file by the same name. Do you want to replace the "
                             "target? /home/user/Documents/diary.dvl";
    dialogs.message(text, "File already exists!", Buttons::Ok, Icon::None);
    EXPECT_EQ(shown, BoxText(text));
}

TEST_F(QtDialogsTest, ClosingAMessageBoxWithoutChoosingIsCancelOrNo) {
    answerer.then([](QDialog& box) { box.reject(); }).then([](QDialog& box) { box.reject(); });
    EXPECT_EQ(dialogs.message("Sure?", "Quit Dayvell?", Buttons::YesNo, Icon::Question), Answer::No);
    EXPECT_EQ(dialogs.message("Ready?", "Printer check", Buttons::OkCancel, Icon::Information), Answer::Cancel);
}

TEST_F(QtDialogsTest, InputBoxGivesTheTypedTextOrEmptyOnCancel) {
    QString prompt, title, startText;
    answerer
        .then([&](QDialog& dialog) {
            auto& box = static_cast<QInputDialog&>(dialog);
            prompt = box.labelText();
            title = box.windowTitle();
            startText = box.textValue();
            box.setTextValue(QStringLiteral("caf\u00E9"));
            box.accept();
        })
        .then([](QDialog& dialog) {
            static_cast<QInputDialog&>(dialog).setTextValue(QStringLiteral("typed"));
            dialog.reject();
        });
    EXPECT_EQ(dialogs.input("Enter a name\r(1-8 characters)", "Dayvell Name"), "caf\xE9");
    EXPECT_EQ(prompt, QStringLiteral("Enter a name\n(1-8 characters)"));
    EXPECT_EQ(title, QStringLiteral("Dayvell Name"));
    EXPECT_EQ(startText, QString()) << "no default text";
    EXPECT_EQ(dialogs.input("Password?"), "");
}

TEST_F(QtDialogsTest, InputBoxRefusesUnstorableCharactersAndAsksAgainWithTheTextKept) {
    QString message, secondStart;
    answerer
        .then([](QDialog& dialog) {
            static_cast<QInputDialog&>(dialog).setTextValue(QStringLiteral("pa\u4E2Dss"));
            dialog.accept();
        })
        .then([&](QDialog& dialog) {
            message = static_cast<QMessageBox&>(dialog).text();
            dialog.accept();
        })
        .then([&](QDialog& dialog) {
            auto& box = static_cast<QInputDialog&>(dialog);
            secondStart = box.textValue();
            box.setTextValue(QStringLiteral("pass"));
            box.accept();
        });
    EXPECT_EQ(dialogs.input("Please enter a password 4-10 characters."), "pass");
    EXPECT_TRUE(message.contains(QStringLiteral("U+4E2D"))) << message.toStdString();
    EXPECT_EQ(secondStart, QStringLiteral("pa\u4E2Dss"));
    EXPECT_EQ(answerer.answered(), 3);
}

} // namespace
} // namespace dayvell::test
