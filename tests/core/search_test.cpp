// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookFixture.h"

#include "core/Numbers.h"
#include "core/Search.h"

using namespace dayvell;
using namespace dayvell::test;

namespace {

TEST(SearchLine, HasTheFixedLayout) {
    EXPECT_EQ(SearchResultLine({" 3", "Saturday, 12/5/2026", "1:46:33 PM", "Dear diary, today was a long day"}),
              " 3    Saturday, 12/5/2026 1:46:33 PM  Dear diary, today was a l");
    EXPECT_EQ(SearchResultLine({" 12", "Monday, 1/4/2027", "9:00:00 AM", "Short"}),
              " 12    Monday, 1/4/2027 9:00:00 AM  Short");
    EXPECT_EQ(SearchResultLine({" 1", "d", "t", "ab\r\ncd"}), " 1    d t  ab\r\ncd");
}

TEST(SearchUpper, CapitalisesLettersOnly) {
    EXPECT_EQ(UpperCp1252("abc xyz 123 !?"), "ABC XYZ 123 !?");
    EXPECT_EQ(UpperCp1252("\xE9\xE0\xF6\xFE"), "\xC9\xC0\xD6\xDE"); // e acute, a grave, o umlaut, thorn
    EXPECT_EQ(UpperCp1252("\x9A\x9C\x9E\xFF"), "\x8A\x8C\x8E\x9F"); // s caron, oe, z caron, y diaeresis
    EXPECT_EQ(UpperCp1252("\xF7\xDF\xB5\xAA"), "\xF7\xDF\xB5\xAA"); // division sign, sharp s, micro, ordinal a
}

// Both kinds of book: the classic one is searched while it is deciphered, the sealed one page by page once opened.
class Search : public BookFixture, public ::testing::WithParamInterface<BookKind> {
protected:
    void SetUp() override { make(GetParam()); }
};

TEST_P(Search, FindsPagesLikeAPersonWould) {
    const struct {
        const char* text;
        std::vector<int> pages;
    } cases[] = {
        {"nothing like this", {}},
        {"diary", {1}},
        {"DIARY", {1}},
        {"line", {2}},      // several times in one page: one line
        {"day", {1, 2, 3}}, // every date line holds a weekday
        {"12/6", {2}},      // in the date line
        {"PM", {1, 3}},     // in the time
        {"3 PMDear", {1}},  // from the time into the text: fields are joined without separators
        {" 2Sunday", {2}},  // from the number into the date line
        {"", {1, 2, 3}},    // an empty text matches every page
        {"Line two\r\n\r\nLast", {2}},
        {"last line!", {}}, // longer than what is left at the end of the page
    };
    Book book(path, kKey);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> lines;
        SearchBook(book, c.text, [&](const std::string& line) { lines.push_back(line); });
        std::vector<std::string> expected;
        for (int p : c.pages)
            expected.push_back(SearchResultLine(pages[static_cast<size_t>(p - 1)]));
        EXPECT_EQ(lines, expected);
    }
}

TEST_P(Search, IgnoresTheCaseOfAccentedLetters) {
    TempDir other;
    const std::string p = other.file("a.dvl");
    Book::Create(SystemFileSystem(), p, "1111", Book::NewHeader(other.dir(), "1/1/2026"), GetParam());
    Book book(p, "1111");
    book.appendPage({" 1", "d", "t", "CAF\xC9 au lait"});
    // s caron, oe, z caron and Y diaeresis (y diaeresis itself, 255, no classic key can carry)
    book.appendPage({" 2", "d", "t", "\x9A\x9C\x9E\x9F and more"});
    if (GetParam() == BookKind::Sealed)
        book.appendPage({" 3", "d", "t", "na\xEFve \xFF\x9A"});
    std::vector<std::pair<const char*, int>> cases = {
        {"caf\xE9", 1}, {"\x8A\x8C\x8E\x9F", 2}, {"\x9A\x9C\x9E\xFF", 2}, {"\x8A\x9C\x8E\xFF AND", 2}};
    if (GetParam() == BookKind::Sealed)
        cases.push_back({"NA\xCFVE \x9F\x8A", 3});
    for (const auto& [text, page] : cases) {
        std::vector<std::string> lines;
        SearchBook(book, text, [&](const std::string& line) { lines.push_back(line); });
        ASSERT_EQ(lines.size(), 1u) << text;
        EXPECT_EQ(lines[0].substr(0, 2), PageNumberText(page));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, Search, ::testing::Values(BookKind::Described, BookKind::Sealed),
                         [](const auto& info) { return info.param == BookKind::Sealed ? "sealed" : "described"; });

using SearchDescribed = BookFixture;

TEST_F(SearchDescribed, KeepsWhatItFoundBeforeAFailure) {
    // Damage the file after the first page: the first result arrives, then the search fails with 62.
    const std::string bytes = original;
    const size_t secondPage = bytes.find("\r\n", bytes.find("\r\n") + 2) + 2;
    WriteFileBytes(path, bytes.substr(0, secondPage + 5));
    std::vector<std::string> lines;
    try {
        SearchBook(Book(path, kKey), "", [&](const std::string& line) { lines.push_back(line); });
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), 62);
    }
    EXPECT_EQ(lines.size(), 1u);
}

} // namespace

namespace {

// Long pages are looked at a piece at a time: matches must be found wherever they fall, including across the
// joins between pieces, for keys of every length.
TEST(SearchLongPages, FindsMatchesAtEveryPlace) {
    dayvell::test::TempDir tmp;
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += static_cast<char>('a' + (i * 7) % 26);
    for (const std::string key : {"abcd", "abcdefg", "0123456789"}) {
        const std::string p = tmp.file(std::to_string(key.size()) + ".dvl");
        Book::Create(SystemFileSystem(), p, key, Book::NewHeader(tmp.dir(), "1/1/2026"));
        Book book(p, key);
        book.appendPage({" 1", "d", "t", text});
        for (size_t length : {size_t{1}, size_t{2}, size_t{10}, size_t{16}, size_t{17}, size_t{40}}) {
            for (size_t at : {size_t{0}, size_t{1}, size_t{15}, size_t{500}, size_t{503}, size_t{510}, size_t{1019},
                              size_t{3000} - length}) {
                const std::string piece = UpperCp1252(text.substr(at, length));
                SCOPED_TRACE(key + " at " + std::to_string(at) + " length " + std::to_string(length));
                int found = 0;
                SearchBook(book, piece, [&](const std::string&) { ++found; });
                EXPECT_EQ(found, 1);
            }
        }
        int found = 0;
        SearchBook(book, text.substr(2995) + "x", [&](const std::string&) { ++found; });
        EXPECT_EQ(found, 0);
    }
}

// A sealed page is capitalised and looked at in pieces of 64 KiB: a word across a join, or with letters whose
// capitals lie apart from the others right at it, is found all the same.
TEST(SearchLongPages, SealedPagesAreMatchedAcrossTheJoinsOfTheirPieces) {
    const sealed::KdfLimitsForTests fastPasswords(FastKdf());
    dayvell::test::TempDir tmp;
    const std::string p = tmp.file("long.dvl");
    Book::Create(SystemFileSystem(), p, "key1", Book::NewHeader(tmp.dir(), "1/1/2026"), BookKind::Sealed);
    Book book(p, "key1");
    const std::string word = "\x9A"
                             "ea\xFFw\xE9";
    const std::size_t join = std::size_t{1} << 16;
    // Across each join at every split, just after one, and at the very end of the page.
    const std::size_t places[] = {join - 1, join - 3,     join - word.size() + 1,
                                  join,     2 * join - 2, 3 * join - word.size()};
    for (const std::size_t at : places) {
        std::string text(3 * join, 'x');
        text.replace(at, word.size(), word);
        book.appendPage({"", "d", "t", text});
    }
    book.appendPage({"", "d", "t",
                     std::string(3 * join, 'x') + "\x9A"
                                                  "ea\xFFw"});
    const struct {
        std::string needle;
        std::size_t pages;
    } cases[] = {{UpperCp1252(word), std::size(places)},
                 {UpperCp1252(word) + "X", std::size(places) - 1},
                 {"X" + UpperCp1252(word), std::size(places)},
                 {"\x8A"
                  "EA\x9F",
                  std::size(places) + 1},
                 {"\x8A"
                  "EA\x9FWE",
                  0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.needle);
        std::size_t found = 0;
        SearchBook(book, c.needle, [&](const std::string&) { ++found; });
        EXPECT_EQ(found, c.pages);
    }
}

} // namespace

namespace {

int SearchError(const Book& book, const std::string& text, std::vector<std::string>& lines) {
    try {
        SearchBook(book, text, [&](const std::string& line) { lines.push_back(line); });
    } catch (const RuntimeError& e) {
        return e.code();
    }
    return 0;
}

// A search deciphers what a reading of the page deciphers, and fails where that fails.
TEST(SearchFailures, FailLikeReadingThePage) {
    dayvell::test::TempDir tmp;
    // Key characters of code 129: a stored 127 is below them and their sum is above 255, so it cannot be
    // deciphered. "a" (97) is stored as 226.
    const std::string key = "\x81\x81\x81\x81";
    const std::string p = tmp.file("a.dvl");
    Book::Create(SystemFileSystem(), p, key, Book::NewHeader(tmp.dir(), "1/1/2026"));
    Book(p, key).appendPage({" 1", "d", "t", "needle" + std::string(3000, 'a')});
    const std::string good = ReadFileBytes(p);
    const struct {
        const char* name;
        size_t at; // offset of the damage from the end of the file
    } cases[] = {{"damage_far_after_the_match", 400}, {"damage_at_the_last_character", 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string damaged = good;
        damaged[damaged.size() - c.at] = '\x7F';
        WriteFileBytes(p, damaged);
        int readError = 0;
        try {
            Book(p, key).readPage(1);
        } catch (const RuntimeError& e) {
            readError = e.code();
        }
        ASSERT_EQ(readError, 5);
        std::vector<std::string> lines;
        EXPECT_EQ(SearchError(Book(p, key), "NEEDLE", lines), 5);
        EXPECT_TRUE(lines.empty());
    }

    // With an empty key every non-empty field fails, as Decode does, instead of dividing by the key's length.
    WriteFileBytes(p, good);
    std::vector<std::string> lines;
    EXPECT_EQ(SearchError(Book(p, ""), "needle", lines), 5);
    EXPECT_EQ(SearchError(Book(p, ""), "", lines), 5);
    EXPECT_TRUE(lines.empty());
}

} // namespace
