// SPDX-License-Identifier: GPL-3.0-or-later
#include "Text.h"

#include "core/Charset.h"
#include "core/RuntimeError.h"

#include <QList>

namespace dayvell {

namespace {

std::u32string Ucs4(const QString& text) {
    const QList<uint> codes = text.toUcs4();
    return std::u32string(codes.begin(), codes.end());
}

// Every line break (CR LF, CR or LF) becomes `lineBreak`.
std::u32string UnifyLineBreaks(std::u32string_view text, std::u32string_view lineBreak) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == U'\r') {
            if (i + 1 < text.size() && text[i + 1] == U'\n')
                ++i;
            out += lineBreak;
        } else if (text[i] == U'\n') {
            out += lineBreak;
        } else {
            out += text[i];
        }
    }
    return out;
}

QString FromUcs4(const std::u32string& text) {
    return QString::fromUcs4(text.data(), qsizetype(text.size()));
}

} // namespace

QString QStringFromCp1252(std::string_view bytes) {
    return FromUcs4(FromCp1252(bytes));
}

std::string Cp1252FromQString(const QString& text) {
    return ToCp1252(Ucs4(text));
}

std::string LossyCp1252FromQString(const QString& text) {
    std::string out;
    for (char32_t c : Ucs4(text)) {
        if (QChar::isSpace(c))
            c = c == U'\u00A0' ? c : U' ';
        const int code = Cp1252Code(c);
        out += code < 0 ? '?' : static_cast<char>(code);
    }
    return out;
}

std::optional<std::string> PasswordFromTyped(const QString& typed) {
    try {
        return Cp1252FromQString(typed);
    } catch (const UnstorableText&) {
        return std::nullopt;
    }
}

std::string Cp1252Path(const QString& path) {
    try {
        return Cp1252FromQString(path);
    } catch (const UnstorableText&) {
        throw RuntimeError(code::BadFileName);
    }
}

QString EditorTextFromPage(std::string_view stored) {
    return FromUcs4(UnifyLineBreaks(FromCp1252(stored), U"\n"));
}

std::string PageTextFromEditor(const QString& edited) {
    return ToCp1252(UnifyLineBreaks(Ucs4(edited), U"\r\n"));
}

QString BoxText(std::string_view bytes) {
    return EditorTextFromPage(bytes);
}

} // namespace dayvell
