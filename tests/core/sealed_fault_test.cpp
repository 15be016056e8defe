// SPDX-License-Identifier: GPL-3.0-or-later
// Fails each file system call of a password change and of an append in turn (once, or from then on as a disk that
// is gone would), with writes torn half-way: the book must always answer to exactly one password, never lose a page,
// and never show a page cut short.
#include "SealedBooks.h"

#include "core/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace dayvell;
using namespace dayvell::sealed;
using namespace dayvell::test;

namespace {

constexpr const char* kNewPassword = "a new passphrase";

class FailingDisk : public FileSystem {
public:
    // Fails call number `at`, and every later one when `lasting`.
    FailingDisk(int at, bool lasting) : m_at(at), m_lasting(lasting) {}
    bool fired() const { return m_fired; }

    ssize_t pread(int fd, void* b, size_t n, off_t o) override { return fails() ? -1 : FileSystem::pread(fd, b, n, o); }
    ssize_t pwrite(int fd, const void* b, size_t n, off_t o) override {
        if (!fails())
            return FileSystem::pwrite(fd, b, n, o);
        // A disk that fills up part-way: the first half lands.
        if (n > 1)
            FileSystem::pwrite(fd, b, n / 2, o);
        errno = ENOSPC;
        return -1;
    }
    int fsync(int fd) override { return fails() ? -1 : FileSystem::fsync(fd); }
    int fstat(int fd, struct stat* st) override { return fails() ? -1 : FileSystem::fstat(fd, st); }
    int ftruncate(int fd, off_t length) override { return fails() ? -1 : FileSystem::ftruncate(fd, length); }

private:
    bool fails() {
        ++m_calls;
        if (m_calls < m_at || (m_calls > m_at && !m_lasting))
            return false;
        m_fired = true;
        errno = EIO;
        return true;
    }
    int m_at;
    bool m_lasting;
    int m_calls = 0;
    bool m_fired = false;
};

// The pages' fields but their numbers, which a page saved again may differ in.
std::vector<Record> PagesWithoutNumbers(SealedContent c) {
    for (auto& p : c.pages)
        p[0].clear();
    return c.pages;
}

class SealedFaults : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { ForgetKeys(); }
    void TearDown() override { ForgetKeys(); }

    // Runs `step` on a fresh book with call k of the disk failing (once, or from then on), for k = 1, 2, ... up to
    // the first run in which no call failed; after each run `after(book, failed, fired)` looks at the file, `failed`
    // telling whether the step threw and `fired` whether any call failed. At least one run must have thrown.
    template <class Step, class After> void underEveryFailure(Step step, After after) {
        int failures = 0;
        for (int k = 1;; ++k) {
            SCOPED_TRACE("failing call " + std::to_string(k));
            const NewBook book = MakeSealedBook(path, content);
            FailingDisk disk(k, GetParam());
            bool failed = false;
            {
                FileHandle f = OpenFile(SystemFileSystem(), path, O_RDWR);
                try {
                    step(disk, f.fd(), book);
                } catch (const RuntimeError&) {
                    failed = true;
                    ++failures;
                }
            }
            after(book, failed, disk.fired());
            if (!disk.fired())
                break;
        }
        EXPECT_GT(failures, 0);
    }

    TempDir tmp;
    const std::string path = tmp.file("sealed.dvl");
    const SealedContent content = SampleContent();
};

TEST_P(SealedFaults, APasswordChangeLeavesTheBookAnsweringToExactlyOnePassword) {
    std::optional<OldPassword> old;
    const auto change = [&](FileSystem& disk, int fd, const NewBook& book) {
        old.reset();
        old = ChangePassword(disk, fd, book.head, book.key, kNewPassword, FastKdf());
    };
    underEveryFailure(change, [&](const NewBook& book, bool failed, bool fired) {
        ForgetKeys();
        const auto oldKey = UnlockFile(path, kSealedPassword);
        const auto newKey = UnlockFile(path, kNewPassword);
        ASSERT_NE(oldKey.has_value(), newKey.has_value()) << "one password, and only one, opens the book";
        const SecureBytes& key = oldKey ? *oldKey : *newKey;
        EXPECT_TRUE(key.equals(book.key));
        SealedContent read;
        ReadSealedContent(path, key, read);
        EXPECT_EQ(read, content);
        if (!fired) {
            EXPECT_EQ(old, OldPassword::Cleared);
            EXPECT_TRUE(newKey);
            return;
        }
        // The half-written slot was cleared after a failure; only a lasting one can leave a complete one.
        if (failed && !GetParam()) {
            EXPECT_TRUE(oldKey);
        }
        if (!failed) {
            EXPECT_TRUE(newKey);
        }
        // Changing the password again from whichever is in force ends with the new one alone.
        {
            FileHandle f = OpenFile(SystemFileSystem(), path, O_RDWR);
            const SealedHead head = ReadSealedHead(SystemFileSystem(), f.fd());
            EXPECT_EQ(ChangePassword(SystemFileSystem(), f.fd(), head, key, kNewPassword, FastKdf()),
                      OldPassword::Cleared);
        }
        ForgetKeys();
        EXPECT_TRUE(UnlockFile(path, kNewPassword));
        EXPECT_FALSE(UnlockFile(path, kSealedPassword));
        const std::string file = ReadFileBytes(path);
        const SealedHead head = ParseSealedHead(std::vector<unsigned char>(file.begin(), file.end()));
        EXPECT_FALSE(head.keySlots[static_cast<std::size_t>(1 - head.inForce)]) << "the other slot is cleared";
    });
}

TEST_P(SealedFaults, AnAppendKeepsEveryPageAndNeverLeavesOneCutShortUnreported) {
    const Record page{" 4", "Tuesday", "8:00 AM", "four", "_"};
    SealedContent appended = content;
    appended.pages.push_back(page);
    const auto append = [&](FileSystem& disk, int fd, const NewBook& book) {
        SealedAppender appender(disk, fd, book.head, book.key);
        appender.append({page[0], page[1], page[2], page[3], page[4]});
    };
    underEveryFailure(append, [&](const NewBook& book, bool failed, bool fired) {
        SealedContent read;
        std::int64_t damagedAt = 0;
        try {
            ReadSealedContent(path, book.key, read);
        } catch (const SealedBookDamaged& e) {
            damagedAt = e.where();
        }
        if (!failed) {
            // Nothing failed, or only the tally's update: the page is there, found past the older tally.
            EXPECT_EQ(read, appended) << (fired ? "the tally's update failed" : "nothing failed");
            return;
        }
        if (damagedAt != 0) {
            // A disk gone for good could not cut the torn page away: it is reported, never shown, and every page
            // before it is intact.
            EXPECT_TRUE(GetParam());
            EXPECT_EQ(damagedAt, 4);
            EXPECT_EQ(read, content);
            return;
        }
        // Either nothing of the page is left, or all of it (its sync failed, and so did cutting it away).
        if (read != appended) {
            EXPECT_EQ(read, content);
        }
        // Saved again, the page is there once.
        {
            FileHandle f = OpenFile(SystemFileSystem(), path, O_RDWR);
            SealedAppender appender(SystemFileSystem(), f.fd(), book.head, book.key);
            EXPECT_EQ(appender.append({" 4 or 5", page[1], page[2], page[3], page[4]}), 4);
        }
        SealedContent again;
        ReadSealedContent(path, book.key, again);
        EXPECT_EQ(PagesWithoutNumbers(again), PagesWithoutNumbers(appended));
        FileHandle f = OpenFile(SystemFileSystem(), path, O_RDONLY);
        EXPECT_EQ(CountSealedPages(SystemFileSystem(), f.fd(), book.head, book.key), 4);
    });
}

INSTANTIATE_TEST_SUITE_P(Disks, SealedFaults, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "failing_from_then_on" : "failing_once"; });

} // namespace
