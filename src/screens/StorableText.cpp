// SPDX-License-Identifier: GPL-3.0-or-later
#include "StorableText.h"

#include "ScreenParts.h"

#include "core/Book.h"
#include "core/Charset.h"
#include "core/DescribedFormat.h"
#include "platform/Text.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <cstdio>

namespace dayvell {

namespace {

// Codes 0 to 2 plus a key character of 32 to 34 encipher to a double quote, which would end the field early.
constexpr int kHighestReservedCode = 2;
// A password is typed, so its characters are the blank (32) and above; the cipher's sums must stay within a byte.
constexpr int kLowestKeyCode = 32;
constexpr int kHighestCode = 255;

void AddOnce(QString& list, char32_t c) {
    const QString character = QString::fromUcs4(&c, 1);
    if (!list.contains(character))
        list += character;
}

QString UnicodeNumber(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return QString::fromLatin1(text);
}

// A character as a person can recognise it: itself, or its Unicode number when it has no visible form.
QString Shown(char32_t c) {
    return QChar::isPrint(c) && !QChar::isSpace(c) ? QString::fromUcs4(&c, 1) : UnicodeNumber(c);
}

QStringList EachShown(const QString& characters, bool byNumber) {
    QStringList shown;
    for (char32_t c : characters.toUcs4())
        shown << (byNumber ? UnicodeNumber(c) : Shown(c));
    return shown;
}

} // namespace

UnstorableCharacters FindUnstorable(const QString& text, const Book* book) {
    UnstorableCharacters found;
    QString storable;
    storable.reserve(text.size());
    for (char32_t c : text.toUcs4()) {
        const int code = Cp1252Code(c);
        if (code < 0 || (!book && code <= kHighestReservedCode))
            AddOnce(found.outsideCharset, c);
        else
            storable += QString::fromUcs4(&c, 1);
    }
    if (!book)
        return found;

    // Asked of the text as the book stores it, line breaks as CR LF: a described book's key follows from each
    // character's place in the field.
    const std::string stored = PageTextFromEditor(storable);
    try {
        for (std::size_t at = book->firstUnstorable(stored); at != std::string::npos;
             at = book->firstUnstorable(stored, at + 1)) {
            const auto code = static_cast<unsigned char>(stored[at]);
            QString& list = code <= kHighestReservedCode           ? found.outsideCharset
                            : code + kLowestKeyCode > kHighestCode ? found.beyondAnyKey
                                                                   : found.beyondCipher;
            AddOnce(list, Cp1252Char(code));
        }
    } catch (const RuntimeError&) {
    }
    return found;
}

QString UnstorableHint(const UnstorableCharacters& found) {
    QStringList parts;
    if (!found.outsideCharset.isEmpty())
        parts << EachShown(found.outsideCharset, false).join(' ') + QStringLiteral(" (no such character in a dayvell)");
    if (!found.beyondAnyKey.isEmpty())
        parts << EachShown(found.beyondAnyKey, false).join(' ') + QStringLiteral(" (not with any password)");
    if (!found.beyondCipher.isEmpty())
        parts << EachShown(found.beyondCipher, false).join(' ') + QStringLiteral(" (not with this dayvell's password)");
    if (parts.isEmpty())
        return {};
    return QStringLiteral("Cannot be saved: ") + parts.join(QStringLiteral("; "));
}

QString ShownWithNumbers(const QString& characters) {
    QStringList shown;
    for (char32_t c : characters.toUcs4())
        shown << Shown(c) + QStringLiteral(" (") + UnicodeNumber(c) + QLatin1Char(')');
    return shown.join(QStringLiteral(", "));
}

QString UnicodeNumbers(const QString& characters) {
    return EachShown(characters, true).join(QStringLiteral(", "));
}

std::string UnstorableMessage(const UnstorableCharacters& found) {
    return "This page has not been saved: a dayvell cannot store some of its characters.\r\r" + UnstorableList(found) +
           "\rRemove or replace them, then save again. They are also listed under the text.";
}

std::string UnstorableList(const UnstorableCharacters& found) {
    std::string text;
    if (!found.outsideCharset.isEmpty())
        text += "Not in a dayvell's character set: " + Cp1252FromQString(UnicodeNumbers(found.outsideCharset)) + "\r";
    if (!found.beyondAnyKey.isEmpty())
        text += "Not with any password: " +
                Cp1252FromQString(EachShown(found.beyondAnyKey, false).join(QStringLiteral(", "))) + "\r";
    if (!found.beyondCipher.isEmpty())
        text += "Not with this dayvell's password: " +
                Cp1252FromQString(EachShown(found.beyondCipher, false).join(QStringLiteral(", "))) + "\r";
    return text;
}

QLabel* MakeUnstorableHint(QWidget* parent) {
    QLabel* hint = parts::Label(parent, "Hint", {});
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("color: #b00000"));
    hint->hide();
    return hint;
}

void SetUnstorableHint(QLabel& hint, const QString& text) {
    hint.setText(text);
    hint.setVisible(!text.isEmpty());
}

QString EditorText(const QPlainTextEdit& edit) {
    QString text = edit.document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

std::string UncarriedFolderMessage(const UncarriedCharacter& e, const std::string& folder) {
    return "The password of your dayvell cannot encipher the character \"" + std::string(1, char(e.character())) +
           "\" in the name of the folder " + folder + ". Choose a different directory!";
}

} // namespace dayvell
