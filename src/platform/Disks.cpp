// SPDX-License-Identifier: GPL-3.0-or-later
#include "Disks.h"

#include "Text.h"

#include "core/FileSystem.h"
#include "core/RuntimeError.h"

#include <QCoreApplication>

#include <filesystem>
#include <system_error>

namespace dayvell {

std::int64_t KilobytesRoundedHalfEven(std::uintmax_t bytes) {
    std::uintmax_t kb = bytes / 1024;
    const std::uintmax_t rest = bytes % 1024;
    if (rest > 512 || (rest == 512 && kb % 2 == 1))
        ++kb;
    return static_cast<std::int64_t>(kb);
}

std::string SystemDisks::programDirectory() const {
    return Cp1252Path(QCoreApplication::applicationDirPath());
}

std::int64_t SystemDisks::freeSpaceKB(const std::string& path) const {
    std::error_code error;
    const auto space = std::filesystem::space(std::filesystem::path(NativePath(path)), error);
    if (error)
        throw ErrnoError(error.value(), true);
    // What this user may still write, which is what "free" means to someone filling a book.
    return KilobytesRoundedHalfEven(space.available);
}

} // namespace dayvell
