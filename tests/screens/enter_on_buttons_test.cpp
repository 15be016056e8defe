// SPDX-License-Identifier: GPL-3.0-or-later
// Enter, as a keyboard user presses it: on a focused button it presses that button, whatever the window's default
// button is. Every window with a default button is walked with Tab to its Cancel and Help, and Enter (the main key
// and the keypad's) is sent to the control with the focus.
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "core/Help.h"
#include "screens/Windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

namespace dayvell::test {
namespace {

const QString kStart = QStringLiteral("form1");
const QString kCover = QStringLiteral("Form5");

struct Key {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};
const Key kEnterKeys[] = {{"Return", Qt::Key_Return, Qt::NoModifier},
                          {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier}};

class EnterOnButtonsTest : public ::testing::Test {
protected:
    EnterOnButtonsTest() { RegisterWindows(t.services); }

    ProgramWindow* window(const QString& id) const { return t.windows.window(id); }

    // Moves the focus with Tab, as a person does, until `name` has it; fails the test when Tab never gets there.
    static QWidget* tabTo(const QString& name) {
        for (int presses = 0; presses < 40; ++presses) {
            QWidget* focus = QApplication::focusWidget();
            if (!focus) {
                ADD_FAILURE() << "No control has the focus";
                throw GuiTestAbort("no focus");
            }
            if (focus->objectName() == name)
                return focus;
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        ADD_FAILURE() << "Tab never reaches \"" << name.toStdString() << "\"";
        throw GuiTestAbort("not reached by Tab");
    }

    // Clicks into the line edit and types, as a person does.
    static void typeInto(ProgramWindow* window, const char* name, const QString& text) {
        auto* edit = find<QLineEdit>(window, QString::fromLatin1(name));
        QTest::mouseClick(edit, Qt::LeftButton);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    TestServices t;
};

TEST_F(EnterOnButtonsTest, EnterOnAFocusedCancelOrHelpPressesThatButtonAndChangesNothing) {
    struct Case {
        const char* name;
        const char* flags;
        // The cover's menu item that opens the window.
        const char* item;
        QString window;
        // What the user does in the window before leaving it.
        std::function<void(ProgramWindow*)> change;
        const char* button;
        // Help shows its topic and the window stays; without one the button is a Cancel and the window closes.
        std::optional<int> helpTopic;
        // Where the user is after a Cancel.
        QString after = kCover;
    };
    const auto tickFirstBox = [](ProgramWindow* w) {
        auto* box = find<QCheckBox>(w, QStringLiteral("Check1"));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    };
    const auto typeCoverName = [](ProgramWindow* w) { typeInto(w, "Text1", QStringLiteral("Another name")); };
    const auto typeFileName = [](ProgramWindow* w) { typeInto(w, "Text1", QStringLiteral("renamed")); };
    const auto typeCurrentPassword = [](ProgramWindow* w) {
        typeInto(w, "txtPassword", QString::fromLatin1(kDiaryPassword));
    };
    const auto typeNewPassword = [](ProgramWindow* w) {
        typeInto(w, "txtPassword", QString::fromLatin1(kDiaryPassword));
        click(w, QStringLiteral("Command1"));
        typeInto(w, "Text1", QStringLiteral("wxyz"));
    };
    const Case cases[] = {
        {"security, Cancel", "0000000", "security", "Form6", tickFirstBox, "Command1", {}},
        {"security, Help", "0000000", "security", "Form6", tickFirstBox, "Command3", 6},
        {"cover name, Cancel", "0000000", "cover", "Form10", typeCoverName, "Command2", {}},
        {"cover name, Help", "0000000", "cover", "Form10", typeCoverName, "Command3", 10},
        {"file name, Cancel", "0000000", "changefile", "Form12", typeFileName, "Command2", {}},
        {"file name, Help", "0000000", "changefile", "Form12", typeFileName, "Command3", 12},
        {"password, first step, Cancel", "0000000", "changepass", "newpassword", typeCurrentPassword, "command3", {}},
        {"password, first step, Help", "0000000", "changepass", "newpassword", typeCurrentPassword, "Command4", 13},
        {"password, second step, Cancel", "0000000", "changepass", "newpassword", typeNewPassword, "command3", {}},
        {"password, second step, Help", "0000000", "changepass", "newpassword", typeNewPassword, "Command4", 13},
        {"password prompt, Cancel", "0010000", "security", "frmpassword", typeCurrentPassword, "cmdCancel", {}, kStart},
    };
    for (const Case& c : cases) {
        for (const Key& key : kEnterKeys) {
            SCOPED_TRACE(std::string(c.name) + ", " + key.name);
            Diary diary({StampedPage(1, "Page one")}, c.flags);
            diary.open(t.state);
            t.windows.show(kCover);
            waitUntilActive(t.windows, kCover);
            trigger(window(kCover), QString::fromLatin1(c.item));
            waitUntilActive(t.windows, c.window);
            ProgramWindow* shown = window(c.window);
            c.change(shown);
            const std::string before = diary.bytes();

            QWidget* focused = tabTo(QString::fromLatin1(c.button));
            if (c.helpTopic)
                t.dialogs.expectMessage(HelpText(*c.helpTopic), Answer::Ok, "Help");
            QTest::keyClick(focused, key.key, key.modifiers);
            settle();
            EXPECT_TRUE(t.dialogs.allAnswered());
            if (c.helpTopic) {
                EXPECT_TRUE(t.windows.isLoaded(c.window));
            } else {
                waitUntilActive(t.windows, c.after);
                EXPECT_FALSE(t.windows.isLoaded(c.window));
            }
            EXPECT_TRUE(diary.bytes() == before) << "the book was changed";
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(diary.path()).parent_path() / "renamed.dvl"));
            if (c.after == kCover) {
                EXPECT_EQ(t.state.password, kDiaryPassword);
            }
            t.windows.unloadAll();
            settle();
        }
    }
}

// Away from the buttons Enter still does what it did: in a text box or on a check box it presses the default button.
TEST_F(EnterOnButtonsTest, EnterOutsideTheButtonsStillPressesTheDefaultButton) {
    for (const Key& key : kEnterKeys) {
        SCOPED_TRACE(key.name);
        Diary diary({StampedPage(1, "Page one")});
        diary.open(t.state);
        t.windows.show(kCover);
        waitUntilActive(t.windows, kCover);
        trigger(window(kCover), QStringLiteral("changefile"));
        waitUntilActive(t.windows, QStringLiteral("Form12"));
        typeInto(window(QStringLiteral("Form12")), "Text1", QStringLiteral("renamed"));
        t.dialogs.expectMessage("File name was changed!");
        QTest::keyClick(QApplication::focusWidget(), key.key, key.modifiers);
        waitUntilActive(t.windows, kCover);
        EXPECT_TRUE(t.dialogs.allAnswered());
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(diary.path()).parent_path() / "renamed.dvl"));
        t.windows.unloadAll();
        settle();
    }
}

} // namespace
} // namespace dayvell::test
