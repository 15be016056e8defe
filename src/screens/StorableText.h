// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

class QLabel;
class QPlainTextEdit;
class QWidget;

namespace dayvell {

class Book;
class UncarriedCharacter;

// The characters of a text typed into a window that a book cannot hold, each once, in the order they first occur.
// A book stores one Windows-1252 byte a character, and a described book enciphers it with its password; a character
// fails either test.
struct UnstorableCharacters {
    // Not in Windows-1252 at all (Cyrillic, emoji), or, in a described book, one of the control codes 0 to 2, whose
    // enciphered form could be the quote that ends a field.
    QString outsideCharset;
    // In the set, but the cipher can carry it under no password at all: its code plus the smallest key character's,
    // the blank's 32, is above 255 (é, ü).
    QString beyondAnyKey;
    // In the set, but the cipher cannot carry it under this password: its code plus the key character's is above
    // 255 (many accented capitals with letter passwords), while another password could carry it.
    QString beyondCipher;

    bool empty() const { return outsideCharset.isEmpty() && beyondAnyKey.isEmpty() && beyondCipher.isEmpty(); }
};

// What of `text` (as a text box holds it, "\n" line breaks) cannot be stored as one field of `book`, which is asked
// (Book::firstUnstorable). Without a book, what no book can hold for sure: characters outside the set and the
// control codes 0 to 2. A book that cannot be asked (its file gone) is taken to hold the rest: saving will say why
// it cannot.
UnstorableCharacters FindUnstorable(const QString& text, const Book* book);

// One line for the hint under a text box, the characters as they look; empty when there is nothing to say.
QString UnstorableHint(const UnstorableCharacters& found);

// The red line under a page's text box that names what cannot be stored; hidden while there is nothing to say.
QLabel* MakeUnstorableHint(QWidget* parent);
void SetUnstorableHint(QLabel& hint, const QString& text);

// The message of the box that refuses to save such a text (Windows-1252, like every box text): characters outside
// the set are named by their Unicode numbers, since the box cannot show them, and the others as they look.
std::string UnstorableMessage(const UnstorableCharacters& found);
// Each character as it looks, followed by its Unicode number: "ő (U+0151), Ж (U+0416)".
QString ShownWithNumbers(const QString& characters);
// The characters by their Unicode numbers alone, for a box, which cannot show them: "U+0151, U+0416".
QString UnicodeNumbers(const QString& characters);

// The lines of that message that name the characters, each line ending in CR.
std::string UnstorableList(const UnstorableCharacters& found);

// The message of the box that refuses a folder whose name the book's password cannot encipher: a book records the
// folder it lives in, enciphered like every other field.
std::string UncarriedFolderMessage(const UncarriedCharacter& e, const std::string& folder);

// The text of a multi-line text box as typed. Unlike toPlainText it keeps no-break spaces, which Windows-1252
// stores as they are.
QString EditorText(const QPlainTextEdit& edit);

} // namespace dayvell
