// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileSystem.h"

#include <cstddef>
#include <string>

namespace dayvell {

// Bytes bound for an open file, gathered in memory and written in large blocks: a whole book goes out in few calls
// however small the pieces it is made of.
class BufferedOutput {
public:
    static constexpr std::size_t kBlock = 1 << 20;

    BufferedOutput(FileSystem& fs, int fd) : m_fs(fs), m_fd(fd) { m_buffer.reserve(kBlock + kBlock / 4); }
    BufferedOutput(const BufferedOutput&) = delete;
    BufferedOutput& operator=(const BufferedOutput&) = delete;

    std::string& text() { return m_buffer; }
    // Writes what has gathered once there is a block of it.
    void pass() {
        if (m_buffer.size() >= kBlock)
            flush();
    }
    // Writes everything gathered; throws RuntimeError when the file takes it not.
    void flush() {
        WriteAll(m_fs, m_fd, m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }

private:
    FileSystem& m_fs;
    int m_fd;
    std::string m_buffer;
};

} // namespace dayvell
