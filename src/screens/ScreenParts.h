// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/BookFormat.h"

#include <QKeySequence>
#include <QString>

#include <initializer_list>
#include <optional>
#include <string>

class QAction;
class QCheckBox;
class QHBoxLayout;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace dayvell {
class Dialogs;
}

// Building blocks of the book-opening windows and the cover window.
namespace dayvell::parts {

// Controls carry their names as object names, so that other code and the tests find them by name.
QLabel* Label(QWidget* parent, const char* name, const QString& caption, const QString& toolTip = {});
// A label for a text of any length that the user typed or a file holds (a cover name, a page's stamps, a path): it
// wraps over at most `maxLines` lines, ends in an ellipsis beyond them, and never widens its window past the
// screen.
QLabel* LongText(QWidget* parent, const char* name, const QString& toolTip = {}, int maxLines = 1);
QPushButton* Button(QWidget* parent, const char* name, const QString& caption, const QString& toolTip = {});
// A horizontal or vertical rule, decoration only.
QFrame* Line(QWidget* parent, const char* name, Qt::Orientation orientation = Qt::Horizontal);
// A menu item added to `menu` (a QMenu, or a menu bar for a top-level item that acts at once).
QAction* MenuItem(QWidget* menu, const char* name, const QString& caption, const QKeySequence& shortcut = {});

// A row of buttons at the right, in the order given.
QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons);

// The check box that chooses a sealed book, unchecked, and the plain words beside it on what sealing gives and
// costs.
QCheckBox* SealCheckBox(QWidget* parent, const char* name);
QLabel* SealingNote(QWidget* parent, const char* name);
// The one line that says which kind a book is.
QString KindLine(BookKind kind);

// While one lives, the mouse pointer says the program is busy: around the half second a sealed book's password
// takes, and around rewriting a whole book.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A typed password tried against the book at `path`: whether the file could be read (a failure is reported through
// `dialogs`), whether it proves the password, and the book's kind. A password no book can hold proves nothing, but
// the file is still read, so that a missing or damaged book is reported as such.
struct PasswordTrial {
    bool read = false;
    bool right = false;
    BookKind kind = BookKind::Described;
};
PasswordTrial TryPassword(Dialogs& dialogs, const std::string& path, const std::optional<std::string>& password);

// A helper window of the program stays out of the taskbar.
void KeepOutOfTaskbar(QWidget* window);
// Puts the window in the middle of its screen.
void CentreOnScreen(QWidget* window);

} // namespace dayvell::parts
