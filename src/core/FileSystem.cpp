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

namespace {

// The name the file system knows a Windows-1252 path by.
std::string Native(const char* path) {
    for (const char* p = path; *p; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return Utf8FromCp1252(path);
    return path;
}

} // namespace

int FileSystem::open(const char* path, int flags, mode_t mode) {
    return ::open(Native(path).c_str(), flags | O_CLOEXEC, mode);
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
    const std::string source = Native(from), target = Native(to);
    int r = ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (r == 0 || (errno != EINVAL && errno != ENOSYS))
        return r;
    // File systems without the flag: a hard link fails when the target exists, then the old name goes.
    if (::link(source.c_str(), target.c_str()) != 0)
        return -1;
    return ::unlink(source.c_str());
}

int FileSystem::rename(const char* from, const char* to) {
    return ::rename(Native(from).c_str(), Native(to).c_str());
}
int FileSystem::unlink(const char* path) {
    return ::unlink(Native(path).c_str());
}

int FileSystem::stat(const char* path, struct stat* st) {
    return ::stat(Native(path).c_str(), st);
}

std::string FileSystem::resolve(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(Native(path.c_str()).c_str(), resolved) == nullptr)
        return path;
    try {
        return Cp1252FromUtf8(resolved);
    } catch (const UnstorableText&) {
        return path;
    }
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

FileHandle OpenFile(FileSystem& fs, const std::string& path, int flags, mode_t mode) {
    int fd = fs.open(path.c_str(), flags, mode);
    if (fd < 0) {
        int err = errno;
        // A missing directory in the path is a different failure from a missing file.
        bool dirMissing = false;
        if (err == ENOENT || err == ENOTDIR) {
            struct stat st {};
            std::string parent = ParentDirectory(path);
            dirMissing = fs.stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
        }
        throw ErrnoError(err, dirMissing);
    }
    return FileHandle(fs, fd);
}

void WriteAll(FileSystem& fs, int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = fs.write(fd, data, size);
        if (n < 0)
            throw ErrnoError(errno);
        if (n == 0)
            throw ErrnoError(ENOSPC);
        data += n;
        size -= static_cast<size_t>(n);
    }
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
