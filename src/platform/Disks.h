// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace dayvell {

// Where the program lives and how much room a disk has left. Paths are Windows-1252 texts, as in the shared state.
class Disks {
public:
    virtual ~Disks() = default;
    // The directory holding the program file: a full path without a trailing separator, except "/" itself.
    virtual std::string programDirectory() const = 0;
    // Free space of the volume holding `path`, in kilobytes (64 bits: volumes of 2 TB and more fit). Throws
    // RuntimeError when the volume cannot be asked.
    virtual std::int64_t freeSpaceKB(const std::string& path) const = 0;
};

// Kilobytes from bytes: the nearest whole number, a half going to the even neighbour.
std::int64_t KilobytesRoundedHalfEven(std::uintmax_t bytes);

class SystemDisks : public Disks {
public:
    std::string programDirectory() const override;
    std::int64_t freeSpaceKB(const std::string& path) const override;
};

} // namespace dayvell
