// SPDX-License-Identifier: GPL-3.0-or-later
// Every window the program registers, walked as a keyboard user and a screen reader meet it: each control reached
// with Tab in reading order, each button and menu item with an accelerator of its own, each control named.
#include "gui/BookSteps.h"
#include "gui/PageSteps.h"

#include "platform/ProgramIdentity.h"
#include "screens/Windows.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace dayvell::test {
namespace {

// Answers every box with Cancel: this walk is about the windows' controls, not about what their handlers ask.
class CancellingDialogs : public Dialogs {
public:
    Answer message(const std::string&, const std::string&, Buttons buttons, Icon, std::optional<Answer>) override {
        return buttons == Buttons::YesNo ? Answer::No : buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
    std::string input(const std::string&, const std::string&) override { return {}; }
};

QString Name(const QObject* object) {
    return object->objectName().isEmpty() ? QString::fromLatin1(object->metaObject()->className())
                                          : object->objectName();
}

bool IsControlType(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QAbstractItemView*>(widget) || qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget);
}

// The controls a user works with: not the parts Qt builds inside a control (a combo box's line edit, a text box's
// scroll bars) nor the menu bar's own buttons.
std::vector<QWidget*> Controls(QWidget* window) {
    std::vector<QWidget*> controls;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!IsControlType(widget) || widget->objectName().startsWith(QLatin1String("qt_")))
            continue;
        bool inner = false;
        for (QWidget* up = widget->parentWidget(); up && up != window; up = up->parentWidget())
            inner = inner || IsControlType(up) || qobject_cast<QMenuBar*>(up);
        if (!inner && widget->isVisibleTo(window))
            controls.push_back(widget);
    }
    return controls;
}

// The letter after a single "&", lower case; none when the text has no accelerator.
QChar Accelerator(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] != QLatin1Char('&'))
            return text[i + 1].toLower();
        ++i;
    }
    return {};
}

// Records every accelerator of one group (a window's buttons and menu titles, or one menu's items) and fails on a
// missing or clashing one.
class AcceleratorGroup {
public:
    explicit AcceleratorGroup(QString where) : m_where(std::move(where)) {}
    void add(const QString& what, const QString& text) {
        const QChar key = Accelerator(text);
        if (key.isNull()) {
            ADD_FAILURE() << m_where.toStdString() << ": " << what.toStdString() << " (\"" << text.toStdString()
                          << "\") has no keyboard accelerator";
            return;
        }
        auto [it, added] = m_taken.emplace(key, what);
        if (!added)
            ADD_FAILURE() << m_where.toStdString() << ": " << what.toStdString() << " and " << it->second.toStdString()
                          << " share the accelerator Alt+" << QString(key).toStdString();
    }

private:
    QString m_where;
    std::map<QChar, QString> m_taken;
};

void CheckAccelerators(QMainWindow* window) {
    const QString id = window->objectName();
    AcceleratorGroup windowLevel(id);
    for (QWidget* control : Controls(window)) {
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            windowLevel.add(Name(button), button->text());
    }
    if (QMenuBar* bar = window->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly)) {
        for (QAction* top : bar->actions()) {
            if (!top->isSeparator())
                windowLevel.add(Name(top->menu() ? static_cast<QObject*>(top->menu()) : top), top->text());
        }
    }
    for (QMenu* menu : window->findChildren<QMenu*>()) {
        AcceleratorGroup items(id + QStringLiteral(" menu ") + Name(menu));
        for (QAction* item : menu->actions()) {
            if (!item->isSeparator())
                items.add(Name(item), item->text());
        }
    }
}

bool IsInteractive(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::EditableText:
    case QAccessible::List:
    case QAccessible::ComboBox:
    case QAccessible::SpinBox:
    case QAccessible::MenuItem:
    case QAccessible::ButtonMenu:
        return true;
    default:
        return false;
    }
}

// Walks the accessible tree below `node`, failing on an interactive element without a name; gathers the objects
// the tree reaches.
void WalkAccessible(QAccessibleInterface* node, const QString& where, std::set<const QObject*>& reached) {
    if (!node || !node->isValid())
        return;
    reached.insert(node->object());
    if (IsInteractive(node->role()) && !node->state().invisible && node->text(QAccessible::Name).trimmed().isEmpty())
        ADD_FAILURE() << where.toStdString() << ": " << (node->object() ? Name(node->object()).toStdString() : "")
                      << " (role " << node->role() << ") has no accessible name";
    for (int i = 0; i < node->childCount(); ++i)
        WalkAccessible(node->child(i), where, reached);
}

void CheckAccessibleNames(QMainWindow* window) {
    const QString id = window->objectName();
    std::set<const QObject*> reached;
    WalkAccessible(QAccessible::queryAccessibleInterface(window), id, reached);
    for (QWidget* control : Controls(window)) {
        EXPECT_TRUE(reached.count(control))
            << id.toStdString() << ": " << Name(control).toStdString() << " is not in the accessible tree";
    }
    for (QMenu* menu : window->findChildren<QMenu*>())
        WalkAccessible(QAccessible::queryAccessibleInterface(menu), id + QStringLiteral(" menu ") + Name(menu),
                       reached);
}

QRect Place(QWidget* window, QWidget* control) {
    return QRect(control->mapTo(window, QPoint(0, 0)), control->size());
}

void CheckTabChain(QMainWindow* window) {
    const std::string id = window->objectName().toStdString();
    std::vector<QWidget*> usable;
    for (QWidget* control : Controls(window)) {
        // A control that is disabled now is skipped by Tab, but must be in the chain for when it is enabled.
        EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus)
            << id << ": " << Name(control).toStdString() << " does not take the focus from Tab";
        // A text box that is read-only now may be edited later; Tab must leave it then as well.
        if (auto* text = qobject_cast<QPlainTextEdit*>(control)) {
            EXPECT_TRUE(text->tabChangesFocus()) << id << ": Tab types into " << Name(control).toStdString();
        }
        if (auto* text = qobject_cast<QTextEdit*>(control)) {
            EXPECT_TRUE(text->tabChangesFocus()) << id << ": Tab types into " << Name(control).toStdString();
        }
        if (control->isEnabled() && (control->focusPolicy() & Qt::TabFocus))
            usable.push_back(control);
    }
    if (usable.empty())
        return;

    window->activateWindow();
    usable.front()->setFocus(Qt::TabFocusReason);
    QWidget* const first = QApplication::focusWidget();
    ASSERT_TRUE(first) << id << ": no control takes the focus";
    std::vector<QWidget*> visited{first};
    for (std::size_t step = 0; step < 2 * usable.size() + 2; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        if (now == first)
            break;
        if (now == visited.back()) {
            ADD_FAILURE() << id << ": Tab stays in " << Name(now).toStdString();
            break;
        }
        visited.push_back(now);
    }
    for (QWidget* control : usable) {
        EXPECT_NE(std::find(visited.begin(), visited.end(), control), visited.end())
            << id << ": " << Name(control).toStdString() << " cannot be reached with Tab";
    }
    // Reading order: the next control is below the last one or beside it on the right, never back up and to the
    // left of it.
    for (std::size_t i = 1; i < visited.size(); ++i) {
        const QRect before = Place(window, visited[i - 1]);
        const QRect next = Place(window, visited[i]);
        const bool backUp = next.bottom() < before.top();
        const bool backLeft = next.right() < before.left();
        EXPECT_FALSE(backUp && backLeft) << id << ": Tab goes back from " << Name(visited[i - 1]).toStdString()
                                         << " to " << Name(visited[i]).toStdString();
    }
}

class KeyboardAccessTest : public ::testing::Test {
protected:
    KeyboardAccessTest() {
        IdentifyProgram();
        RegisterWindows(services);
    }

    // Shows one window over an open book of a few pages, so that every window can come up in its designed state.
    QMainWindow* showAlone(const QString& id) {
        diary.open(t.state);
        t.state.gotopage = 2;
        t.windows.show(id);
        settle();
        return t.windows.window(id);
    }

    TestServices t;
    CancellingDialogs dialogs;
    Services services{t.windows, dialogs, t.clock, t.disks, t.printer, t.progress, t.state};
    Diary diary{{StampedPage(1, "First"), StampedPage(2, "Second"), StampedPage(3, "Third")}, "0000000"};
};

TEST_F(KeyboardAccessTest, EveryWindowIsWholeByKeyboardAndNamedForScreenReaders) {
    const QStringList ids = t.windows.registeredIds();
    ASSERT_TRUE(ids.contains(QStringLiteral("form1"))) << "RegisterWindows registered no start window";
    for (const QString& id : ids) {
        SCOPED_TRACE(id.toStdString());
        QMainWindow* window = showAlone(id);
        if (!window) {
            ADD_FAILURE() << id.toStdString() << " did not stay open over an open book";
            continue;
        }
        waitUntilActive(t.windows, id);
        EXPECT_FALSE(window->windowIcon().isNull()) << id.toStdString() << " has no window icon";
        CheckTabChain(window);
        CheckAccelerators(window);
        CheckAccessibleNames(window);
        t.windows.unloadAll();
        settle();
    }
}

TEST(ProgramIconTest, TheWindowIconHoldsEverySizeTheThemeGets) {
    const QList<QSize> sizes = ProgramIcon().availableSizes();
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
}

} // namespace
} // namespace dayvell::test
