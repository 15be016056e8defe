// SPDX-License-Identifier: GPL-3.0-or-later
#define FUSE_USE_VERSION 31
#include "ShareLikeMount.h"

#include <fuse3/fuse.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace dayvell::test {

namespace {

// The backing folder's path for a path of the mount.
std::string Real(const char* path) {
    return *static_cast<const std::string*>(fuse_get_context()->private_data) + path;
}

int Result(int r) {
    return r < 0 ? -errno : 0;
}

void* Init(fuse_conn_info*, fuse_config* cfg) {
    // Inode numbers of the backing disk (folders are told apart by them), nothing cached (another process looks at
    // the backing folder), and an unlinked file that is still open simply goes, as on a local disk.
    cfg->use_ino = 1;
    cfg->attr_timeout = 0;
    cfg->entry_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->hard_remove = 1;
    return fuse_get_context()->private_data;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* fi) {
    return Result(fi ? ::fstat(static_cast<int>(fi->fh), st) : ::lstat(Real(path).c_str(), st));
}

int ReadDir(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
    DIR* dir = ::opendir(Real(path).c_str());
    if (!dir)
        return -errno;
    while (const dirent* e = ::readdir(dir)) {
        struct stat st {};
        st.st_ino = e->d_ino;
        st.st_mode = static_cast<mode_t>(DTTOIF(e->d_type));
        if (fill(buf, e->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0)
            break;
    }
    ::closedir(dir);
    return 0;
}

int Open(const char* path, fuse_file_info* fi) {
    const int fd = ::open(Real(path).c_str(), fi->flags);
    if (fd < 0)
        return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* fi) {
    const int fd = ::open(Real(path).c_str(), fi->flags | O_CREAT, mode);
    if (fd < 0)
        return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    return 0;
}

int Read(const char*, char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    const ssize_t n = ::pread(static_cast<int>(fi->fh), buf, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int Write(const char*, const char* buf, size_t size, off_t offset, fuse_file_info* fi) {
    const ssize_t n = ::pwrite(static_cast<int>(fi->fh), buf, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int Release(const char*, fuse_file_info* fi) {
    return Result(::close(static_cast<int>(fi->fh)));
}

int Fsync(const char*, int dataOnly, fuse_file_info* fi) {
    const int fd = static_cast<int>(fi->fh);
    return Result(dataOnly ? ::fdatasync(fd) : ::fsync(fd));
}

int Flush(const char*, fuse_file_info*) {
    return 0;
}

int Truncate(const char* path, off_t size, fuse_file_info* fi) {
    return Result(fi ? ::ftruncate(static_cast<int>(fi->fh), size) : ::truncate(Real(path).c_str(), size));
}

int Unlink(const char* path) {
    return Result(::unlink(Real(path).c_str()));
}

int MkDir(const char* path, mode_t mode) {
    return Result(::mkdir(Real(path).c_str(), mode));
}

int RmDir(const char* path) {
    return Result(::rmdir(Real(path).c_str()));
}

int Rename(const char* from, const char* to, unsigned int flags) {
    // No RENAME_NOREPLACE, no RENAME_EXCHANGE: what many network and FUSE file systems answer.
    if (flags != 0)
        return -EINVAL;
    return Result(::rename(Real(from).c_str(), Real(to).c_str()));
}

int Link(const char*, const char*) {
    return -EPERM;
}

int Symlink(const char* target, const char* path) {
    return Result(::symlink(target, Real(path).c_str()));
}

int ReadLink(const char* path, char* buf, size_t size) {
    const ssize_t n = ::readlink(Real(path).c_str(), buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = '\0';
    return 0;
}

int ChMod(const char* path, mode_t mode, fuse_file_info* fi) {
    return Result(fi ? ::fchmod(static_cast<int>(fi->fh), mode) : ::chmod(Real(path).c_str(), mode));
}

int ChOwn(const char* path, uid_t uid, gid_t gid, fuse_file_info* fi) {
    return Result(fi ? ::fchown(static_cast<int>(fi->fh), uid, gid) : ::lchown(Real(path).c_str(), uid, gid));
}

int UTimens(const char* path, const timespec times[2], fuse_file_info* fi) {
    return Result(fi ? ::futimens(static_cast<int>(fi->fh), times)
                     : ::utimensat(AT_FDCWD, Real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int StatFs(const char* path, struct statvfs* st) {
    return Result(::statvfs(Real(path).c_str(), st));
}

int Access(const char* path, int mask) {
    return Result(::access(Real(path).c_str(), mask));
}

fuse_operations Operations() {
    fuse_operations ops{};
    ops.init = Init;
    ops.getattr = GetAttr;
    ops.readdir = ReadDir;
    ops.open = Open;
    ops.create = Create;
    ops.read = Read;
    ops.write = Write;
    ops.release = Release;
    ops.fsync = Fsync;
    ops.flush = Flush;
    ops.truncate = Truncate;
    ops.unlink = Unlink;
    ops.mkdir = MkDir;
    ops.rmdir = RmDir;
    ops.rename = Rename;
    ops.link = Link;
    ops.symlink = Symlink;
    ops.readlink = ReadLink;
    ops.chmod = ChMod;
    ops.chown = ChOwn;
    ops.utimens = UTimens;
    ops.statfs = StatFs;
    ops.access = Access;
    return ops;
}

// The child: mounts, says how that went through `report`, and serves until it is unmounted or told to stop.
[[noreturn]] void Serve(std::string backing, const std::string& mountPoint, int report) {
    fuse_args args = FUSE_ARGS_INIT(0, nullptr);
    fuse_opt_add_arg(&args, "dayvell-share");
    fuse_opt_add_arg(&args, "-odefault_permissions,fsname=dayvell-share");
    const fuse_operations ops = Operations();
    fuse* fs = fuse_new(&args, &ops, sizeof ops, &backing);
    int status = fs ? 0 : EINVAL;
    if (fs && fuse_mount(fs, mountPoint.c_str()) != 0)
        status = EPERM;
    if (status == 0 && fuse_set_signal_handlers(fuse_get_session(fs)) != 0)
        status = EINTR;
    (void)!::write(report, &status, sizeof status);
    ::close(report);
    if (status == 0) {
        fuse_loop(fs);
        fuse_remove_signal_handlers(fuse_get_session(fs));
        fuse_unmount(fs);
    }
    if (fs)
        fuse_destroy(fs);
    fuse_opt_free_args(&args);
    ::_exit(status == 0 ? 0 : 1);
}

} // namespace

ShareLikeMount::ShareLikeMount(std::string backing, std::string mountPoint)
    : m_backing(std::move(backing)), m_mountPoint(std::move(mountPoint)) {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        m_failure = std::string("/dev/fuse cannot be used: ") + std::strerror(errno);
        return;
    }
    int report[2];
    if (::pipe(report) != 0) {
        m_failure = "no pipe";
        return;
    }
    m_child = ::fork();
    if (m_child == 0) {
        ::close(report[0]);
        Serve(m_backing, m_mountPoint, report[1]);
    }
    ::close(report[1]);
    int status = -1;
    const bool told = m_child > 0 && ::read(report[0], &status, sizeof status) == sizeof status;
    ::close(report[0]);
    m_mounted = told && status == 0;
    if (!m_mounted) {
        m_failure = "the FUSE file system could not be mounted (no permission to mount here?)";
        if (m_child > 0)
            ::waitpid(m_child, nullptr, 0);
        m_child = -1;
    }
}

ShareLikeMount::~ShareLikeMount() {
    if (m_child <= 0)
        return;
    // Told to stop, the file system unmounts itself; one that does not is killed and its mount taken down.
    ::kill(m_child, SIGTERM);
    for (int i = 0; i < 500; ++i) {
        if (::waitpid(m_child, nullptr, WNOHANG) == m_child)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(m_child, SIGKILL);
    ::waitpid(m_child, nullptr, 0);
    ::umount2(m_mountPoint.c_str(), MNT_DETACH);
}

} // namespace dayvell::test
