// SPDX-License-Identifier: GPL-3.0-or-later
// Fails every file system call of every writing operation in turn, and checks that the book on disk is always
// either exactly as it was or exactly as it should become, and that the operation then succeeds when retried; on a
// local disk and on disks like network shares, which offer no rename without replacing and maybe no hard links; for
// a described and a sealed book, and for the conversion of each into the other. Then single failures at the moments
// that matter most, each reported as what happened.
#include "BookFixture.h"

#include "core/RuntimeError.h"

#include <cerrno>
#include <map>
#include <tuple>

using namespace dayvell;
using namespace dayvell::test;

namespace {

// What a disk offers of the two calls that put a file in place without replacing another.
enum class Disk {
    Local,
    // No renameat2 flags (NFS, many FUSE file systems): hard links stand in.
    NoNoReplaceRename,
    // Neither (SMB shares, many FUSE file systems).
    NoLinks,
};

const char* DiskName(Disk disk) {
    switch (disk) {
    case Disk::Local:
        return "local";
    case Disk::NoNoReplaceRename:
        return "no_noreplace_rename";
    case Disk::NoLinks:
        return "no_links";
    }
    return "";
}

// A disk of the given kind: what it does not offer fails as such a file system fails it.
class DiskOfKind : public FileSystem {
public:
    explicit DiskOfKind(Disk disk) : m_disk(disk) {}
    int renameNoReplace(const char* a, const char* b) override {
        if (m_disk != Disk::Local) {
            errno = EINVAL;
            return -1;
        }
        return FileSystem::renameNoReplace(a, b);
    }
    int link(const char* a, const char* b) override {
        if (m_disk == Disk::NoLinks) {
            errno = EPERM;
            return -1;
        }
        return FileSystem::link(a, b);
    }

private:
    Disk m_disk;
};

class FaultyFileSystem : public DiskOfKind {
public:
    FaultyFileSystem(int failAt, Disk disk) : DiskOfKind(disk), m_failAt(failAt) {}
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
    ssize_t pwrite(int fd, const void* b, size_t n, off_t o) override {
        if (m_calls + 1 == m_failAt && n > 1) {
            ++m_calls;
            m_fired = true;
            FileSystem::pwrite(fd, b, n / 2, o);
            errno = ENOSPC;
            return -1;
        }
        return fail() ? -1 : FileSystem::pwrite(fd, b, n, o);
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
    int fchown(int fd, uid_t u, gid_t g) override { return fail() ? -1 : FileSystem::fchown(fd, u, g); }
    ssize_t fgetxattr(int fd, const char* n, void* v, size_t s) override {
        return fail() ? -1 : FileSystem::fgetxattr(fd, n, v, s);
    }
    int fsetxattr(int fd, const char* n, const void* v, size_t s, int f) override {
        return fail() ? -1 : FileSystem::fsetxattr(fd, n, v, s, f);
    }
    int fremovexattr(int fd, const char* n) override { return fail() ? -1 : FileSystem::fremovexattr(fd, n); }
    int flock(int fd, int op) override { return fail() ? -1 : FileSystem::flock(fd, op); }
    int renameNoReplace(const char* a, const char* b) override {
        return fail() ? -1 : DiskOfKind::renameNoReplace(a, b);
    }
    int rename(const char* a, const char* b) override { return fail() ? -1 : FileSystem::rename(a, b); }
    int link(const char* a, const char* b) override { return fail() ? -1 : DiskOfKind::link(a, b); }
    int unlink(const char* p) override { return fail() ? -1 : FileSystem::unlink(p); }
    int stat(const char* p, struct stat* st) override { return fail() ? -1 : FileSystem::stat(p, st); }
    int lstat(const char* p, struct stat* st) override { return fail() ? -1 : FileSystem::lstat(p, st); }
    int access(const char* p, int m) override { return fail() ? -1 : FileSystem::access(p, m); }

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

const char* KindName(BookKind kind) {
    return kind == BookKind::Sealed ? "sealed" : "described";
}

BookKind OtherKind(BookKind kind) {
    return kind == BookKind::Sealed ? BookKind::Described : BookKind::Sealed;
}

using DirState = std::map<std::string, std::string>;

// Every file of the folders, books by what they hold (BookState): a sealed book written twice with the same content
// differs in every byte.
DirState State(const std::vector<std::filesystem::path>& dirs) {
    DirState s;
    for (const auto& d : dirs)
        for (const auto& e : std::filesystem::directory_iterator(d))
            s[e.path().string()] = BookState(e.path().string(), {"key1", "NewPass1"});
    return s;
}

class FaultInjection : public BookFixture,
                       public ::testing::WithParamInterface<std::tuple<Operation, Disk, BookKind>> {};

TEST_P(FaultInjection, EveryFailureLeavesTheOldBookAndARetrySucceeds) {
    const Operation& op = std::get<0>(GetParam());
    const Disk disk = std::get<1>(GetParam());
    make(std::get<2>(GetParam()));
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
        DiskOfKind fs(disk);
        Book book(path, kKey, fs);
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
        FaultyFileSystem faulty(k, disk);
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
            movedButKept[path] = before.at(path);
            EXPECT_EQ(now, movedButKept);
        }
        DiskOfKind fs(disk);
        Book again(path, kKey, fs);
        (op.retry ? op.retry : op.run)(again, target.dir());
        EXPECT_EQ(State(dirs), expected);
    }
    EXPECT_GT(failures, 0) << "no injected failure reached the operation";
}

INSTANTIATE_TEST_SUITE_P(
    Writes, FaultInjection,
    ::testing::Combine(
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
            Operation{"password", [](Book& b, const std::string&) { b.changePassword("NewPass1"); }, {}},
            Operation{"conversion",
                      [](Book& b, const std::string&) { b.changePassword("NewPass1", OtherKind(b.kind())); },
                      {}},
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
        ::testing::Values(Disk::Local, Disk::NoNoReplaceRename, Disk::NoLinks),
        ::testing::Values(BookKind::Described, BookKind::Sealed)),
    [](const auto& info) {
        return std::string(KindName(std::get<2>(info.param))) + "_" + std::get<0>(info.param).name + "_on_" +
               DiskName(std::get<1>(info.param));
    });

// Fails one call, on one file or folder, with one error: the calls on paths when given that path, the calls on
// descriptors when the descriptor is open on it.
class OneFault : public FileSystem {
public:
    OneFault(std::string call, std::string path, int err)
        : m_call(std::move(call)), m_path(std::move(path)), m_err(err) {}
    bool fired() const { return m_fired; }

    int fsync(int fd) override { return hit("fsync", fd) ? -1 : FileSystem::fsync(fd); }
    int access(const char* p, int m) override { return hit("access", p) ? -1 : FileSystem::access(p, m); }
    int stat(const char* p, struct stat* st) override { return hit("stat", p) ? -1 : FileSystem::stat(p, st); }
    int unlink(const char* p) override { return hit("unlink", p) ? -1 : FileSystem::unlink(p); }

private:
    static std::string Normal(const std::string& p) {
        std::string n = std::filesystem::weakly_canonical(p).string();
        while (n.size() > 1 && n.back() == '/')
            n.pop_back();
        return n;
    }
    bool hit(const char* call, const char* path) {
        if (m_call != call || Normal(path) != Normal(m_path))
            return false;
        return fire();
    }
    bool hit(const char* call, int fd) {
        struct stat open {
        }, named{};
        if (m_call != call || ::fstat(fd, &open) != 0 || ::stat(m_path.c_str(), &named) != 0 ||
            open.st_dev != named.st_dev || open.st_ino != named.st_ino)
            return false;
        return fire();
    }
    bool fire() {
        m_fired = true;
        errno = m_err;
        return true;
    }
    std::string m_call, m_path;
    int m_err;
    bool m_fired = false;
};

using SingleFaults = BookFixture;

// A failure is reported as what happened (a disk that cannot answer is 57, a full one 61), never as another
// condition, and never passed over where what follows depends on it.
TEST_F(SingleFaults, EachIsReportedAsWhatHappenedAndLosesNothing) {
    TempDir target;
    const std::string copy = target.file("diary.dvl");
    struct Case {
        const char* what;
        std::string call, path;
        int err;
        std::function<void(Book&, FileSystem&)> run;
        int code;
        // Where the failure comes after the copy is complete: it stays, and so does the source.
        bool copyKept;
    };
    const auto move = [&](Book& b, FileSystem&) { b.copyTo(target.dir(), Existing::Keep, Transfer::Move); };
    const auto copyKeeping = [&](Book& b, FileSystem&) { b.copyTo(target.dir(), Existing::Keep, Transfer::Copy); };
    const Case cases[] = {
        {"the destination folder of a move cannot be synced", "fsync", target.dir(), EIO, move, 57, true},
        {"the destination folder of a move is full", "fsync", target.dir(), ENOSPC, move, 61, true},
        {"the book's write permission cannot be looked at", "access", path, EIO,
         [](Book& b, FileSystem&) { b.replaceCoverName("x"); }, 57, false},
        {"the source folder's write permission cannot be looked at", "access", tmp.dir(), EIO, move, 57, false},
        {"the target of a copy cannot be looked at", "stat", copy, EIO, copyKeeping, 57, false},
        {"the folder of a missing book cannot be looked at", "stat", tmp.dir(), EIO,
         [&](Book&, FileSystem& fs) { Book(tmp.file("missing.dvl"), kKey, fs).readHeader(); }, 57, false},
        {"the scratch file left by another run cannot be removed", "unlink", tmp.file("dvltemp.dvl"), EIO,
         [](Book& b, FileSystem&) { b.replaceFlags("1111111"); }, 57, false},
    };
    for (const BookKind bookKind : {BookKind::Described, BookKind::Sealed}) {
        make(bookKind);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(KindName(kind)) + ": " + c.what);
            // Each case starts from the book alone, whatever the one before did.
            WriteFileBytes(path, original);
            std::filesystem::remove(copy);
            OneFault fs(c.call, c.path, c.err);
            Book book(path, kKey, fs);
            int code = 0;
            try {
                c.run(book, fs);
            } catch (const RuntimeError& e) {
                code = e.code();
            }
            EXPECT_TRUE(fs.fired());
            EXPECT_EQ(code, c.code);
            ASSERT_TRUE(std::filesystem::exists(path)) << "the book is gone";
            EXPECT_EQ(bytes(), original);
            EXPECT_EQ(book.path(), path);
            EXPECT_FALSE(scratchExists());
            EXPECT_FALSE(std::filesystem::exists(target.file("dvltemp.dvl")));
            if (c.copyKept) {
                Book kept(copy, kKey);
                EXPECT_EQ(kept.readHeader().directory, target.dir());
                EXPECT_EQ(kept.countPages(), 3);
            } else {
                EXPECT_FALSE(std::filesystem::exists(copy));
            }
        }
    }
}

// Where hard links work but the old name cannot be removed after one, the new name goes again: a book with two
// names would become two books at its next change.
TEST_F(SingleFaults, ARenameThatCannotRemoveTheOldNameLeavesOneName) {
    class StuckName : public DiskOfKind {
    public:
        explicit StuckName(std::string stuck) : DiskOfKind(Disk::NoNoReplaceRename), m_stuck(std::move(stuck)) {}
        int unlink(const char* p) override {
            if (p == m_stuck) {
                errno = EACCES;
                return -1;
            }
            return FileSystem::unlink(p);
        }

    private:
        std::string m_stuck;
    };
    TempDir target;
    struct Case {
        const char* what;
        std::string stuck;
        std::function<void(Book&)> run;
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {"renaming the book", path, [](Book& b) { b.rename("other.dvl"); }, {tmp.file("other.dvl")}},
        {"copying it",
         target.file("dvltemp.dvl"),
         [&](Book& b) { b.copyTo(target.dir(), Existing::Keep, Transfer::Copy); },
         {target.file("diary.dvl")}},
    };
    for (const BookKind bookKind : {BookKind::Described, BookKind::Sealed}) {
        make(bookKind);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(KindName(kind)) + ": " + c.what);
            StuckName fs(c.stuck);
            Book book(path, kKey, fs);
            try {
                c.run(book);
                ADD_FAILURE() << "reported as done";
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.code(), 70);
            }
            EXPECT_EQ(bytes(), original);
            EXPECT_EQ(book.path(), path);
            for (const std::string& name : c.absent)
                EXPECT_FALSE(std::filesystem::exists(name)) << name;
            struct stat st {};
            ASSERT_EQ(::stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_nlink, 1u);
        }
    }
}

// A new book on a disk without hard links or the no-replace rename: made, and never over another file.
TEST(NewBooks, AreMadeOnDisksWithoutHardLinksAndNeverReplaceAFile) {
    const sealed::KdfLimitsForTests fast(FastKdf());
    for (const auto& [disk, kind] :
         {std::pair(Disk::Local, BookKind::Described), std::pair(Disk::NoNoReplaceRename, BookKind::Described),
          std::pair(Disk::NoLinks, BookKind::Described), std::pair(Disk::Local, BookKind::Sealed),
          std::pair(Disk::NoNoReplaceRename, BookKind::Sealed), std::pair(Disk::NoLinks, BookKind::Sealed)}) {
        SCOPED_TRACE(std::string(DiskName(disk)) + ", " + KindName(kind));
        TempDir tmp;
        DiskOfKind fs(disk);
        Book::Create(fs, tmp.file("a.dvl"), "key1", Book::NewHeader(tmp.dir(), "12/5/2026"), kind);
        EXPECT_TRUE(Book(tmp.file("a.dvl"), "key1").checkPassword());
        EXPECT_EQ(Book(tmp.file("a.dvl"), "key1").kind(), kind);
        WriteFileBytes(tmp.file("b.dvl"), "someone else's");
        try {
            Book::Create(fs, tmp.file("b.dvl"), "key1", Book::NewHeader(tmp.dir(), "12/5/2026"), kind);
            ADD_FAILURE() << "replaced a file";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.code(), 58);
        }
        EXPECT_EQ(ReadFileBytes(tmp.file("b.dvl")), "someone else's");
        EXPECT_FALSE(std::filesystem::exists(tmp.file("dvltemp.dvl")));
    }
}

} // namespace
