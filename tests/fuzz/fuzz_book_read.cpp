// SPDX-License-Identifier: GPL-3.0-or-later
// Every read of a book from arbitrary bytes: it either works or fails with a run-time error, never crashes, and
// all reads agree with one another, however few bytes each read of the disk delivers.
#include "FuzzSupport.h"

#include "core/Book.h"
#include "core/Search.h"

using namespace dayvell;
using namespace dayvell::fuzz;

namespace {

class ShortReads : public FileSystem {
public:
    explicit ShortReads(std::size_t most) : m_most(most) {}
    ssize_t read(int fd, void* buffer, std::size_t size) override {
        return FileSystem::read(fd, buffer, std::min(size, m_most));
    }

private:
    std::size_t m_most;
};

struct Reading {
    std::optional<int> error;
    std::int64_t pages = 0;
    std::vector<std::string> fields;
};

Reading ReadAll(const Book& book) {
    Reading r;
    r.error = Attempt([&] {
        book.forEachPage([&](std::int64_t position, const PageView& page) {
            FUZZ_CHECK(position == r.pages + 1);
            ++r.pages;
            for (const std::string_view f : {page.number, page.date, page.time, page.text, page.endMark})
                r.fields.emplace_back(f);
            return true;
        });
    });
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::size_t most = 1 + in.byte() % 9;
    const std::string key = in.text(12);
    const std::string needle = in.text(8);
    const std::string bytes = in.rest();
    const std::string path = ScratchFolder() + "/read.dvl";
    WriteFile(path, bytes);

    Book book(path, key);
    ShortReads slowDisk(most);
    Book slow(path, key, slowDisk);
    const Reading whole = ReadAll(book);
    const Reading piecemeal = ReadAll(slow);
    FUZZ_CHECK(whole.error == piecemeal.error);
    FUZZ_CHECK(whole.pages == piecemeal.pages && whole.fields == piecemeal.fields);

    std::int64_t count = -1;
    const auto countError = Attempt([&] { count = book.countPages(); });
    FUZZ_CHECK(countError == whole.error);
    bool opens = false;
    const auto checkError = Attempt([&] { opens = book.checkPassword(); });
    // The header alone is read: a book readable to its end always has one.
    if (!whole.error)
        FUZZ_CHECK(!checkError);
    if (checkError)
        FUZZ_CHECK(*checkError == 62 || *checkError == 53);
    if (!countError) {
        for (std::int64_t n = 1; n <= std::min<std::int64_t>(count, 3) + 1; ++n) {
            std::optional<Page> page;
            const auto pageError = Attempt([&] { page = book.readPage(n); });
            if (pageError) {
                FUZZ_CHECK(*pageError == 5 && n <= count); // only a decipher can fail
            } else {
                FUZZ_CHECK(page.has_value() == (n <= count));
            }
        }
        std::optional<std::pair<std::int64_t, Page>> last;
        if (!Attempt([&] { last = book.readPageOrLast(count + 5); }))
            FUZZ_CHECK(last ? last->first == count : count == 0);
        std::int64_t found = 0;
        const auto searchError = Attempt([&] { SearchBook(book, needle, [&](const std::string&) { ++found; }); });
        FUZZ_CHECK(found <= count);
        // Only a decipher can fail where reading every page did not.
        if (searchError)
            FUZZ_CHECK(*searchError == 5 || searchError == whole.error);
        if (opens) {
            BookHeader header;
            // A password that opens the book reads its header, unless the header is damaged.
            const auto headerError = Attempt([&] { header = book.readHeader(); });
            FUZZ_CHECK(!headerError || *headerError == 62 || *headerError == 5);
        }
    }
    return 0;
}
