// SPDX-License-Identifier: GPL-3.0-or-later
// Fails every file system call of every writing operation in turn, and checks that the book on disk is always
// either exactly as it was or exactly as it should become, and that the operation then succeeds when retried.
#include "BookFixture.h"

#include "core/RuntimeError.h"

#include <cerrno>
#include <map>

using namespace dayvell;
using namespace dayvell::test;

namespace {

class FaultyFileSystem : public FileSystem {
public:
    explicit FaultyFileSystem(int failAt) : m_failAt(failAt) {}
    bool fired() const { return m_fired; }

    int open(const char* p, int f, mode_t m) override { return fail() ? -1 : FileSystem::open(p, f, m); }
    ssize_t read(int fd, void* b, size_t n) override { return fail() ? -1 : FileSystem::read(fd, b, n); }
    ssize_t pread(int fd, void* b, size_t n, off_t o) override { return fail() ? -1 : FileSystem::pread(fd, b, n, o); }
    ssize_t write(int fd, const void* b, size_t n) override {
        if (m_calls + 1 == m_failAt && n > 1) {
            // A disk that fills up part-way: half the bytes land, then the write fails.
            ++m_calls;
            m_fired = true;
            FileSystem::write(fd, b, n / 2);
            errno = ENOSPC;
            return -1;
        }
        return fail() ? -1 : FileSystem::write(fd, b, n);
    }
    int fsync(int fd) override { return fail() ? -1 : FileSystem::fsync(fd); }
    int close(int fd) override {
        if (fail()) {
            FileSystem::close(fd); // the descriptor is gone either way, as with a real failed close
            errno = EIO;
            return -1;
        }
        return FileSystem::close(fd);
    }
    int fstat(int fd, struct stat* st) override { return fail() ? -1 : FileSystem::fstat(fd, st); }
    int ftruncate(int fd, off_t l) override { return fail() ? -1 : FileSystem::ftruncate(fd, l); }
    int fchmod(int fd, mode_t m) override { return fail() ? -1 : FileSystem::fchmod(fd, m); }
    int flock(int fd, int op) override { return fail() ? -1 : FileSystem::flock(fd, op); }
    int renameNoReplace(const char* a, const char* b) override {
        return fail() ? -1 : FileSystem::renameNoReplace(a, b);
    }
    int rename(const char* a, const char* b) override { return fail() ? -1 : FileSystem::rename(a, b); }
    int unlink(const char* p) override { return fail() ? -1 : FileSystem::unlink(p); }

private:
    bool fail() {
        if (++m_calls != m_failAt)
            return false;
        m_fired = true;
        errno = EIO;
        return true;
    }
    int m_failAt;
    int m_calls = 0;
    bool m_fired = false;
};

struct Operation {
    const char* name;
    std::function<void(Book&, const std::string& targetDir)> run;
    // A move whose source could not be removed has a complete copy in place: asked again, it must replace it.
    std::function<void(Book&, const std::string& targetDir)> retry;
    // An older file of the book's name already in the target folder, which the operation replaces: until the
    // replacement is complete it must stay whole.
    std::string previousCopy = {};
};

void PrintTo(const Operation& op, std::ostream* os) {
    *os << op.name;
}

using DirState = std::map<std::string, std::string>;

DirState State(const std::vector<std::filesystem::path>& dirs) {
    DirState s;
    for (const auto& d : dirs)
        for (const auto& e : std::filesystem::directory_iterator(d))
            s[e.path().string()] = ReadFileBytes(e.path().string());
    return s;
}

class FaultInjection : public BookFixture, public ::testing::WithParamInterface<Operation> {};

TEST_P(FaultInjection, EveryFailureLeavesTheOldBookAndARetrySucceeds) {
    const Operation& op = GetParam();
    TempDir target;
    const std::vector<std::filesystem::path> dirs = {tmp.path(), target.path()};
    auto reset = [&] {
        for (const auto& d : dirs)
            for (const auto& e : std::filesystem::directory_iterator(d))
                std::filesystem::remove(e.path());
        WriteFileBytes(path, original);
        if (!op.previousCopy.empty())
            WriteFileBytes(target.file("diary.dvl"), op.previousCopy);
    };

    // What the operation makes of the book when nothing fails.
    reset();
    {
        Book book(path, kKey);
        op.run(book, target.dir());
    }
    const DirState expected = State(dirs);
    reset();
    const DirState before = State(dirs);
    ASSERT_NE(expected, before);

    int failures = 0;
    for (int k = 1;; ++k) {
        SCOPED_TRACE("failing call " + std::to_string(k));
        reset();
        FaultyFileSystem faulty(k);
        Book book(path, kKey, faulty);
        bool failed = false;
        try {
            op.run(book, target.dir());
        } catch (const RuntimeError&) {
            failed = true;
        }
        if (!faulty.fired()) {
            EXPECT_FALSE(failed);
            EXPECT_EQ(State(dirs), expected);
            break;
        }
        const DirState now = State(dirs);
        if (!failed) {
            // Only a failure that cannot matter any more (syncing the directory after the rename) is passed over.
            EXPECT_EQ(now, expected);
            continue;
        }
        ++failures;
        if (now != before) {
            // The one state between old and new that is allowed: a move whose complete copy is in place while the
            // source could not be removed yet. Nothing is lost, and no scratch file is left.
            DirState movedButKept = expected;
            movedButKept[path] = original;
            EXPECT_EQ(now, movedButKept);
        }
        Book again(path, kKey);
        (op.retry ? op.retry : op.run)(again, target.dir());
        EXPECT_EQ(State(dirs), expected);
    }
    EXPECT_GT(failures, 0) << "no injected failure reached the operation";
}

INSTANTIATE_TEST_SUITE_P(
    Writes, FaultInjection,
    ::testing::Values(
        Operation{"append",
                  [](Book& b, const std::string&) {
                      b.appendPage({" 4", "Tuesday, 12/8/2026", "8:00 AM", "More"});
                  },
                  {}},
        Operation{"append_pages",
                  [](Book& b, const std::string&) {
                      const std::vector<Page> more = {{"", "Tuesday, 12/8/2026", "8:00 AM", "More"},
                                                      {"", "Wednesday, 12/9/2026", "9:00 AM", "And more"}};
                      std::size_t i = 0;
                      b.appendPages([&](std::int64_t, Page& p) {
                          if (i == more.size())
                              return false;
                          p = more[i++];
                          return true;
                      });
                  },
                  {}},
        Operation{"date_refresh", [](Book& b, const std::string&) { b.refreshDate("1/1/2027"); }, {}},
        Operation{"flags", [](Book& b, const std::string&) { b.replaceFlags("0000000"); }, {}},
        Operation{"cover_name", [](Book& b, const std::string&) { b.replaceCoverName("A cover"); }, {}},
        Operation{"page_replacement", [](Book& b, const std::string&) { b.replacePage(" 2", "edited"); }, {}},
        Operation{"page_removal", [](Book& b, const std::string&) { b.removePage(2); }, {}},
        Operation{"reencipher", [](Book& b, const std::string&) { b.reencipher("NewPass1"); }, {}},
        Operation{"rename", [](Book& b, const std::string&) { b.rename("other.dvl"); }, {}},
        Operation{"copy", [](Book& b, const std::string& to) { b.copyTo(to, Existing::Keep, Transfer::Copy); }, {}},
        Operation{"move", [](Book& b, const std::string& to) { b.copyTo(to, Existing::Keep, Transfer::Move); },
                  [](Book& b, const std::string& to) { b.copyTo(to, Existing::Replace, Transfer::Move); }},
        Operation{"copy_replacing",
                  [](Book& b, const std::string& to) { b.copyTo(to, Existing::Replace, Transfer::Copy); },
                  {},
                  "\"an older copy\",\"\",\"\",\"\",\"\"\r\n"},
        Operation{"move_replacing",
                  [](Book& b, const std::string& to) { b.copyTo(to, Existing::Replace, Transfer::Move); },
                  {},
                  "\"an older copy\",\"\",\"\",\"\",\"\"\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
