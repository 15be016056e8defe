// SPDX-License-Identifier: GPL-3.0-or-later
#include "SecureMemory.h"

#include "RuntimeError.h"

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <sys/prctl.h>

namespace dayvell {

void InitSodium() {
    // sodium_init is itself safe to call again and from several threads; the static keeps the cost to one call.
    static const int status = sodium_init();
    if (status < 0)
        throw RuntimeError(code::InvalidArgument, "The cryptography library could not start");
}

SecureBytes::SecureBytes(std::size_t size) {
    InitSodium();
    // sodium_malloc(0) still takes guard pages; a key of no bytes needs nothing.
    if (size == 0)
        return;
    m_data = static_cast<unsigned char*>(sodium_malloc(size));
    if (m_data == nullptr)
        throw std::bad_alloc();
    m_size = size;
    sodium_memzero(m_data, m_size);
}

SecureBytes::SecureBytes(SecureBytes&& other) noexcept : m_data(other.m_data), m_size(other.m_size) {
    other.m_data = nullptr;
    other.m_size = 0;
}

SecureBytes& SecureBytes::operator=(SecureBytes&& other) noexcept {
    if (this != &other) {
        release();
        m_data = other.m_data;
        m_size = other.m_size;
        other.m_data = nullptr;
        other.m_size = 0;
    }
    return *this;
}

SecureBytes::~SecureBytes() {
    release();
}

void SecureBytes::release() noexcept {
    // sodium_free overwrites the bytes before it unlocks and unmaps them.
    if (m_data != nullptr)
        sodium_free(m_data);
    m_data = nullptr;
    m_size = 0;
}

SecureBytes SecureBytes::copy() const {
    SecureBytes c(m_size);
    if (m_size > 0)
        std::copy(m_data, m_data + m_size, c.m_data);
    return c;
}

bool SecureBytes::equals(const SecureBytes& other) const {
    return m_size == other.m_size && (m_size == 0 || sodium_memcmp(m_data, other.m_data, m_size) == 0);
}

void WipeString(std::string& s) {
    // Writing past size() is not allowed through the string; growing it to its capacity first never reallocates.
    s.resize(s.capacity());
    sodium_memzero(s.data(), s.size());
    s.clear();
}

NoCoreDumps::NoCoreDumps() {
    // Both: the limit stops the kernel writing a core file, and the flag also keeps a crash handler that pipes
    // dumps elsewhere (and a debugger attaching as the same user) away from the process's memory. Lowering one's
    // own soft limit and clearing one's own flag are always allowed; should either fail all the same, the book is
    // not opened.
    if (getrlimit(RLIMIT_CORE, &m_limit) != 0)
        throw ErrnoError(errno);
    struct rlimit none = m_limit;
    none.rlim_cur = 0;
    if (setrlimit(RLIMIT_CORE, &none) != 0)
        throw ErrnoError(errno);
    m_dumpable = prctl(PR_GET_DUMPABLE, 0, 0, 0, 0);
    if (m_dumpable < 0 || prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) {
        const int err = errno;
        setrlimit(RLIMIT_CORE, &m_limit);
        throw ErrnoError(err);
    }
}

NoCoreDumps::~NoCoreDumps() {
    // Giving back what was there before cannot fail for a limit this process set itself; nothing is left to do
    // if it did.
    setrlimit(RLIMIT_CORE, &m_limit);
    prctl(PR_SET_DUMPABLE, m_dumpable, 0, 0, 0);
}

} // namespace dayvell
