// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystem.h"

#include "Charset.h"
#include "RuntimeError.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace dayvell {

std::string NativePath(const std::string& path) {
    for (const char c : path)
        if (static_cast<unsigned char>(c) >= 0x80)
            return Utf8FromCp1252(path);
    return path;
}

int FileSystem::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags | O_CLOEXEC | O_NOCTTY, mode);
}

ssize_t FileSystem::read(int fd, void* buffer, size_t size) {
    ssize_t n;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t FileSystem::write(int fd, const void* buffer, size_t size) {
    ssize_t n;
    do {
        n = ::write(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t FileSystem::pread(int fd, void* buffer, size_t size, off_t offset) {
    ssize_t n;
    do {
        n = ::pread(fd, buffer, size, offset);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t FileSystem::pwrite(int fd, const void* buffer, size_t size, off_t offset) {
    ssize_t n;
    do {
        n = ::pwrite(fd, buffer, size, offset);
    } while (n < 0 && errno == EINTR);
    return n;
}

int FileSystem::fsync(int fd) {
    return ::fsync(fd);
}
int FileSystem::close(int fd) {
    return ::close(fd);
}
int FileSystem::fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}
int FileSystem::ftruncate(int fd, off_t length) {
    return ::ftruncate(fd, length);
}
int FileSystem::fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}
int FileSystem::fchown(int fd, uid_t owner, gid_t group) {
    return ::fchown(fd, owner, group);
}
int FileSystem::futimens(int fd, const struct timespec times[2]) {
    return ::futimens(fd, times);
}
ssize_t FileSystem::fgetxattr(int fd, const char* name, void* value, size_t size) {
    return ::fgetxattr(fd, name, value, size);
}
int FileSystem::fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
    return ::fsetxattr(fd, name, value, size, flags);
}
int FileSystem::fremovexattr(int fd, const char* name) {
    return ::fremovexattr(fd, name);
}

int FileSystem::flock(int fd, int operation) {
    int r;
    do {
        r = ::flock(fd, operation);
    } while (r < 0 && errno == EINTR);
    return r;
}

int FileSystem::renameNoReplace(const char* from, const char* to) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

int FileSystem::rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int FileSystem::link(const char* from, const char* to) {
    return ::link(from, to);
}
int FileSystem::unlink(const char* path) {
    return ::unlink(path);
}

int FileSystem::stat(const char* path, struct stat* st) {
    return ::stat(path, st);
}
int FileSystem::lstat(const char* path, struct stat* st) {
    return ::lstat(path, st);
}

int FileSystem::access(const char* path, int mode) {
    return ::faccessat(AT_FDCWD, path, mode, AT_EACCESS);
}

std::string FileSystem::resolve(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
        return path;
    return resolved;
}

void FileSystem::holding(int folderFd) {
    if (m_held.empty())
        m_lastSign = std::chrono::steady_clock::now();
    m_held.push_back(folderFd);
}

void FileSystem::released(int folderFd) {
    const auto it = std::find(m_held.begin(), m_held.end(), folderFd);
    if (it != m_held.end())
        m_held.erase(it);
}

void FileSystem::stillWorking() {
    // Once a second is plenty for a waiter that gives up after several seconds without a sign, and costs nothing
    // beside the writing itself.
    if (m_held.empty())
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastSign < std::chrono::seconds(1))
        return;
    m_lastSign = now;
    // A folder this user may not touch shows no sign; that costs a waiter its patience at worst, never a change.
    for (const int fd : m_held)
        futimens(fd, nullptr);
}

FileSystem& SystemFileSystem() {
    static FileSystem fs;
    return fs;
}

void FileHandle::close() {
    int fd = m_fd;
    m_fd = -1;
    if (fd >= 0 && m_fs->close(fd) != 0)
        throw ErrnoError(errno);
}

namespace {

[[noreturn]] void ThrowOpenError(FileSystem& fs, const std::string& path, int err) {
    // A missing directory in the path is a different failure from a missing file.
    bool dirMissing = false;
    if (err == ENOENT || err == ENOTDIR) {
        struct stat st {};
        std::string parent = ParentDirectory(path);
        if (fs.stat(parent.c_str(), &st) != 0) {
            const int parentErr = errno;
            // The folder could not be looked at: that failure is the one to report, not a missing path.
            if (parentErr != ENOENT && parentErr != ENOTDIR)
                throw ErrnoError(parentErr);
            dirMissing = true;
        } else {
            dirMissing = !S_ISDIR(st.st_mode);
        }
    }
    throw ErrnoError(err, dirMissing);
}

} // namespace

FileHandle OpenFile(FileSystem& fs, const std::string& path, int flags, mode_t mode) {
    int fd = fs.open(path.c_str(), flags, mode);
    if (fd < 0)
        ThrowOpenError(fs, path, errno);
    return FileHandle(fs, fd);
}

FileHandle OpenBookFile(FileSystem& fs, const std::string& path, int flags, struct stat& st) {
    const int fd = fs.open(path.c_str(), flags | O_NONBLOCK);
    if (fd < 0) {
        if (errno == EISDIR)
            throw RuntimeError(code::NotABookFile);
        ThrowOpenError(fs, path, errno);
    }
    FileHandle file(fs, fd);
    if (fs.fstat(file.fd(), &st) != 0)
        throw ErrnoError(errno);
    if (!S_ISREG(st.st_mode))
        throw RuntimeError(code::NotABookFile);
    // O_NONBLOCK has no effect on a regular file's reads and writes: it may stay set.
    return file;
}

void RefuseWriteProtected(FileSystem& fs, const std::string& path, const struct stat& st) {
    if ((st.st_mode & 0222) == 0)
        throw RuntimeError(code::PermissionDenied);
    if (fs.access(path.c_str(), W_OK) != 0)
        throw ErrnoError(errno);
}

namespace {

// Retries short writes until every byte is written, in pieces small enough that a slow disk takes well under a
// second a piece (a waiting copy of the program sees the work go on); `write(data, size, done)` writes from `data`
// and returns what the call it makes returns.
template <class Write> void WriteEvery(FileSystem& fs, const char* data, size_t size, Write write) {
    constexpr size_t kPiece = size_t{4} << 20;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(data + done, std::min(size - done, kPiece), done);
        if (n < 0)
            throw ErrnoError(errno);
        if (n == 0)
            throw ErrnoError(ENOSPC);
        done += static_cast<size_t>(n);
        fs.stillWorking();
    }
}

} // namespace

void WriteAll(FileSystem& fs, int fd, const char* data, size_t size) {
    WriteEvery(fs, data, size, [&](const char* from, size_t n, size_t) { return fs.write(fd, from, n); });
}

void WriteAllAt(FileSystem& fs, int fd, const char* data, size_t size, off_t offset) {
    WriteEvery(fs, data, size, [&](const char* from, size_t n, size_t done) {
        return fs.pwrite(fd, from, n, offset + static_cast<off_t>(done));
    });
}

size_t ReadAt(FileSystem& fs, int fd, void* data, size_t size, off_t offset) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = fs.pread(fd, static_cast<char*>(data) + got, size - got, offset + static_cast<off_t>(got));
        if (n < 0)
            throw ErrnoError(errno);
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return got;
}

void SyncFile(FileSystem& fs, int fd) {
    if (fs.fsync(fd) != 0)
        throw ErrnoError(errno);
}

FileKind KindOfFile(const std::string& path, FileSystem& fs) {
    struct stat st {};
    if (fs.stat(NativePath(path).c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return FileKind::None;
        throw ErrnoError(err);
    }
    if (S_ISREG(st.st_mode))
        return FileKind::Regular;
    return S_ISDIR(st.st_mode) ? FileKind::Directory : FileKind::Other;
}

std::int64_t FileLength(const std::string& path, FileSystem& fs) {
    struct stat st {};
    if (fs.stat(NativePath(path).c_str(), &st) != 0)
        throw ErrnoError(errno);
    return st.st_size;
}

std::string WithSeparator(std::string dir) {
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    return WithSeparator(dir) + name;
}

std::string ParentDirectory(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

} // namespace dayvell
