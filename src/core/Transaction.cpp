// SPDX-License-Identifier: GPL-3.0-or-later
#include "Transaction.h"

#include "Progress.h"
#include "RuntimeError.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dayvell {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A short wait is not worth a window; the notice comes only when the wait is one the user would notice.
constexpr milliseconds kNoticeAfter{500};
// How often the holder's signs of work are looked at: often enough to catch each of them, rarely enough to cost
// nothing (two look-ups).
constexpr milliseconds kLookEvery{100};
constexpr milliseconds kPollEvery{5};
constexpr const char* kWaitingText = "Waiting for another Dayvell to finish with this folder...";
constexpr const char* kAclName = "system.posix_acl_access";

bool Same(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// What shows that the copy holding a folder's lock is at work: its scratch file there grows or is touched, or it
// refreshes the folder's time (which it does also where it only reads).
struct SignsOfWork {
    timespec folderTime{};
    bool scratch = false;
    ino_t scratchInode = 0;
    off_t scratchSize = 0;
    timespec scratchTime{};

    bool operator==(const SignsOfWork& o) const {
        return Same(folderTime, o.folderTime) && scratch == o.scratch && scratchInode == o.scratchInode &&
               scratchSize == o.scratchSize && Same(scratchTime, o.scratchTime);
    }
};

SignsOfWork LookForSigns(FileSystem& fs, int folderFd, const std::string& scratch) {
    SignsOfWork signs;
    struct stat st {};
    if (fs.fstat(folderFd, &st) != 0)
        throw ErrnoError(errno);
    signs.folderTime = st.st_mtim;
    if (fs.lstat(scratch.c_str(), &st) == 0) {
        signs.scratch = true;
        signs.scratchInode = st.st_ino;
        signs.scratchSize = st.st_size;
        signs.scratchTime = st.st_mtim;
    } else if (errno != ENOENT) {
        throw ErrnoError(errno);
    }
    return signs;
}

// Errors of a file system that has no hard links at all.
bool LinksRefused(int err) {
    return err == EPERM || err == EOPNOTSUPP || err == ENOSYS || err == EINVAL;
}

// Errors of a file system that cannot sync a folder (it keeps no directory state of its own to flush).
bool FolderSyncUnsupported(int err) {
    return err == EINVAL || err == EOPNOTSUPP || err == ENOSYS;
}

FileHandle StartScratch(FileSystem& fs, const std::string& path) {
    // Only a missing file, or a folder in its place (refused just below), lets the scratch file start.
    if (fs.unlink(path.c_str()) != 0 && errno != ENOENT && errno != EISDIR)
        throw ErrnoError(errno);
    const int fd = fs.open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int err = errno;
        if (err == EEXIST)
            throw RuntimeError(code::FileExists, "The scratch name dvltemp.dvl is taken in this folder by something "
                                                 "that is not Dayvell's scratch file");
        throw ErrnoError(err, err == ENOENT);
    }
    return FileHandle(fs, fd);
}

} // namespace

FolderLock::FolderLock(FileSystem& fs, std::string dir) : m_fs(fs), m_path(std::move(dir)) {
    m_fd = fs.open(m_path.c_str(), O_RDONLY | O_DIRECTORY);
    if (m_fd < 0)
        throw ErrnoError(errno, true);
    if (fs.fstat(m_fd, &m_stat) != 0) {
        const int err = errno;
        fs.close(m_fd);
        throw ErrnoError(err);
    }
}

FolderLock::~FolderLock() {
    if (m_locked)
        m_fs.released(m_fd);
    m_fs.close(m_fd);
}

bool FolderLock::sameAs(const FolderLock& other) const {
    return m_stat.st_dev == other.m_stat.st_dev && m_stat.st_ino == other.m_stat.st_ino;
}

bool FolderLock::before(const FolderLock& other) const {
    return std::pair(m_stat.st_dev, m_stat.st_ino) < std::pair(other.m_stat.st_dev, other.m_stat.st_ino);
}

bool FolderLock::tryLock() {
    if (m_fs.flock(m_fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    const int err = errno;
    if (err != EWOULDBLOCK)
        throw ErrnoError(err);
    return false;
}

void FolderLock::lock() {
    if (!tryLock()) {
        const std::string scratch = JoinPath(m_path, std::string(kScratchName));
        const auto start = Clock::now();
        auto lastLook = start;
        auto lastSign = start;
        SignsOfWork seen = LookForSigns(m_fs, m_fd, scratch);
        std::unique_ptr<ProgressTask> notice;
        do {
            std::this_thread::sleep_for(kPollEvery);
            const auto now = Clock::now();
            if (now - lastLook >= kLookEvery) {
                lastLook = now;
                const SignsOfWork signs = LookForSigns(m_fs, m_fd, scratch);
                if (!(signs == seen)) {
                    seen = signs;
                    lastSign = now;
                }
            }
            if (now - lastSign >= m_fs.patience())
                throw RuntimeError(code::BookInUse);
            if (!notice && now - start >= kNoticeAfter && m_fs.waitingShownBy())
                notice = m_fs.waitingShownBy()->start(kWaitingText, std::string(), 0);
            if (notice && !notice->advance(std::chrono::duration_cast<std::chrono::seconds>(now - start).count()))
                throw RuntimeError(code::BookInUse);
        } while (!tryLock());
    }
    m_locked = true;
    m_fs.holding(m_fd);
}

void FolderLock::sync() {
    if (m_fs.fsync(m_fd) != 0 && !FolderSyncUnsupported(errno))
        throw ErrnoError(errno);
}

void FolderLock::syncMadeChange() noexcept {
    m_fs.fsync(m_fd);
}

ScratchFile::ScratchFile(FileSystem& fs, const std::string& dir)
    : m_fs(fs), m_path(JoinPath(dir, std::string(kScratchName))), m_file(StartScratch(fs, m_path)) {}

ScratchFile::~ScratchFile() {
    if (m_placed)
        return;
    m_file.closeQuietly();
    m_fs.unlink(m_path.c_str());
}

void ScratchFile::takeOwner(const struct stat& book, Owner owner) {
    if (owner == Owner::Writer)
        return;
    struct stat mine {};
    if (m_fs.fstat(fd(), &mine) != 0)
        throw ErrnoError(errno);
    if (mine.st_uid == book.st_uid && mine.st_gid == book.st_gid)
        return;
    if (m_fs.fchown(fd(), book.st_uid, book.st_gid) == 0)
        return;
    const int err = errno;
    if (owner == Owner::BookIfAllowed && (err == EPERM || err == EACCES || err == EINVAL))
        return;
    if (err == EPERM || err == EACCES)
        throw RuntimeError(code::OwnerNotKept);
    throw ErrnoError(err);
}

void ScratchFile::takePermissions(int bookFd, const struct stat& book) {
    if (m_fs.fchmod(fd(), book.st_mode & 07777) != 0)
        throw ErrnoError(errno);
    // The access control list, where the book has one, says more than the mode: whom else it lets in. Without one,
    // the scratch file must not keep a list it inherited from the folder either.
    std::vector<char> acl;
    for (;;) {
        const ssize_t size = m_fs.fgetxattr(bookFd, kAclName, nullptr, 0);
        if (size < 0) {
            if (errno == ENODATA || errno == EOPNOTSUPP)
                break;
            throw ErrnoError(errno);
        }
        acl.resize(static_cast<size_t>(size));
        const ssize_t got = m_fs.fgetxattr(bookFd, kAclName, acl.data(), acl.size());
        if (got >= 0) {
            acl.resize(static_cast<size_t>(got));
            break;
        }
        if (errno != ERANGE) // the list grew between the two calls: ask again
            throw ErrnoError(errno);
    }
    const int r =
        acl.empty() ? m_fs.fremovexattr(fd(), kAclName) : m_fs.fsetxattr(fd(), kAclName, acl.data(), acl.size(), 0);
    // A disk without access lists (a copy taken to one) keeps the mode alone.
    if (r != 0 && errno != ENODATA && errno != EOPNOTSUPP)
        throw ErrnoError(errno);
}

void ScratchFile::finish() {
    SyncFile(m_fs, fd());
    m_file.close();
}

void ScratchFile::placeAs(const std::string& target, Existing existing) {
    if (existing == Existing::Replace) {
        if (m_fs.rename(m_path.c_str(), target.c_str()) != 0)
            throw ErrnoError(errno);
    } else {
        RenameNoReplace(m_fs, m_path, target);
    }
    m_placed = true;
}

void RenameNoReplace(FileSystem& fs, const std::string& from, const std::string& to) {
    if (fs.renameNoReplace(from.c_str(), to.c_str()) == 0)
        return;
    int err = errno;
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP)
        throw ErrnoError(err);
    // A file system without the no-replace rename (network shares, many FUSE file systems): a hard link fails when
    // `to` exists, and then the old name goes.
    if (fs.link(from.c_str(), to.c_str()) == 0) {
        if (fs.unlink(from.c_str()) == 0)
            return;
        err = errno;
        // Two names for one book would become two books at its next change: the new name goes again.
        fs.unlink(to.c_str());
        throw ErrnoError(err);
    }
    err = errno;
    if (!LinksRefused(err))
        throw ErrnoError(err);
    // Nor hard links (SMB shares, many FUSE file systems). Under the folder's lock no other copy of the program
    // can make `to` between the look and the rename; another program could, as with any client of such a share.
    struct stat st {};
    if (fs.lstat(to.c_str(), &st) == 0)
        throw RuntimeError(code::FileExists);
    if (errno != ENOENT)
        throw ErrnoError(errno);
    if (fs.rename(from.c_str(), to.c_str()) != 0)
        throw ErrnoError(errno);
}

void RefuseUnremovable(FileSystem& fs, const FolderLock& folder, const struct stat& file) {
    static const char* const kCannotRemove = "The book cannot be moved: this user may not remove files from its folder";
    if (fs.access(folder.path().c_str(), W_OK | X_OK) != 0) {
        const int err = errno;
        if (err == EACCES || err == EPERM || err == EROFS)
            throw RuntimeError(code::PermissionDenied, kCannotRemove);
        throw ErrnoError(err);
    }
    // In a folder with the sticky bit only a file's owner, the folder's owner and the administrator remove it.
    const uid_t me = ::geteuid();
    if ((folder.status().st_mode & S_ISVTX) && me != 0 && me != file.st_uid && me != folder.status().st_uid)
        throw RuntimeError(code::PermissionDenied, kCannotRemove);
}

} // namespace dayvell
