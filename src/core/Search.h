// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Book.h"

#include <functional>
#include <string>
#include <string_view>

namespace dayvell {

// The capital of a Windows-1252 letter (accented letters included); every other character is itself.
unsigned char UpperCp1252(unsigned char c);
std::string UpperCp1252(std::string_view text);

// The line a matching page gives in the search results: number, four blanks, date line, a blank, time, two blanks
// and the first 25 characters of the text.
std::string SearchResultLine(const Page& page);
// A result line as one line of a list: each line break of the text's start (CR LF, a lone CR or LF) shown as " ¶ ".
std::string OnOneLine(std::string_view resultLine);

// Looks for `text` in every page of `book`, ignoring the case of letters, over the page's number, date line, time
// and text joined with nothing between them (so a match may run from one field into the next). Calls `onMatch`
// with each matching page's result line, in page order. An empty text matches every page. A failure part-way
// throws after the lines found so far have been handed over.
void SearchBook(const Book& book, std::string_view text, const std::function<void(const std::string&)>& onMatch);

} // namespace dayvell
