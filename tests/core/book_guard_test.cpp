// SPDX-License-Identifier: GPL-3.0-or-later
// A book against what surrounds it: write protection, another running copy, files that are not books, links,
// damaged ends, disks that fail late, and crashes; a described and a sealed one alike.
#include "BookFixture.h"

#include "core/Numbers.h"
#include "core/RuntimeError.h"
#include "core/WrittenBooks.h"

#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace dayvell;
using namespace dayvell::test;

namespace {

mode_t Mode(const std::string& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

struct Change {
    const char* name;
    std::function<void(Book&)> run;
    // Written where the book lies, not through the scratch file: appending, and a sealed book's new password.
    bool inPlace(BookKind kind) const {
        return std::string(name) == "append" || (std::string(name) == "password" && kind == BookKind::Sealed);
    }
};

BookKind OtherKind(BookKind kind) {
    return kind == BookKind::Sealed ? BookKind::Described : BookKind::Sealed;
}

// Every change an open book can undergo in its own folder.
const std::vector<Change>& Changes() {
    static const std::vector<Change> changes = {
        {"append",
         [](Book& b) {
             b.appendPage({" 4", "Tuesday, 12/8/2026", "8:00:00 AM", "More"});
         }},
        {"date_refresh", [](Book& b) { b.refreshDate("1/1/2027"); }},
        {"flags", [](Book& b) { b.replaceFlags("0000000"); }},
        {"cover_name", [](Book& b) { b.replaceCoverName("A cover"); }},
        {"page_replacement", [](Book& b) { b.replacePage(" 2", "edited"); }},
        {"page_removal", [](Book& b) { b.removePage(2); }},
        {"password", [](Book& b) { b.changePassword("NewPass1"); }},
        {"conversion", [](Book& b) { b.changePassword("NewPass1", OtherKind(b.kind())); }},
    };
    return changes;
}

class BookGuard : public BookFixture, public ::testing::WithParamInterface<BookKind> {
protected:
    void SetUp() override { make(GetParam()); }
};

TEST_P(BookGuard, AWriteProtectedBookIsNeverChanged) {
    for (const auto& c : Changes()) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(path, original);
        ::chmod(path.c_str(), 0444);
        Book book(path, kKey);
        EXPECT_EQ(ErrorCode([&] { c.run(book); }), 70);
        EXPECT_EQ(bytes(), original);
        EXPECT_EQ(Mode(path), 0444u);
        EXPECT_FALSE(scratchExists());
        ::chmod(path.c_str(), 0600);
    }
}

// Made read-only by someone else while the new content was being written: the rename must not go ahead.
class ProtectsBeforeTheRename : public FileSystem {
public:
    explicit ProtectsBeforeTheRename(std::string book) : m_book(std::move(book)) {}
    int fsync(int fd) override {
        ::chmod(m_book.c_str(), 0444);
        return FileSystem::fsync(fd);
    }

private:
    std::string m_book;
};

TEST_P(BookGuard, WriteProtectionIsCheckedJustBeforeTheBookIsReplaced) {
    for (const auto& c : Changes()) {
        if (c.inPlace(kind))
            continue; // written in place, right after its check
        SCOPED_TRACE(c.name);
        WriteFileBytes(path, original);
        ::chmod(path.c_str(), 0600);
        ProtectsBeforeTheRename fs(path);
        Book book(path, kKey, fs);
        EXPECT_EQ(ErrorCode([&] { c.run(book); }), 70);
        EXPECT_EQ(bytes(), original);
        EXPECT_FALSE(scratchExists());
        ::chmod(path.c_str(), 0600);
    }
}

// Another copy of the program changed the password: this copy's key no longer opens the book. Whatever it wrote
// would be garbage under the new password, so it writes nothing and says why.
TEST_P(BookGuard, AKeyThatNoLongerOpensTheBookWritesNothing) {
    std::vector<Change> changes = Changes();
    changes.push_back({"rename", [](Book& b) { b.rename("other.dvl"); }});
    TempDir target;
    changes.push_back({"copy", [&](Book& b) { b.copyTo(target.dir(), Existing::Replace, Transfer::Copy); }});
    for (const auto& c : changes) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(path, original);
        Book mine(path, kKey);
        Book(path, kKey).changePassword("Other99", kind);
        const std::string changed = bytes();
        EXPECT_EQ(ErrorCode([&] { c.run(mine); }), code::BookChangedElsewhere);
        EXPECT_EQ(bytes(), changed);
        EXPECT_FALSE(std::filesystem::exists(tmp.file("other.dvl")));
        EXPECT_FALSE(std::filesystem::exists(target.file("diary.dvl")));
        // The other copy goes on working: its password change did not make the book unreadable.
        Book theirs(path, "Other99");
        EXPECT_EQ(theirs.countPages(), 3);
        theirs.changePassword(kKey, kind);
    }
}

TEST_P(BookGuard, ANewPageTakesItsNumberFromTheBookAsItIsWhenWritten) {
    Book mine(path, kKey);
    Book(path, kKey).appendPage({" 4", "Tuesday, 12/8/2026", "8:00:00 AM", "From the other copy"});
    // This copy counted three pages when its window opened and offers " 4".
    EXPECT_EQ(mine.appendPage({" 4", "Tuesday, 12/8/2026", "8:00:01 AM", "Mine"}), " 5");
    for (std::int64_t n = 1; n <= 5; ++n)
        EXPECT_EQ(mine.readPage(n)->number, PageNumberText(n));
    EXPECT_EQ(mine.readPage(5)->text, "Mine");
}

// Another copy adds a page just after this one asked how long the book is, before it read anything else.
class PageAddedAfterALook : public FileSystem {
public:
    PageAddedAfterALook(std::string book, std::string key, int atLook)
        : m_book(std::move(book)), m_key(std::move(key)), m_atLook(atLook) {}
    int fstat(int fd, struct stat* st) override {
        const int result = FileSystem::fstat(fd, st);
        if (++m_looks == m_atLook)
            Book(m_book, m_key).appendPage({" 4", "Tuesday, 12/8/2026", "8:00:00 AM", "From the other copy"});
        return result;
    }
    bool added() const { return m_looks >= m_atLook; }

private:
    std::string m_book;
    std::string m_key;
    int m_atLook;
    int m_looks = 0;
};

// Reading takes no lock: a page another copy adds meanwhile is either seen whole or not at all, never taken for
// damage.
TEST_P(BookGuard, APageAddedWhileTheBookIsReadIsNotTakenForDamage) {
    const std::vector<std::pair<const char*, std::function<std::int64_t(const Book&)>>> reads = {
        {"count", [](const Book& b) { return b.countPages(); }},
        {"every_page",
         [](const Book& b) {
             std::int64_t pages = 0;
             b.forEachPage([&](std::int64_t, const PageView&) { return ++pages, true; });
             return pages;
         }},
    };
    for (const auto& [name, read] : reads) {
        const auto& readIt = read; // a structured binding cannot be captured by every compiler
        for (int look = 1;; ++look) {
            SCOPED_TRACE(std::string(name) + " with the page added after look " + std::to_string(look));
            WriteFileBytes(path, original);
            PageAddedAfterALook fs(path, kKey, look);
            std::int64_t pages = 0;
            EXPECT_EQ(ErrorCode([&] { pages = readIt(Book(path, kKey, fs)); }), 0);
            if (!fs.added())
                break; // the read looked fewer times: every moment was tried
            EXPECT_TRUE(pages == 3 || pages == 4) << pages;
            EXPECT_EQ(Book(path, kKey).countPages(), 4);
        }
    }
}

// A disk that fails every sync and every cut from some moment on: the page lands but the user is told it did not.
class FailsLate : public FileSystem {
public:
    bool failing = true;
    int fsync(int fd) override {
        if (failing) {
            errno = EIO;
            return -1;
        }
        return FileSystem::fsync(fd);
    }
    int ftruncate(int fd, off_t length) override {
        if (failing) {
            errno = EIO;
            return -1;
        }
        return FileSystem::ftruncate(fd, length);
    }
};

TEST_P(BookGuard, ARetriedSaveNeverStoresThePageTwice) {
    const Page page{" 4", "Tuesday, 12/8/2026", "8:00:00 AM", "Saved twice?"};
    FailsLate fs;
    Book book(path, kKey, fs);
    EXPECT_EQ(ErrorCode([&] { book.appendPage(page); }), 57);
    EXPECT_EQ(ErrorCode([&] { book.appendPage(page); }), 57);
    fs.failing = false;
    EXPECT_EQ(book.appendPage(page), " 4");
    Book plain(path, kKey);
    EXPECT_EQ(plain.countPages(), 4);
    EXPECT_EQ(plain.readPage(4)->text, page.text);
    // A different page after it is a new page.
    EXPECT_EQ(plain.appendPage({" 5", "Tuesday, 12/8/2026", "8:00:00 AM", "Another"}), " 5");
    EXPECT_EQ(plain.countPages(), 5);
}

TEST_P(BookGuard, NothingIsAppendedToABookWhoseEndIsNotAWholeRecord) {
    struct Case {
        const char* name;
        size_t cut; // bytes cut from the end
    };
    std::vector<Case> cases;
    int refusal = code::PastEndOfFile;
    if (kind == BookKind::Described) {
        const std::string lastLine = Lines(original).back();
        cases = {
            {"inside_the_text", lastLine.size() / 2},
            {"inside_the_end_mark", 4},
            {"after_the_carriage_return", 1},
            {"between_fields", lastLine.size() - lastLine.find("\",\"") - 2},
        };
    } else {
        // The records follow the head, each its length (4 bytes) and nonce before what that length counts. A
        // sealed book cut at the end of a record is cut short too: its tally still counts the page.
        std::size_t last = sealed::kHeadSize;
        for (std::size_t at = last; at < original.size();
             at +=
             sealed::kRecordPrefixSize + sealed::GetLe(reinterpret_cast<const unsigned char*>(original.data()) + at, 4))
            last = at;
        const std::size_t lastRecord = original.size() - last;
        cases = {
            {"inside_the_ciphertext", lastRecord / 2},
            {"inside_the_tag", 1},
            {"inside_the_length", lastRecord - 2},
            {"at_the_end_of_the_page_before", lastRecord},
        };
        refusal = code::SealedBookDamaged;
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string cut = original.substr(0, original.size() - c.cut);
        WriteFileBytes(path, cut);
        EXPECT_EQ(ErrorCode([&] { Book(path, kKey).appendPage({" 4", "d", "t", "x"}); }), refusal);
        EXPECT_EQ(bytes(), cut);
    }
}

// The end of a named pipe never comes unless someone writes to it: a reading program must not wait for it.
template <class F> int WithoutWaiting(const std::string& fifo, F&& f) {
    auto done = std::async(std::launch::async, [&] { return ErrorCode(f); });
    if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
        return done.get();
    ADD_FAILURE() << "blocked on " << fifo;
    // Release it: a writer that opens and closes lets the blocked open and read end.
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ::close(fd);
    return done.get();
}

TEST_P(BookGuard, WhatIsNotARegularFileIsRefusedAtOnce) {
    std::vector<Change> operations = Changes();
    operations.push_back({"check_password", [](Book& b) { b.checkPassword(); }});
    operations.push_back({"read_header", [](Book& b) { b.readHeader(); }});
    operations.push_back({"count_pages", [](Book& b) { b.countPages(); }});
    operations.push_back({"read_page", [](Book& b) { b.readPage(1); }});
    operations.push_back({"read_page_or_last", [](Book& b) { b.readPageOrLast(9); }});
    operations.push_back({"rename", [](Book& b) { b.rename("y.dvl"); }});
    const std::string fifo = tmp.file("x.dvl");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = tmp.file("f.dvl");
    std::filesystem::create_directory(folder);
    for (const std::string& p : {fifo, folder}) {
        for (const auto& op : operations) {
            SCOPED_TRACE(p + " " + op.name);
            Book book(p, kKey);
            EXPECT_EQ(WithoutWaiting(fifo, [&] { op.run(book); }), code::NotABookFile);
        }
    }
    // The folder's lock was never kept: the other books there work.
    Book(path, kKey).replaceCoverName("Still mine");
    EXPECT_EQ(Book(path, kKey).readHeader().coverName, "Still mine");
}

// Pretends to die, like a process killed at that moment, at the first write of a new book's bytes.
class DiesAtFirstWrite : public FileSystem {
public:
    ssize_t write(int, const void*, size_t) override { _exit(0); }
    ssize_t pwrite(int, const void*, size_t, off_t) override { _exit(0); }
};

TEST_P(BookGuard, ACreateThatDiesHalfWayLeavesNoBook) {
    const std::string p = tmp.file("new.dvl");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        DiesAtFirstWrite dies;
        try {
            Book::Create(dies, p, kKey, Book::NewHeader(tmp.dir(), "1/1/2027"), kind);
        } catch (...) {
        }
        _exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child did not reach the write";
    EXPECT_FALSE(std::filesystem::exists(p));
    Book::Create(SystemFileSystem(), p, kKey, Book::NewHeader(tmp.dir(), "1/1/2027"), kind);
    EXPECT_TRUE(Book(p, kKey).checkPassword());
    EXPECT_EQ(Book(p, kKey).kind(), kind);
    EXPECT_FALSE(scratchExists());
}

TEST_P(BookGuard, ANewBookIsPrivateAndNeverReplacesAnything) {
    const mode_t old = ::umask(022);
    const std::string p = tmp.file("new.dvl");
    Book::Create(SystemFileSystem(), p, kKey, Book::NewHeader(tmp.dir(), "1/1/2027"), kind);
    ::umask(old);
    EXPECT_EQ(Mode(p), 0600u);
    // Not even a link that leads nowhere is replaced.
    const std::string dangling = tmp.file("dangling.dvl");
    std::filesystem::create_symlink(tmp.file("nowhere"), dangling);
    EXPECT_EQ(
        ErrorCode([&] { Book::Create(SystemFileSystem(), dangling, kKey, Book::NewHeader(tmp.dir(), "d"), kind); }),
        58);
    EXPECT_TRUE(std::filesystem::is_symlink(dangling));
    EXPECT_FALSE(std::filesystem::exists(tmp.file("nowhere")));
    EXPECT_FALSE(scratchExists());
}

TEST_P(BookGuard, AFolderTakingTheScratchNameIsNamedInTheError) {
    std::filesystem::create_directory(tmp.file("dvltemp.dvl"));
    for (const auto& c : Changes()) {
        if (c.inPlace(kind))
            continue; // written in place: no scratch file
        SCOPED_TRACE(c.name);
        Book book(path, kKey);
        try {
            c.run(book);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.code(), 58);
            EXPECT_NE(std::string(e.what()).find("dvltemp.dvl"), std::string::npos) << e.what();
        }
        EXPECT_EQ(bytes(), original);
    }
    EXPECT_TRUE(std::filesystem::is_directory(tmp.file("dvltemp.dvl")));
}

// Paths are bytes: a link into a folder whose name Windows-1252 cannot hold still leads to the real book, and a
// name that only a lenient decoding would read as something else is never read so.
TEST_P(BookGuard, LinksLeadToTheRealBookWhateverItsFolderIsCalled) {
    const struct {
        const char* name;
        std::string folder; // as the file system spells it
    } cases[] = {
        {"cyrillic", "\xD0\x94\xD0\xBD\xD0\xB5\xD0\xB2\xD0\xBD\xD0\xB8\xD0\xBA"}, // "Dnevnik" in Cyrillic
        {"overlong_slash", "x\xC0\xAFy"},                                         // an overlong "/": not a separator
        {"invalid_bytes", "\xFF\xFE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path real = tmp.path() / c.folder;
        std::filesystem::create_directories(real);
        std::filesystem::copy_file(path, real / "diary.dvl");
        // The book a lenient decoding of the overlong name would reach instead.
        std::filesystem::create_directories(tmp.path() / "x" / "y");
        std::filesystem::copy_file(path, tmp.path() / "x" / "y" / "diary.dvl",
                                   std::filesystem::copy_options::overwrite_existing);
        const std::string link = tmp.file(std::string("link_") + c.name + ".dvl");
        std::filesystem::create_symlink(real / "diary.dvl", link);

        Book book(link, kKey);
        book.replaceCoverName("Through the link");
        EXPECT_EQ(book.appendPage({" 4", "d", "t", "appended"}), " 4");
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        // Read back from a copy under a plain name: test paths given to Book are Windows-1252 text.
        std::filesystem::copy_file(real / "diary.dvl", tmp.path() / "check.dvl",
                                   std::filesystem::copy_options::overwrite_existing);
        Book target(tmp.file("check.dvl"), kKey);
        EXPECT_EQ(target.readHeader().coverName, "Through the link");
        EXPECT_EQ(target.countPages(), 4);
        EXPECT_EQ(ReadFileBytes((tmp.path() / "x" / "y" / "diary.dvl").string()), original);
        EXPECT_FALSE(std::filesystem::exists(real / "dvltemp.dvl"));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, BookGuard, ::testing::Values(BookKind::Described, BookKind::Sealed),
                         [](const auto& info) { return info.param == BookKind::Sealed ? "sealed" : "described"; });

} // namespace
