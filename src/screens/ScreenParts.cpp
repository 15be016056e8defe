// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScreenParts.h"

#include "core/Book.h"
#include "core/ErrorReporter.h"
#include "platform/LongTextLabel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace dayvell::parts {

QLabel* Label(QWidget* parent, const char* name, const QString& caption, const QString& toolTip) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setToolTip(toolTip);
    // Captions show paths and book texts: as written, never read as markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* LongText(QWidget* parent, const char* name, const QString& toolTip, int maxLines) {
    auto* label = new LongTextLabel(parent, maxLines);
    label->setObjectName(QString::fromLatin1(name));
    label->setToolTip(toolTip);
    return label;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, const QString& toolTip) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(toolTip);
    return button;
}

QFrame* Line(QWidget* parent, const char* name, Qt::Orientation orientation) {
    auto* line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setFrameShape(orientation == Qt::Horizontal ? QFrame::HLine : QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QAction* MenuItem(QWidget* menu, const char* name, const QString& caption, const QKeySequence& shortcut) {
    auto* action = new QAction(caption, menu);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    menu->addAction(action);
    return action;
}

QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* button : buttons)
        row->addWidget(button);
    return row;
}

QCheckBox* SealCheckBox(QWidget* parent, const char* name) {
    auto* check = new QCheckBox(QStringLiteral("Se&al this dayvell"), parent);
    check->setObjectName(QString::fromLatin1(name));
    check->setToolTip(QStringLiteral("Keep this dayvell under modern encryption"));
    check->setChecked(false);
    return check;
}

QLabel* SealingNote(QWidget* parent, const char* name) {
    QLabel* note = Label(parent, name,
                         QStringLiteral("A sealed dayvell is kept under modern encryption: its password cannot be read "
                                        "off the file, and it may be a passphrase of up to 128 characters. Older "
                                        "copies of Dayvell cannot open a sealed dayvell."));
    note->setWordWrap(true);
    return note;
}

QString KindLine(BookKind kind) {
    return kind == BookKind::Sealed ? QStringLiteral("Sealed with modern encryption")
                                    : QStringLiteral("Enciphered with the classic Dayvell cipher");
}

WaitCursor::WaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
    QApplication::restoreOverrideCursor();
}

void KeepOutOfTaskbar(QWidget* window) {
    window->setWindowFlag(Qt::Tool, true);
}

void CentreOnScreen(QWidget* window) {
    if (const QScreen* screen = window->screen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}

PasswordTrial TryPassword(Dialogs& dialogs, const std::string& path, const std::optional<std::string>& password) {
    PasswordTrial trial;
    trial.read = Guarded(dialogs, [&] {
        const Book book(path, password.value_or(std::string()));
        if (!password) {
            book.inspect();
            return;
        }
        // A sealed book's password takes about half a second to check, once per opening.
        const WaitCursor busy;
        trial.right = book.checkPassword();
        trial.kind = book.kind();
    });
    return trial;
}

} // namespace dayvell::parts
