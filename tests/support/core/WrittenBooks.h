// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace dayvell::test {

// The code of the run-time error `f` throws; 0 when it throws none.
int ErrorCode(const std::function<void()>& f);

// Book records written from the codec and the record format alone, so that making a test book needs no check of the
// code under test (nor passes one). The header's last access is 1/1/2026; a page is stamped Saturday, 12/5/2026,
// 1:46:33 PM.
std::string HeaderLine(const std::string& key, const std::string& folder, const std::string& cover = "___",
                       const std::string& flags = "0111111");
std::string PageLine(const std::string& key, const std::string& number, const std::string& text);

// Everything a book of either kind holds, in plain text: its header, then its pages with their end marks.
std::string PlainContent(const std::string& path, const std::string& password);

// What a book file holds, for comparing one state of it with another: a described book's bytes as they are; a
// sealed book, whose bytes differ from one write of the same content to the next (every record draws a fresh
// nonce), as the first of `passwords` that opens it and its content in plain text, header and pages with their end
// marks. A sealed book that none of them opens, or that is damaged, says so.
std::string BookState(const std::string& path, const std::vector<std::string>& passwords);

// The records of a described book file as they lie in it, still enciphered: the header first. Read with the record
// format alone.
std::vector<std::array<std::string, 5>> StoredRecords(const std::string& path);

} // namespace dayvell::test
