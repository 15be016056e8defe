// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <vector>

namespace dayvell {

// On this platform a drive is a mounted volume, known by the directory it is mounted on.
struct Volume {
    QString root;
    QString label;
};

// The volumes a user keeps files on: real, ready file systems, not the kernel's own.
std::vector<Volume> MountedVolumes();

// The root of the volume that holds `path`. Throws RuntimeError 68 when nothing readable holds it and 71 when its
// volume is not ready.
QString VolumeRoot(const QString& path);

// A drive's current directory: the process's current directory when it lies on that volume, else the volume's
// root. Throws like VolumeRoot when `root` is no longer a mounted, ready volume.
QString DriveCurrentDirectory(const QString& root);

// A directory as the lists show it: absolute and clean, without a trailing separator except for "/".
QString CleanDirectory(const QString& path);

} // namespace dayvell
