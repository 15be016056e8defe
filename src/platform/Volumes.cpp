// SPDX-License-Identifier: GPL-3.0-or-later
#include "Volumes.h"

#include "core/RuntimeError.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

namespace dayvell {

namespace {

bool IsKernelFileSystem(const QStorageInfo& volume) {
    static const QSet<QByteArray> kernel = {
        "proc",      "sysfs",   "devpts",   "devtmpfs",   "cgroup",   "cgroup2", "securityfs", "pstore",
        "debugfs",   "tracefs", "configfs", "fusectl",    "mqueue",   "bpf",     "autofs",     "binfmt_misc",
        "hugetlbfs", "nsfs",    "efivarfs", "rpc_pipefs", "squashfs", "ramfs",
    };
    if (kernel.contains(volume.fileSystemType()))
        return true;
    const QString root = volume.rootPath();
    for (const char* system : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot/efi"}) {
        const QString prefix = QString::fromLatin1(system);
        if (root == prefix || root.startsWith(prefix + QLatin1Char('/')))
            return true;
    }
    return false;
}

} // namespace

std::vector<Volume> MountedVolumes() {
    std::vector<Volume> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        // Containers mount single files too; only a directory can hold books.
        if (!volume.isValid() || !volume.isReady() || IsKernelFileSystem(volume) ||
            !QFileInfo(volume.rootPath()).isDir())
            continue;
        volumes.push_back({volume.rootPath(), volume.name()});
    }
    return volumes;
}

QString VolumeRoot(const QString& path) {
    const QStorageInfo volume(path);
    if (!volume.isValid())
        throw RuntimeError(code::DeviceUnavailable);
    if (!volume.isReady())
        throw RuntimeError(code::DiskNotReady);
    return volume.rootPath();
}

QString DriveCurrentDirectory(const QString& root) {
    const QString clean = CleanDirectory(root);
    // A volume that was unmounted leaves its mount point to the volume above it.
    if (VolumeRoot(clean) != clean)
        throw RuntimeError(code::DeviceUnavailable);
    const QString current = CleanDirectory(QDir::currentPath());
    const QStorageInfo here(current);
    return here.isValid() && here.rootPath() == clean ? current : clean;
}

QString CleanDirectory(const QString& path) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

} // namespace dayvell
