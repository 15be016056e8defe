// SPDX-License-Identifier: GPL-3.0-or-later
// Adding many pages in one change: numbered on from the book, all or nothing.
#include "BookFixture.h"

#include "core/RuntimeError.h"

#include <stdexcept>

using namespace dayvell;
using namespace dayvell::test;

namespace {

// Hands out `pages` one after another and records the numbers it was given.
struct PageFeed {
    explicit PageFeed(std::vector<Page> given = {}) : pages(std::move(given)) {}

    std::vector<Page> pages;
    std::vector<std::int64_t> numbers;
    std::size_t next = 0;

    bool operator()(std::int64_t number, Page& page) {
        if (next == pages.size())
            return false;
        numbers.push_back(number);
        page = pages[next++];
        return true;
    }
};

using BookAppendPages = BookFixture;

TEST_F(BookAppendPages, WritesWhatAppendingOneByOneWouldAndNumbersOnFromTheBook) {
    const std::vector<Page> more = {{"", "Tuesday, 12/8/2026", "8:00:00 AM", "Fourth\r\npage"},
                                    {"", "Wednesday, 12/9/2026", "9:00:00 AM", ""},
                                    {"", "Thursday, 12/10/2026", "10:00:00 AM", std::string(5000, 'x')}};
    // The same pages appended one at a time, in a copy of the book.
    const std::string reference = tmp.file("reference.dvl");
    WriteFileBytes(reference, original);
    {
        Book one(reference, kKey);
        for (const Page& p : more)
            one.appendPage(p);
    }

    PageFeed feed(more);
    Book book(path, kKey);
    EXPECT_EQ(book.appendPages(std::ref(feed)), 3);
    EXPECT_EQ(feed.numbers, (std::vector<std::int64_t>{4, 5, 6}));
    EXPECT_EQ(bytes(), ReadFileBytes(reference));
    EXPECT_FALSE(scratchExists());
    EXPECT_EQ(book.readPage(4)->number, " 4");
}

TEST_F(BookAppendPages, NothingToAddLeavesThePagesAsTheyWere) {
    PageFeed feed;
    EXPECT_EQ(Book(path, kKey).appendPages(std::ref(feed)), 0);
    EXPECT_EQ(bytes(), original);
}

TEST_F(BookAppendPages, AnAdditionCalledOffOrRefusedPartWayWritesNothing) {
    struct Case {
        const char* what;
        std::vector<Page> pages;
        bool throwAtSecond;
    };
    const Case cases[] = {
        {"called off at the second page",
         {{"", "Tuesday, 12/8/2026", "8:00:00 AM", "a"}, {"", "Tuesday, 12/8/2026", "8:00:01 AM", "b"}},
         true},
        // 0xFF plus any key character is beyond the cipher.
        {"second page beyond the cipher",
         {{"", "Tuesday, 12/8/2026", "8:00:00 AM", "a"}, {"", "Tuesday, 12/8/2026", "8:00:01 AM", "b\xFF"}},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t given = 0;
        try {
            Book(path, kKey).appendPages([&](std::int64_t, Page& page) {
                if (given == c.pages.size())
                    return false;
                if (c.throwAtSecond && given == 1)
                    throw std::runtime_error("called off");
                page = c.pages[given++];
                return true;
            });
            ADD_FAILURE() << "the addition went through";
        } catch (const UncarriedCharacter& e) {
            EXPECT_FALSE(c.throwAtSecond);
            EXPECT_EQ(e.page(), 5) << "the page is named by the number it would have had";
        } catch (const std::runtime_error&) {
            EXPECT_TRUE(c.throwAtSecond);
        }
        EXPECT_EQ(bytes(), original);
        EXPECT_FALSE(scratchExists());
    }
}

TEST_F(BookAppendPages, RefusesABookWhosePasswordChangedSinceItWasOpened) {
    Book(path, kKey).changePassword("other1");
    const std::string changed = bytes();
    PageFeed feed({{"", "Tuesday, 12/8/2026", "8:00:00 AM", "a"}});
    try {
        Book(path, kKey).appendPages(std::ref(feed));
        ADD_FAILURE() << "pages were added under a key that no longer opens the book";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), code::BookChangedElsewhere);
    }
    EXPECT_EQ(bytes(), changed);
}

} // namespace
