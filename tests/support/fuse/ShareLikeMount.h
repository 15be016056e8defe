// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <string>

namespace dayvell::test {

// A FUSE file system of the tests' own that behaves like a network share or one of the many FUSE disks: it passes
// every call through to a folder of the local disk, but refuses hard links (EPERM) and renames with flags (EINVAL),
// and keeps no access lists. It runs single-threaded in a child process, mounted while this object lives.
class ShareLikeMount {
public:
    // Shows `backing` at `mountPoint`, an empty folder.
    ShareLikeMount(std::string backing, std::string mountPoint);
    ~ShareLikeMount();
    ShareLikeMount(const ShareLikeMount&) = delete;
    ShareLikeMount& operator=(const ShareLikeMount&) = delete;

    bool mounted() const { return m_mounted; }
    // Why it could not be mounted.
    const std::string& failure() const { return m_failure; }

private:
    std::string m_backing;
    std::string m_mountPoint;
    pid_t m_child = -1;
    bool m_mounted = false;
    std::string m_failure;
};

} // namespace dayvell::test
