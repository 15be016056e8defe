// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileSystem.h"

#include "Charset.h"
#include "RuntimeError.h"

#include <climits>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
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

int FileSystem::flock(int fd, int operation) {
    int r;
    do {
        r = ::flock(fd, operation);
    } while (r < 0 && errno == EINTR);
    return r;
}

int FileSystem::renameNoReplace(const char* from, const char* to) {
    int r = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
    if (r == 0 || (errno != EINVAL && errno != ENOSYS))
        return r;
    // File systems without the flag: a hard link fails when the target exists, then the old name goes.
    if (::link(from, to) != 0)
        return -1;
    return ::unlink(from);
}

int FileSystem::rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int FileSystem::unlink(const char* path) {
    return ::unlink(path);
}

int FileSystem::stat(const char* path, struct stat* st) {
    return ::stat(path, st);
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
        dirMissing = fs.stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
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
    if (fs.access(path.c_str(), W_OK) != 0) {
        const int err = errno;
        throw ErrnoError(err == ENOENT ? err : (err == EROFS ? EROFS : EACCES));
    }
}

namespace {

// Retries short writes until every byte is written; `write(data, size, done)` writes from `data` and returns what
// the call it makes returns.
template <class Write> void WriteEvery(const char* data, size_t size, Write write) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(data + done, size - done, done);
        if (n < 0)
            throw ErrnoError(errno);
        if (n == 0)
            throw ErrnoError(ENOSPC);
        done += static_cast<size_t>(n);
    }
}

} // namespace

void WriteAll(FileSystem& fs, int fd, const char* data, size_t size) {
    WriteEvery(data, size, [&](const char* from, size_t n, size_t) { return fs.write(fd, from, n); });
}

void WriteAllAt(FileSystem& fs, int fd, const char* data, size_t size, off_t offset) {
    WriteEvery(data, size, [&](const char* from, size_t n, size_t done) {
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
