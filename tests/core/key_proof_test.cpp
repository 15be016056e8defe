// SPDX-License-Identifier: GPL-3.0-or-later
// Which typed texts a book accepts as its key. The check phrase fixes only 10 key characters, so texts that repeat
// differently beyond them pass it too; only the book's longer fields can tell them apart.
#include "core/Book.h"
#include "core/Codec.h"
#include "core/DescribedFormat.h"
#include "core/Numbers.h"
#include "core/RuntimeError.h"
#include "core/TempDir.h"
#include "core/WrittenBooks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace dayvell;
using namespace dayvell::test;

namespace {

// A book written under `key` whose header records `folder`, with one page of `text` per entry.
std::string BookBytes(const std::string& key, const std::string& folder, const std::vector<std::string>& texts,
                      const std::string& cover = "___") {
    std::string bytes = HeaderLine(key, folder, cover);
    for (std::size_t i = 0; i < texts.size(); ++i)
        bytes += PageLine(key, PageNumberText(static_cast<std::int64_t>(i + 1)), texts[i]);
    return bytes;
}

constexpr const char* kLongFolder = "/home/someone/Documents/Diaries/";
const std::vector<std::string> kOnePage = {"Dear diary, today was a long day and it rained."};

TEST(KeyProof, OnlyTheBooksOwnKeyIsProven) {
    struct Case {
        const char* what;
        std::string made, folder;
        std::vector<std::string> pages;
        std::string typed;
        bool proven;
    };
    const Case cases[] = {
        {"the key itself", "abcdefghij", kLongFolder, kOnePage, "abcdefghij", true},
        {"the key and more after it", "abcdefghij", kLongFolder, kOnePage, "abcdefghijXYZ", false},
        {"the key and one more", "abcdefghij", kLongFolder, {}, "abcdefghijk", false},
        {"other letter case", "abcdefghij", kLongFolder, kOnePage, "Abcdefghij", false},
        {"a short key's repetition beyond ten", "abcd", kLongFolder, kOnePage, "abcdabcdab", false},
        {"a short key", "abcd", kLongFolder, kOnePage, "abcd", true},
        {"a short key twice: the same cipher", "abcd", kLongFolder, kOnePage, "abcdabcd", true},
        {"a repeating key's own repetition", "abab", kLongFolder, {}, "ab", true},
        {"a repeating ten's shorter period", "abcdabcdab", kLongFolder, kOnePage, "abcd", false},
        {"a repeating ten's shorter period, no page", "abcdabcdab", kLongFolder, {}, "abcd", false},
        {"a repeating ten itself", "abcdabcdab", kLongFolder, kOnePage, "abcdabcdab", true},
        {"seven characters and its own beginning", "Secret1", kLongFolder, kOnePage, "Secret1Sec", false},
        {"seven characters", "Secret1", kLongFolder, kOnePage, "Secret1", true},
        {"a ten-character key", "0123456789", kLongFolder, kOnePage, "0123456789", true},
        {"a character above 127", "k\x80y1", kLongFolder, kOnePage, "k\x80y1", true},
        {"a character above 127, repeated beyond ten", "k\x80y1", kLongFolder, kOnePage, "k\x80y1k\x80y1k\x80", false},
        // A book made elsewhere in a drive's root: no header field is longer than 10 characters, and the first
        // page's text tells the rivals apart.
        {"drive root: the short key, with a page", "Secret1", "C:\\", kOnePage, "Secret1", true},
        {"drive root: the rival, with a page", "Secret1", "C:\\", kOnePage, "Secret1Sec", false},
        {"drive root: a repeating ten, with a page", "abcdabcdab", "C:\\", kOnePage, "abcdabcdab", true},
        {"drive root: its shorter period, with a page", "abcdabcdab", "C:\\", kOnePage, "abcd", false},
        // Nothing stored tells them apart: every field reads the same under each, and only the key that repeats
        // soonest may write, lest the other write what the first reads as garbage.
        {"drive root, no page: the short key", "Secret1", "C:\\", {}, "Secret1", true},
        {"drive root, no page: the rival", "Secret1", "C:\\", {}, "Secret1Sec", false},
        {"drive root, no page: a repeating ten", "abcdabcdab", "C:\\", {}, "abcdabcdab", false},
        {"drive root, no page: its shorter period", "abcdabcdab", "C:\\", {}, "abcd", true},
        {"empty", "abcd", kLongFolder, kOnePage, "", false},
    };
    TempDir tmp;
    const std::string path = tmp.file("book.dvl");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(path, BookBytes(c.made, c.folder, c.pages));
        EXPECT_EQ(Book(path, c.typed).checkPassword(), c.proven);
    }
}

TEST(KeyProof, ABookWhoseFolderReadsWrongUnderEveryRivalStillOpensWithItsKey) {
    // A folder stored without its separator (a book made by hand): no rival reads it right either, and none differs
    // from the key within its 8 characters, so the key is the only cipher the book can be told by.
    TempDir tmp;
    const std::string path = tmp.file("book.dvl");
    WriteFileBytes(path, BookBytes("Secret1", "/tmp/abc", {}));
    EXPECT_TRUE(Book(path, "Secret1").checkPassword());
    // A cover name longer than 10 characters tells them apart when the folder cannot.
    WriteFileBytes(path, BookBytes("abcdabcdab", "C:\\", {}, "My diary of 2026"));
    EXPECT_TRUE(Book(path, "abcdabcdab").checkPassword());
    EXPECT_FALSE(Book(path, "abcd").checkPassword());
}

// Every change runs under the folder's lock with the same proof: a text that passes the check phrase but is not the
// key writes nothing.
TEST(KeyProof, ATextThatOnlyPassesThePhraseChangesNothing) {
    struct Case {
        const char* what;
        std::function<void(Book&)> change;
    };
    TempDir tmp, elsewhere;
    const Case cases[] = {
        {"append a page",
         [](Book& b) {
             b.appendPage({" 2", "Sunday, 12/6/2026", "9:00:00 AM", "More"});
         }},
        {"change the cover name", [](Book& b) { b.replaceCoverName("Mine now"); }},
        {"refresh the date", [](Book& b) { b.refreshDate("2/2/2026"); }},
        {"edit a page", [](Book& b) { b.replacePage(" 1", "Overwritten"); }},
        {"delete a page", [](Book& b) { b.removePage(1); }},
        {"change the password", [](Book& b) { b.changePassword("newpass1"); }},
        {"rename", [](Book& b) { b.rename("other.dvl"); }},
        {"copy", [&](Book& b) { b.copyTo(elsewhere.dir(), Existing::Keep, Transfer::Copy); }},
        {"delete the book", [](Book& b) { b.remove(); }},
    };
    const std::string path = tmp.file("book.dvl");
    const std::string original = BookBytes("abcdefghij", kLongFolder, kOnePage);
    for (const std::string typed : {"abcdefghijXYZ", "abcdefghij "}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(typed + ": " + c.what);
            WriteFileBytes(path, original);
            Book book(path, typed);
            EXPECT_EQ(ErrorCode([&] { c.change(book); }), code::BookChangedElsewhere);
            EXPECT_EQ(ReadFileBytes(path), original);
            EXPECT_FALSE(std::filesystem::exists(tmp.file("other.dvl")));
            EXPECT_FALSE(std::filesystem::exists(elsewhere.file("book.dvl")));
            EXPECT_FALSE(std::filesystem::exists(tmp.file("dvltemp.dvl")));
        }
    }
    // The key itself still does all of it.
    WriteFileBytes(path, original);
    Book book(path, "abcdefghij");
    book.changePassword("newpass1");
    EXPECT_EQ(book.readPage(1)->text, kOnePage[0]);
    book.remove();
    EXPECT_FALSE(std::filesystem::exists(path));
}

// A password change never leaves a book that its own new password cannot open.
TEST(KeyProof, ANewPasswordTheBookCouldNotProveIsRefusedBeforeAnythingIsWritten) {
    struct Case {
        const char* what;
        std::string folder;
        std::vector<std::string> pages;
        std::string newKey;
        bool refused;
    };
    const Case cases[] = {
        {"repeating ten, drive root, no page", "C:\\", {}, "abcdabcdab", true},
        {"repeating ten, drive root, a page tells", "C:\\", kOnePage, "abcdabcdab", false},
        {"repeating ten, a long folder tells", kLongFolder, {}, "abcdabcdab", false},
        {"its shorter repetition", "C:\\", {}, "abcd", false},
        {"an ordinary password", "C:\\", {}, "Secret1", false},
        {"longer than 10", kLongFolder, kOnePage, "abcdefghijk", true},
    };
    TempDir tmp;
    const std::string path = tmp.file("book.dvl");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string original = BookBytes("key1", c.folder, c.pages);
        WriteFileBytes(path, original);
        Book book(path, "key1");
        if (c.refused) {
            EXPECT_THROW(book.changePassword(c.newKey), UnprovableKey);
            EXPECT_EQ(ReadFileBytes(path), original);
            EXPECT_EQ(book.password(), "key1");
        } else {
            book.changePassword(c.newKey);
            EXPECT_TRUE(Book(path, c.newKey).checkPassword());
        }
    }
}

TEST(KeyProof, ABookIsNeverMadeWithAKeyItCouldNotProve) {
    TempDir tmp;
    const std::string path = tmp.file("book.dvl");
    EXPECT_THROW(Book::Create(SystemFileSystem(), path, "abcdabcdab", Book::NewHeader("/tmp/x/", "1/1/2026")),
                 UnprovableKey);
    EXPECT_FALSE(std::filesystem::exists(path));
    // Its folder tells a repeating password from its shorter repetition when their characters lie far apart.
    Book::Create(SystemFileSystem(), path, "aZ0aZ0aZ0a", Book::NewHeader(tmp.dir(), "1/1/2026"));
    EXPECT_TRUE(Book(path, "aZ0aZ0aZ0a").checkPassword());
    EXPECT_FALSE(Book(path, "aZ0").checkPassword());
}

TEST(KeyProof, DeletingRefusesAWriteProtectedBook) {
    TempDir tmp;
    const std::string path = tmp.file("book.dvl");
    WriteFileBytes(path, BookBytes("abcdefghij", kLongFolder, kOnePage));
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_EQ(ErrorCode([&] { Book(path, "abcdefghij").remove(); }), code::PermissionDenied);
    EXPECT_TRUE(std::filesystem::exists(path));
}

} // namespace
