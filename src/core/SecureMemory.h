// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/resource.h>

namespace dayvell {

// Makes libsodium ready; safe to call any number of times from any thread. Throws RuntimeError when the library
// cannot start (no source of randomness), since nothing sealed can then be read or written.
void InitSodium();

// Bytes for keys: allocated apart from everything else with libsodium's guarded allocator, locked into memory so
// that they never reach swap, left out of core dumps, and overwritten when given back. Move-only, so that a key is
// never copied by accident; copy() makes a second locked copy on purpose.
class SecureBytes {
public:
    SecureBytes() = default;
    // `size` zero bytes. Throws std::bad_alloc when locked memory cannot be had.
    explicit SecureBytes(std::size_t size);
    SecureBytes(const SecureBytes&) = delete;
    SecureBytes& operator=(const SecureBytes&) = delete;
    SecureBytes(SecureBytes&& other) noexcept;
    SecureBytes& operator=(SecureBytes&& other) noexcept;
    ~SecureBytes();

    SecureBytes copy() const;
    unsigned char* data() { return m_data; }
    const unsigned char* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    // Constant-time comparison, so that timing says nothing about where two keys differ.
    bool equals(const SecureBytes& other) const;

private:
    void release() noexcept;
    unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
};

// Overwrites every byte a text's buffer holds, its unused capacity included (an earlier, longer value may still lie
// there), then empties it. The buffer itself is kept, zeroed, until the text is destroyed or reused.
void WipeString(std::string& s);

// A copy of a password kept for a moment (the one in force while windows are closed, say): its bytes are
// overwritten when it goes.
class SecretText {
public:
    explicit SecretText(std::string_view text) : m_text(text) {}
    ~SecretText() { WipeString(m_text); }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    const std::string& str() const { return m_text; }

private:
    std::string m_text;
};

// While one of these lives, the process writes no core dump: a crash while a book is open would otherwise put its
// password and pages in a file on the disk. Restores what was there before when it goes. Nests.
class NoCoreDumps {
public:
    NoCoreDumps();
    ~NoCoreDumps();
    NoCoreDumps(const NoCoreDumps&) = delete;
    NoCoreDumps& operator=(const NoCoreDumps&) = delete;

private:
    struct rlimit m_limit {};
    int m_dumpable = 1;
};

} // namespace dayvell
