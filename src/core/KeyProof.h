// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Record.h"

#include <functional>
#include <optional>
#include <string_view>

namespace dayvell {

// What a key check means for a book of the additive cipher.
//
// The check phrase alone cannot tell a key: only its 10 enciphered characters are compared, so the key stream
// S[i] = field1[i] - phrase[i] (i < 10) is all it fixes. Every prefix of S whose length is a period of S passes it
// ("abcd" for a book made with "abcdabcdab", "Secret1Sec" for one made with "Secret1"), and each of them repeats
// differently beyond the 10th character. A key is proven when it passes the phrase, is at most 10 characters long,
// and the rival keys that would decipher the book differently are refuted by fields that are longer than 10
// characters: the right key never needs Decode's fallback sum, deciphers the folder into a path that ends in a
// separator, no header field or page stamp into control characters, and a page's text into none but line breaks
// and tabs. (A rival that differs by a few codes still turns the spaces of a page's text into control characters.)
//
// When nothing stored tells the rivals apart (every field at most 10 characters, or each rival as plausible as the
// other), every stored field reads the same under each of them, but whatever one of them writes beyond the 10th
// character the others would read as garbage. Then only the rival that repeats soonest is proven: an ordinary
// password ("Secret1") is the shortest period of its own stream, while the longer rival ("Secret1Sec") is the
// password plus its own beginning, a text nobody chooses. The one owner this refuses is one whose password repeats
// itself within its 10 characters ("abcdabcdab") and whose book holds no longer field yet; the shorter repetition
// ("abcd") opens and keeps that book.

// The fields of the first page record (number, date line, time and the start of its text; the end mark empty), or
// nothing when the book has none or they cannot be read. Called only when the header leaves the question open.
using FirstPageStamps = std::function<std::optional<Record>()>;

// True when `key` is proven to be the key of the book whose header record is `header` (fields missing from a damaged
// header are empty). Never throws.
bool KeyProven(const RecordView& header, std::string_view key, const FirstPageStamps& firstPage);

} // namespace dayvell
