// SPDX-License-Identifier: GPL-3.0-or-later
// What the book's end tells: a save and the new-page window take the page count from the last page's number, and a
// read past the last page takes that page from the end.
#include "core/Book.h"
#include "core/Codec.h"
#include "core/Numbers.h"
#include "core/RuntimeError.h"
#include "core/TempDir.h"
#include "core/WrittenBooks.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace dayvell;
using namespace dayvell::test;

namespace {

constexpr const char* kKey = "Secret1";

// A book of `texts`, numbered as `numbers` says (the position when empty).
std::string BookBytes(const std::vector<std::string>& texts, const std::vector<std::string>& numbers = {}) {
    std::string bytes = HeaderLine(kKey, "/home/someone/diaries/");
    for (std::size_t i = 0; i < texts.size(); ++i)
        bytes +=
            PageLine(kKey, numbers.empty() ? PageNumberText(static_cast<std::int64_t>(i + 1)) : numbers[i], texts[i]);
    return bytes;
}

std::vector<std::string> Texts(std::size_t n, std::size_t lastLength = 20) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < n; ++i)
        texts.push_back("Page " + std::to_string(i + 1) + " of the book");
    if (n > 0) {
        std::string last;
        while (last.size() < lastLength)
            last += "word " + std::to_string(last.size()) + "\r\n";
        texts.back() = last;
    }
    return texts;
}

TEST(BookEnd, TheSaveNumbersThePageFromTheEndAndTheEndIsReadExactly) {
    struct Case {
        const char* what;
        std::vector<std::string> texts;
        std::vector<std::string> numbers;
        std::int64_t count;
    };
    const Case cases[] = {
        {"no page: the header is the end", {}, {}, 0},
        {"one page", Texts(1), {}, 1},
        {"twelve pages", Texts(12), {}, 12},
        {"a last page longer than one read from the end", Texts(3, 200'000), {}, 3},
        {"a last page just over one read from the end", Texts(2, 65'530), {}, 2},
        // Numbers the program does not write say nothing: the pages are counted one by one.
        {"no numbers at all", Texts(4), {"", "", "", ""}, 4},
        {"a number without its sign position", Texts(2), {" 1", "2"}, 2},
        {"a number with a leading zero", Texts(2), {" 1", " 02"}, 2},
    };
    TempDir tmp;
    const std::string path = tmp.file("book.dvl");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string original = BookBytes(c.texts, c.numbers);
        WriteFileBytes(path, original);
        Book book(path, kKey);
        EXPECT_EQ(book.pageCountAtEnd(), c.count);
        EXPECT_EQ(book.countPages(), c.count);
        if (c.count > 0) {
            const auto last = book.readPageOrLast(c.count + 5);
            ASSERT_TRUE(last);
            EXPECT_EQ(last->first, c.count);
            EXPECT_EQ(last->second.text, c.texts.back());
            EXPECT_EQ(last->second.date, "Saturday, 12/5/2026");
        }
        const Page page{"", "Sunday, 12/6/2026", "9:00:00 AM", "Added"};
        EXPECT_EQ(book.appendPage(page), PageNumberText(c.count + 1));
        EXPECT_EQ(ReadFileBytes(path).substr(0, original.size()), original);
        EXPECT_EQ(book.countPages(), c.count + 1);
        EXPECT_EQ(book.readPage(c.count + 1)->text, "Added");
        // The same save again, as after a failure reported late, finds the page there.
        EXPECT_EQ(book.appendPage(page), PageNumberText(c.count + 1));
        EXPECT_EQ(book.countPages(), c.count + 1);
    }
}

TEST(BookEnd, ADamagedPageBeforeTheEndDoesNotStopASaveButACutEndDoes) {
    TempDir tmp;
    const std::string path = tmp.file("book.dvl");
    std::string bytes = BookBytes(Texts(3));
    // A stray quote inside the second page: the record is no longer five fields.
    const std::size_t second = bytes.find("\r\n", bytes.find("\r\n") + 2) + 2;
    bytes.insert(second + 3, "\"");
    WriteFileBytes(path, bytes);
    Book book(path, kKey);
    EXPECT_EQ(ErrorCode([&] { book.countPages(); }), code::PastEndOfFile);
    EXPECT_EQ(book.pageCountAtEnd(), 3);
    EXPECT_EQ(book.appendPage({"", "d", "t", "After the damage"}), " 4");

    const std::string whole = ReadFileBytes(path);
    for (const std::size_t cut : {std::size_t{1}, std::size_t{5}, std::size_t{20}}) {
        SCOPED_TRACE(cut);
        WriteFileBytes(path, whole.substr(0, whole.size() - cut));
        EXPECT_EQ(ErrorCode([&] { book.pageCountAtEnd(); }), code::PastEndOfFile);
        EXPECT_EQ(ErrorCode([&] { book.appendPage({"", "d", "t", "x"}); }), code::PastEndOfFile);
        EXPECT_EQ(ReadFileBytes(path), whole.substr(0, whole.size() - cut));
    }
}

} // namespace
