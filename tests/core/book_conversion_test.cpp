// SPDX-License-Identifier: GPL-3.0-or-later
// A book converted from one kind into the other and back keeps every value it holds, and a conversion the new kind
// or password cannot take is refused before anything is written.
#include "core/Book.h"
#include "core/DescribedFormat.h"
#include "core/Numbers.h"
#include "core/RuntimeError.h"
#include "core/SealedFormat.h"
#include "core/TempDir.h"
#include "core/WrittenBooks.h"

#include "SealedBooks.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace dayvell;
using namespace dayvell::test;

namespace {

constexpr const char* kKey = "key1";
constexpr const char* kPassphrase = "a passphrase well past ten characters";

std::string BookId(const std::string& path) {
    return ReadFileBytes(path).substr(12, sealed::kIdSize);
}

class Conversion : public ::testing::Test {
protected:
    // A book of `kind` under `password` with `pages` generated pages: several lines, quotes, separators and the
    // highest characters that both "key1" and "zzzz" can carry.
    void make(BookKind kind, const std::string& password, int pages, const std::string& coverName = "Cover") {
        std::filesystem::remove(path);
        Book::Create(SystemFileSystem(), path, password, Book::NewHeader(tmp.dir(), "12/5/2026"), kind);
        Book book(path, password);
        book.replaceCoverName(coverName);
        book.appendPages([&](std::int64_t n, Page& page) {
            page = {{},
                    "Saturday, 12/5/2026",
                    PageNumberText(n) + ":00 PM",
                    "Page " + std::to_string(n) + ",\r\n\"quoted\", \x80\x85 line\r\n" + std::string(n % 40, 'x')};
            return n <= pages;
        });
    }
    bool scratchExists() const { return std::filesystem::exists(tmp.file("dvltemp.dvl")); }

    const sealed::KdfLimitsForTests fastPasswords{FastKdf()};
    TempDir tmp;
    const std::string path = tmp.file("diary.dvl");
};

TEST_F(Conversion, ARoundTripGivesBackTheClassicBookByteForByte) {
    make(BookKind::Described, kKey, 200);
    const std::string original = ReadFileBytes(path);
    const std::string content = PlainContent(path, kKey);

    Book book(path, kKey);
    book.changePassword(kPassphrase, BookKind::Sealed);
    EXPECT_EQ(book.password(), kPassphrase);
    EXPECT_EQ(Book(path, {}).kind(), BookKind::Sealed);
    EXPECT_EQ(PlainContent(path, kPassphrase), content);
    EXPECT_EQ(Book(path, kPassphrase).countPages(), 200);
    EXPECT_FALSE(Book(path, kKey).checkPassword());
    const std::string sealedBytes = ReadFileBytes(path);
    EXPECT_EQ(sealedBytes.find("Page 1"), std::string::npos) << "a page lies in the sealed file in plain text";
    EXPECT_EQ(sealedBytes.find("Cover"), std::string::npos) << "the cover name lies in the sealed file in plain text";
    EXPECT_FALSE(scratchExists());

    book.changePassword(kKey, BookKind::Described);
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_FALSE(scratchExists());
}

TEST_F(Conversion, ASealedBookSealedAgainGetsANewIdentityAndKeepsItsContent) {
    make(BookKind::Sealed, kPassphrase, 50, "Ann's little book");
    const std::string content = PlainContent(path, kPassphrase);
    const std::string id = BookId(path);

    Book book(path, kPassphrase);
    book.changePassword(kKey, BookKind::Described);
    EXPECT_EQ(Book(path, {}).kind(), BookKind::Described);
    EXPECT_EQ(PlainContent(path, kKey), content);
    book.changePassword("another passphrase", BookKind::Sealed);
    EXPECT_EQ(PlainContent(path, "another passphrase"), content);
    // A new id and key: records of the old file mean nothing in the new one.
    EXPECT_NE(BookId(path), id);

    // Kept sealed, the password only wraps the same key anew.
    const std::string before = ReadFileBytes(path);
    book.changePassword(kPassphrase, BookKind::Sealed);
    const std::string after = ReadFileBytes(path);
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(sealed::kHeadSize), before.substr(sealed::kHeadSize));
    EXPECT_EQ(PlainContent(path, kPassphrase), content);
    EXPECT_FALSE(Book(path, "another passphrase").checkPassword());
}

TEST_F(Conversion, WhatTheNewKindCannotTakeIsRefusedBeforeAnythingIsWritten) {
    struct Case {
        const char* what;
        BookKind from;
        std::string password;
        std::string coverName;
        std::string lastPage; // the text of page 3
        BookKind to;
        std::string newPassword;
        int code;
        Place place; // for a character the classic cipher cannot carry
        std::int64_t page;
    };
    const Case cases[] = {
        {"a page the classic cipher cannot carry", BookKind::Sealed, kPassphrase, "Cover", "caf\xE9 \xFF",
         BookKind::Described, kKey, code::InvalidArgument, Place::Page, 3},
        {"a cover name the classic cipher cannot carry", BookKind::Sealed, kPassphrase, "\xFF", "fine",
         BookKind::Described, kKey, code::InvalidArgument, Place::CoverName, 0},
        {"a character of the page the new classic password cannot carry", BookKind::Sealed, kPassphrase, "Cover",
         "\xC8", BookKind::Described, "zzzz", code::InvalidArgument, Place::Page, 3},
        {"a sealed password too short", BookKind::Described, kKey, "Cover", "fine", BookKind::Sealed, "abc",
         code::InvalidArgument, Place::Page, -1},
        {"a sealed password too long", BookKind::Described, kKey, "Cover", "fine", BookKind::Sealed,
         std::string(sealed::kMaxPassword + 1, 'p'), code::InvalidArgument, Place::Page, -1},
        {"a sealed book's new password too short", BookKind::Sealed, kPassphrase, "Cover", "fine", BookKind::Sealed,
         "abc", code::InvalidArgument, Place::Page, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        make(c.from, c.password, 2, c.coverName);
        Book(path, c.password).appendPage({{}, "Monday, 12/7/2026", "1:00:00 PM", c.lastPage});
        const std::string before = ReadFileBytes(path);
        Book book(path, c.password);
        try {
            book.changePassword(c.newPassword, c.to);
            ADD_FAILURE() << "converted";
        } catch (const UncarriedCharacter& e) {
            EXPECT_GE(c.page, 0) << "refused for a character";
            EXPECT_EQ(e.place(), c.place);
            EXPECT_EQ(e.page(), c.page);
        } catch (const RuntimeError& e) {
            EXPECT_EQ(c.page, -1) << "refused as " << e.code() << " instead of naming the character";
            EXPECT_EQ(e.code(), c.code);
        }
        EXPECT_EQ(ReadFileBytes(path), before);
        EXPECT_EQ(book.password(), c.password);
        EXPECT_TRUE(Book(path, c.password).checkPassword());
        EXPECT_FALSE(scratchExists());
    }
    // The longest passphrase is taken.
    make(BookKind::Described, kKey, 1);
    const std::string longest(sealed::kMaxPassword, 'p');
    Book(path, kKey).changePassword(longest, BookKind::Sealed);
    EXPECT_TRUE(Book(path, longest).checkPassword());
}

} // namespace
