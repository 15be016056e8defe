// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Book.h"
#include "core/Codec.h"
#include "core/DescribedFormat.h"
#include "core/Record.h"
#include "core/TempDir.h"
#include "core/WrittenBooks.h"

#include "SealedBooks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <vector>

namespace dayvell::test {

// A small book built from known plain values: three pages, the second of several lines. Described unless a test
// makes it again as a sealed book, whose password is quick to check.
class BookFixture : public ::testing::Test {
protected:
    static constexpr const char* kKey = "key1";

    void SetUp() override { make(BookKind::Described); }

    // Makes the book anew as a book of `kind`.
    void make(BookKind bookKind) {
        kind = bookKind;
        path = tmp.file("diary.dvl");
        std::filesystem::remove(path);
        Book::Create(SystemFileSystem(), path, kKey, Book::NewHeader(tmp.dir(), "12/5/2026"), kind);
        Book book(path, kKey);
        for (const auto& p : pages)
            book.appendPage(p);
        original = ReadFileBytes(path);
    }
    // What the book holds (BookState), opened by the fixture's key or the other passwords the tests give it.
    std::string state() const { return BookState(path, {kKey, "NewPass1", "Other99"}); }

    std::string bytes() const { return ReadFileBytes(path); }
    bool scratchExists() const { return std::filesystem::exists(tmp.file("dvltemp.dvl")); }

    static std::vector<std::string> Lines(const std::string& bytes) {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(bytes.substr(start, end + 2 - start));
        EXPECT_EQ(start, bytes.size()) << "file does not end with a line end";
        return lines;
    }
    static Record Fields(const std::string& line) {
        Record r;
        size_t pos = 0;
        for (auto& f : r) {
            size_t open = line.find('"', pos);
            size_t close = line.find('"', open + 1);
            f = line.substr(open + 1, close - open - 1);
            pos = close + 1;
        }
        return r;
    }
    static std::string Enc(const std::string& plain) { return Encode(plain, kKey); }

    const sealed::KdfLimitsForTests fastPasswords{FastKdf()};
    TempDir tmp;
    BookKind kind = BookKind::Described;
    std::string path;
    std::string original;
    const std::vector<Page> pages = {
        {" 1", "Saturday, 12/5/2026", "1:46:33 PM", "Dear diary, today was a long day."},
        {" 2", "Sunday, 12/6/2026", "9:05:00 AM", "Line one\r\nLine two\r\n\r\nLast line"},
        {" 3", "Monday, 12/7/2026", "11:59:59 PM", ""},
    };
};

} // namespace dayvell::test
