// SPDX-License-Identifier: GPL-3.0-or-later
#include "SealedKeys.h"

#include "SealedRecords.h"

#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <vector>

namespace dayvell::sealed {

namespace {

constexpr std::size_t kWrapAdSize = kBindingSize + kSlotPlainSize;
constexpr std::size_t kDigestSize = 32;
// Enough for a book and the copy it is being converted into, with room to spare.
constexpr std::size_t kMostKept = 4;

bool PasswordFits(std::string_view password) {
    return password.size() >= kMinPassword && password.size() <= kMaxPassword;
}

void RefuseUnfitPassword(std::string_view password) {
    if (!PasswordFits(password))
        throw RuntimeError(code::InvalidArgument, "A sealed book's password has 4 to 128 characters");
}

// The wrap is bound to the book and to the slot's own plain fields, so neither the limits nor the generation of a
// slot can be changed, nor a slot moved to another book, without the unwrap failing.
std::array<unsigned char, kWrapAdSize> WrapAd(std::span<const unsigned char, kBindingSize> binding,
                                              const KeySlot& slot) {
    std::array<unsigned char, kWrapAdSize> ad{};
    std::copy(binding.begin(), binding.end(), ad.begin());
    const auto bytes = SlotBytes(slot);
    std::copy_n(bytes.begin(), kSlotPlainSize, ad.begin() + kBindingSize);
    return ad;
}

std::atomic<std::uint64_t> g_kdfRuns{0};

// Keys already unwrapped, each under a digest of what unwrapped it. Only locked memory holds either.
struct Kept {
    SecureBytes digest;
    SecureBytes key;
};

std::mutex g_keptMutex;
std::vector<Kept>& KeptKeys() {
    static std::vector<Kept> kept;
    return kept;
}

SecureBytes Digest(std::span<const unsigned char, kBindingSize> binding, std::span<const unsigned char> slot,
                   std::string_view password) {
    SecureBytes digest(kDigestSize);
    crypto_generichash_state state;
    const bool ok = crypto_generichash_init(&state, nullptr, 0, kDigestSize) == 0 &&
                    crypto_generichash_update(&state, binding.data(), binding.size()) == 0 &&
                    crypto_generichash_update(&state, slot.data(), slot.size()) == 0 &&
                    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(password.data()),
                                              password.size()) == 0 &&
                    crypto_generichash_final(&state, digest.data(), digest.size()) == 0;
    sodium_memzero(&state, sizeof state);
    if (!ok)
        throw RuntimeError(code::InvalidArgument, "The checksum could not be computed");
    return digest;
}

std::optional<SecureBytes> FindKept(const SecureBytes& digest) {
    std::lock_guard lock(g_keptMutex);
    for (const Kept& k : KeptKeys())
        if (k.digest.equals(digest))
            return k.key.copy();
    return std::nullopt;
}

void Keep(SecureBytes digest, const SecureBytes& key) {
    SecureBytes copy = key.copy();
    std::lock_guard lock(g_keptMutex);
    auto& kept = KeptKeys();
    if (std::any_of(kept.begin(), kept.end(), [&](const Kept& k) { return k.digest.equals(digest); }))
        return;
    if (kept.size() >= kMostKept)
        kept.erase(kept.begin()); // the oldest
    kept.push_back({std::move(digest), std::move(copy)});
}

template <std::size_t N> void Random(std::array<unsigned char, N>& bytes) {
    InitSodium();
    randombytes_buf(bytes.data(), bytes.size());
}

} // namespace

namespace detail {

SecureBytes DeriveKey(std::string_view password, const KeySlot& slot) {
    CheckKdfLimits(slot.kdf);
    SecureBytes derived(kKeySize);
    g_kdfRuns.fetch_add(1);
    if (crypto_pwhash(derived.data(), derived.size(), password.data(), password.size(), slot.salt.data(),
                      slot.kdf.opslimit, static_cast<std::size_t>(slot.kdf.memlimit),
                      crypto_pwhash_ALG_ARGON2ID13) != 0) {
        // The limits were checked above: what fails now is the memory they ask for.
        throw RuntimeError(code::OutOfMemory);
    }
    return derived;
}

KeySlot Wrap(KeySlot slot, std::span<const unsigned char, kBindingSize> binding, const SecureBytes& key,
             std::string_view password) {
    if (key.size() != kKeySize)
        throw RuntimeError(code::InvalidArgument, "A book key has 32 bytes");
    const SecureBytes derived = DeriveKey(password, slot);
    const auto ad = WrapAd(binding, slot);
    unsigned long long length = 0;
    if (crypto_aead_xchacha20poly1305_ietf_encrypt(slot.wrapped.data(), &length, key.data(), key.size(), ad.data(),
                                                   ad.size(), nullptr, slot.nonce.data(), derived.data()) != 0 ||
        length != slot.wrapped.size())
        throw RuntimeError(code::InvalidArgument, "The book key could not be wrapped");
    return slot;
}

} // namespace detail

NewBook MakeBook(std::string_view password, const KdfLimits& limits) {
    RefuseUnfitPassword(password);
    CheckKdfLimitsForWriting(limits);
    BookId id{};
    Random(id);
    SecureBytes key(kKeySize);
    randombytes_buf(key.data(), key.size());
    KeySlot slot;
    slot.generation = 1;
    slot.kdf = limits;
    Random(slot.salt);
    Random(slot.nonce);
    const auto binding = Binding(id);
    slot = detail::Wrap(slot, binding, key, password);
    NewBook book{NewHead(id, slot), std::move(key)};
    // Creating a book is followed at once by opening it: its password is already known to be right.
    Keep(Digest(book.head.binding(), book.head.slotBytes(book.head.inForce), password), book.key);
    return book;
}

std::optional<SecureBytes> Unlock(const SealedHead& head, std::string_view password) {
    if (!PasswordFits(password))
        return std::nullopt;
    const KeySlot& slot = head.slot();
    SecureBytes digest = Digest(head.binding(), head.slotBytes(head.inForce), password);
    if (auto kept = FindKept(digest))
        return kept;
    const SecureBytes derived = detail::DeriveKey(password, slot);
    const auto ad = WrapAd(head.binding(), slot);
    SecureBytes key(kKeySize);
    // The slot's checksum held, so a failure here is the password, not damage.
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(key.data(), nullptr, nullptr, slot.wrapped.data(),
                                                   slot.wrapped.size(), ad.data(), ad.size(), slot.nonce.data(),
                                                   derived.data()) != 0)
        return std::nullopt;
    Keep(std::move(digest), key);
    return key;
}

namespace {
std::mutex g_limitsMutex;
KdfLimits g_newSlotLimits = kProductionKdf;
} // namespace

KdfLimits NewSlotLimits() {
    std::lock_guard lock(g_limitsMutex);
    return g_newSlotLimits;
}

KdfLimitsForTests::KdfLimitsForTests(const KdfLimits& limits) {
    std::lock_guard lock(g_limitsMutex);
    m_previous = g_newSlotLimits;
    g_newSlotLimits = limits;
}

KdfLimitsForTests::~KdfLimitsForTests() {
    std::lock_guard lock(g_limitsMutex);
    g_newSlotLimits = m_previous;
}

void ForgetKeys() {
    std::lock_guard lock(g_keptMutex);
    // sodium_free wipes each one.
    KeptKeys().clear();
}

std::uint64_t KdfRuns() {
    return g_kdfRuns.load();
}

OldPassword ChangePassword(FileSystem& fs, int fd, const SealedHead& head, const SecureBytes& key,
                           std::string_view newPassword, const KdfLimits& limits) {
    RefuseUnfitPassword(newPassword);
    CheckKdfLimitsForWriting(limits);
    // Wrapping anything but this book's key would lock the book for good: the key must open the book's tally as
    // the file holds it now (the reader throws when it does not).
    [[maybe_unused]] const SealedReader onDisk(fs, fd, head, key);
    KeySlot slot;
    slot.generation = head.slot().generation + 1;
    slot.kdf = limits;
    Random(slot.salt);
    Random(slot.nonce);
    slot = detail::Wrap(slot, head.binding(), key, newPassword);
    const auto bytes = SlotBytes(slot);
    const std::array<unsigned char, kSlotSize> cleared{};
    const int other = 1 - head.inForce;
    const auto offset = [](int i) { return static_cast<off_t>(kSlotOffset[static_cast<std::size_t>(i)]); };
    try {
        WriteAllAt(fs, fd, reinterpret_cast<const char*>(bytes.data()), bytes.size(), offset(other));
        SyncFile(fs, fd);
    } catch (...) {
        // The old slot still answers to the old password; what is left of the new one must not win over it.
        try {
            WriteAllAt(fs, fd, reinterpret_cast<const char*>(cleared.data()), cleared.size(), offset(other));
            SyncFile(fs, fd);
        } catch (const RuntimeError&) {
            // Reported by the first failure; a half-written slot fails its checksum in any case.
        }
        throw;
    }
    SealedHead changed = head;
    std::copy(bytes.begin(), bytes.end(), changed.bytes.begin() + offset(other));
    Keep(Digest(changed.binding(), changed.slotBytes(other), newPassword), key);
    try {
        WriteAllAt(fs, fd, reinterpret_cast<const char*>(cleared.data()), cleared.size(), offset(head.inForce));
        SyncFile(fs, fd);
    } catch (const RuntimeError&) {
        return OldPassword::StillInFile;
    }
    return OldPassword::Cleared;
}

} // namespace dayvell::sealed
