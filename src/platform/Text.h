// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace dayvell {

// Text crosses between widgets (QString) and the rest of the program (Windows-1252 bytes) only through these.

QString QStringFromCp1252(std::string_view bytes);
// Throws UnstorableText naming every character that Windows-1252 cannot hold.
std::string Cp1252FromQString(const QString& text);
// For texts the program only shows or stamps (dates, times): a character the set cannot hold becomes "?", as the
// system's own conversion to its single-byte set does, and unusual spaces become plain ones.
std::string LossyCp1252FromQString(const QString& text);

// A typed password as the book's; none for one with a character outside the books' character set, which matches no
// book, since every book was written under a password of that set.
std::optional<std::string> PasswordFromTyped(const QString& typed);

// A path for the shared state; a path with characters that a book's directory field cannot hold is a bad file name
// (RuntimeError 52), reported by the caller's error tail.
std::string Cp1252Path(const QString& path);

// Page text is stored with CR LF line breaks while text boxes edit "\n". A lone CR or LF in a stored text is a line
// break too, so that no stored break is invisible on screen.
QString EditorTextFromPage(std::string_view stored);
std::string PageTextFromEditor(const QString& edited);

// Message and input box texts: CR, CR LF and LF each become one line break.
QString BoxText(std::string_view bytes);

} // namespace dayvell
