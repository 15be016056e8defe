// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/RuntimeError.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

// A fuzz target states what must hold for every input; a broken expectation aborts, which the fuzzer records as a
// crash with the input that caused it.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: expectation failed: %s\n", __FILE__, __LINE__, #condition);                   \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace dayvell::fuzz {

// Takes the fuzzer's bytes apart into the values a target needs; runs dry into zeros and empty texts.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    // A text whose length is given by the next byte, at most `most` long.
    std::string text(std::size_t most = 255) {
        const std::size_t n = std::min<std::size_t>(byte() % (most + 1), m_size - m_pos);
        std::string s(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        return s;
    }
    std::string rest() {
        std::string s(reinterpret_cast<const char*>(m_data + m_pos), m_size - m_pos);
        m_pos = m_size;
        return s;
    }
    bool empty() const { return m_pos >= m_size; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// The code of the RuntimeError `f` throws, or nothing when it succeeds. Any other exception escapes: a crash.
template <class F> std::optional<int> Attempt(F&& f) {
    try {
        f();
        return std::nullopt;
    } catch (const RuntimeError& e) {
        return e.code();
    }
}

// A folder of this process's own for book files; in memory where the system offers it, so syncs cost nothing.
inline const std::string& ScratchFolder() {
    static const std::string dir = [] {
        std::string pattern =
            (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/dayvell-fuzz-XXXXXX");
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern;
    }();
    return dir;
}

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

} // namespace dayvell::fuzz
