// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/RuntimeError.h"
#include "platform/Disks.h"

#include <optional>
#include <string>
#include <vector>

namespace dayvell::test {

// Disks with a program directory and free space set by the test. Records the paths asked about.
class FakeDisks : public Disks {
public:
    std::string programDirectory() const override {
        if (programDirectoryError)
            throw RuntimeError(*programDirectoryError);
        return programDir;
    }
    std::int64_t freeSpaceKB(const std::string& path) const override {
        asked.push_back(path);
        if (freeSpaceError)
            throw RuntimeError(*freeSpaceError);
        return freeKB;
    }

    std::string programDir = "/opt/dayvell";
    std::optional<int> programDirectoryError;
    std::int64_t freeKB = 1'000'000;
    std::optional<int> freeSpaceError;
    mutable std::vector<std::string> asked;
};

} // namespace dayvell::test
