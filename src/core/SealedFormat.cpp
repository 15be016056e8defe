// SPDX-License-Identifier: GPL-3.0-or-later
#include "SealedFormat.h"

#include "SecureMemory.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace dayvell::sealed {

static_assert(kKeySize == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
static_assert(kNonceSize == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(kTagSize == crypto_aead_xchacha20poly1305_ietf_ABYTES);
static_assert(kSaltSize == crypto_pwhash_SALTBYTES);
static_assert(kArgon2id == crypto_pwhash_ALG_ARGON2ID13);
static_assert(kChecksumSize >= crypto_generichash_BYTES_MIN && kChecksumSize <= crypto_generichash_BYTES_MAX);
static_assert(kMinOpslimit >= crypto_pwhash_argon2id_OPSLIMIT_MIN);
static_assert(kMinMemlimit >= crypto_pwhash_argon2id_MEMLIMIT_MIN);
static_assert(kProductionKdf.memlimit >= kWriteFloorMemlimit);
static_assert(kHeadSize == 420);

namespace {

// Offsets inside a slot.
constexpr std::size_t kGeneration = 0;
constexpr std::size_t kAlgorithm = 8;
constexpr std::size_t kOpslimit = 12;
constexpr std::size_t kMemlimit = 20;
constexpr std::size_t kSalt = 28;
constexpr std::size_t kSlotNonce = kSlotPlainSize;
constexpr std::size_t kWrapped = kSlotNonce + kNonceSize;
constexpr std::size_t kSlotChecksum = kWrapped + kKeySize + kTagSize;
static_assert(kSalt + kSaltSize == kSlotPlainSize && kSlotChecksum + kChecksumSize == kSlotSize);

// BLAKE2b over `bytes`: tells whole bytes from torn or damaged ones. It proves nothing against a forger; the
// authenticated encryption does that.
std::array<unsigned char, kChecksumSize> Checksum(const unsigned char* bytes, std::size_t size) {
    InitSodium();
    std::array<unsigned char, kChecksumSize> sum{};
    if (crypto_generichash(sum.data(), sum.size(), bytes, size, nullptr, 0) != 0)
        throw RuntimeError(code::InvalidArgument, "The checksum could not be computed");
    return sum;
}

bool ChecksumHolds(const unsigned char* bytes, std::size_t size, const unsigned char* stored) {
    const auto sum = Checksum(bytes, size);
    return sodium_memcmp(sum.data(), stored, kChecksumSize) == 0;
}

} // namespace

void PutLe(unsigned char* out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint64_t GetLe(const unsigned char* in, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        value |= std::uint64_t{in[i]} << (8 * i);
    return value;
}

void CheckKdfLimits(const KdfLimits& limits) {
    const bool ops = limits.opslimit >= kMinOpslimit && limits.opslimit <= kMaxOpslimit;
    const bool mem = limits.memlimit >= kMinMemlimit && limits.memlimit <= kMaxMemlimit;
    // Both are bounded first, so the product cannot overflow.
    if (!ops || !mem || limits.opslimit * limits.memlimit > kMaxKdfWork)
        throw KdfLimitsOutOfRange();
}

void CheckKdfLimitsForWriting(const KdfLimits& limits) {
    CheckKdfLimits(limits);
    if (limits.memlimit < kWriteFloorMemlimit && !limits.weak)
        throw KdfLimitsOutOfRange();
}

std::array<unsigned char, kSlotSize> SlotBytes(const KeySlot& slot) {
    std::array<unsigned char, kSlotSize> b{};
    PutLe(b.data() + kGeneration, slot.generation, 8);
    PutLe(b.data() + kAlgorithm, kArgon2id, 4);
    PutLe(b.data() + kOpslimit, slot.kdf.opslimit, 8);
    PutLe(b.data() + kMemlimit, slot.kdf.memlimit, 8);
    std::copy(slot.salt.begin(), slot.salt.end(), b.begin() + kSalt);
    std::copy(slot.nonce.begin(), slot.nonce.end(), b.begin() + kSlotNonce);
    std::copy(slot.wrapped.begin(), slot.wrapped.end(), b.begin() + kWrapped);
    const auto sum = Checksum(b.data(), kSlotChecksum);
    std::copy(sum.begin(), sum.end(), b.begin() + kSlotChecksum);
    return b;
}

std::optional<KeySlot> ParseSlot(std::span<const unsigned char, kSlotSize> b) {
    if (!ChecksumHolds(b.data(), kSlotChecksum, b.data() + kSlotChecksum))
        return std::nullopt;
    if (GetLe(b.data() + kAlgorithm, 4) != kArgon2id)
        return std::nullopt;
    KeySlot slot;
    slot.generation = GetLe(b.data() + kGeneration, 8);
    slot.kdf.opslimit = GetLe(b.data() + kOpslimit, 8);
    slot.kdf.memlimit = GetLe(b.data() + kMemlimit, 8);
    std::copy_n(b.begin() + kSalt, kSaltSize, slot.salt.begin());
    std::copy_n(b.begin() + kSlotNonce, kNonceSize, slot.nonce.begin());
    std::copy_n(b.begin() + kWrapped, slot.wrapped.size(), slot.wrapped.begin());
    return slot;
}

bool IsSealed(std::string_view start) {
    const std::size_t n = std::min(start.size(), kMagic.size());
    return n > 0 && std::memcmp(start.data(), kMagic.data(), n) == 0;
}

std::array<unsigned char, kBindingSize> Binding(const BookId& id) {
    std::array<unsigned char, kBindingSize> b{};
    std::copy(kMagic.begin(), kMagic.end(), b.begin());
    PutLe(b.data() + kMagic.size(), kVersion, 4);
    std::copy(id.begin(), id.end(), b.begin() + kMagic.size() + 4);
    return b;
}

SealedHead NewHead(const BookId& id, const KeySlot& slot, int inForce) {
    SealedHead head;
    unsigned char* b = head.bytes.data();
    const auto binding = Binding(id);
    std::copy(binding.begin(), binding.end(), b);
    const auto sum = Checksum(b, kBindingSize);
    std::copy(sum.begin(), sum.end(), b + kBindingSize);
    const auto slotBytes = SlotBytes(slot);
    std::copy(slotBytes.begin(), slotBytes.end(), b + kSlotOffset[static_cast<std::size_t>(inForce)]);
    head.id = id;
    head.keySlots[static_cast<std::size_t>(inForce)] = slot;
    head.inForce = inForce;
    return head;
}

SealedHead ParseSealedHead(std::span<const unsigned char> bytes) {
    const auto damaged = [] { return SealedBookDamaged(SealedBookDamaged::kInHead); };
    if (bytes.size() < kPreludeSize || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()))
        throw damaged();
    // The version is believed only once the prelude is whole: a flipped bit in it is damage, not a newer book.
    if (!ChecksumHolds(bytes.data(), kBindingSize, bytes.data() + kBindingSize))
        throw damaged();
    const auto version = static_cast<std::uint32_t>(GetLe(bytes.data() + kMagic.size(), 4));
    if (version > kVersion)
        throw NewerSealedBook(version);
    if (version < kVersion || bytes.size() < kHeadSize)
        throw damaged();

    SealedHead head;
    std::copy_n(bytes.begin(), kHeadSize, head.bytes.begin());
    std::copy_n(bytes.begin() + kMagic.size() + 4, kIdSize, head.id.begin());
    for (std::size_t i = 0; i < 2; ++i)
        head.keySlots[i] = ParseSlot(head.slotBytes(static_cast<int>(i)));
    if (!head.keySlots[0] && !head.keySlots[1])
        throw damaged();
    // On a tie, which only a forger could make, slot A: the choice is fixed, so the same file always opens alike.
    head.inForce =
        !head.keySlots[0] || (head.keySlots[1] && head.keySlots[1]->generation > head.keySlots[0]->generation) ? 1 : 0;
    CheckKdfLimits(head.slot().kdf);
    return head;
}

SealedHead ReadSealedHead(FileSystem& fs, int fd) {
    std::array<unsigned char, kHeadSize> bytes{};
    const std::size_t got = ReadAt(fs, fd, bytes.data(), bytes.size(), 0);
    return ParseSealedHead(std::span<const unsigned char>(bytes.data(), got));
}

namespace {

// What a tally copy's tag covers besides the book: its kind, which copy it is, and its values.
constexpr unsigned char kTallyKind = 3;
constexpr std::size_t kTallyAdSize = kBindingSize + 1 + 1 + 8 + 8;

std::array<unsigned char, kTallyAdSize> TallyAd(const SealedHead& head, int copy, const Tally& tally) {
    std::array<unsigned char, kTallyAdSize> ad{};
    std::copy(head.binding().begin(), head.binding().end(), ad.begin());
    ad[kBindingSize] = kTallyKind;
    ad[kBindingSize + 1] = static_cast<unsigned char>(copy);
    PutLe(ad.data() + kBindingSize + 2, tally.pages, 8);
    PutLe(ad.data() + kBindingSize + 10, tally.end, 8);
    return ad;
}

std::optional<Tally> ParseTally(const SealedHead& head, const SecureBytes& key, int copy) {
    const unsigned char* b = head.bytes.data() + kTallyOffset[static_cast<std::size_t>(copy)];
    const Tally tally{GetLe(b, 8), GetLe(b + 8, 8)};
    const auto ad = TallyAd(head, copy, tally);
    // The tag of an empty message: the authentication covers the additional data alone.
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(nullptr, nullptr, nullptr, b + 16 + kNonceSize, kTagSize, ad.data(),
                                                   ad.size(), b + 16, key.data()) != 0)
        return std::nullopt;
    return tally;
}

} // namespace

namespace detail {

std::array<unsigned char, kTallySize> TallyBytes(const SealedHead& head, const SecureBytes& key, int copy,
                                                 const Tally& tally,
                                                 const std::array<unsigned char, kNonceSize>& nonce) {
    std::array<unsigned char, kTallySize> b{};
    PutLe(b.data(), tally.pages, 8);
    PutLe(b.data() + 8, tally.end, 8);
    std::copy(nonce.begin(), nonce.end(), b.begin() + 16);
    const auto ad = TallyAd(head, copy, tally);
    unsigned long long tagLength = 0;
    if (crypto_aead_xchacha20poly1305_ietf_encrypt(b.data() + 16 + kNonceSize, &tagLength, nullptr, 0, ad.data(),
                                                   ad.size(), nullptr, nonce.data(), key.data()) != 0 ||
        tagLength != kTagSize)
        throw RuntimeError(code::InvalidArgument, "The page tally could not be sealed");
    return b;
}

} // namespace detail

std::array<unsigned char, kTallySize> TallyBytes(const SealedHead& head, const SecureBytes& key, int copy,
                                                 const Tally& tally) {
    std::array<unsigned char, kNonceSize> nonce{};
    randombytes_buf(nonce.data(), nonce.size());
    return detail::TallyBytes(head, key, copy, tally, nonce);
}

std::optional<TallyInForce> NewestTally(const SealedHead& head, const SecureBytes& key) {
    if (key.size() != kKeySize)
        return std::nullopt;
    const auto a = ParseTally(head, key, 0);
    const auto b = ParseTally(head, key, 1);
    if (b && (!a || b->pages > a->pages))
        return TallyInForce{*b, 1};
    if (a)
        return TallyInForce{*a, 0};
    return std::nullopt;
}

} // namespace dayvell::sealed

namespace dayvell {

namespace {

std::string DamagedWhere(std::int64_t where) {
    const std::string what = ErrorDescription(code::SealedBookDamaged);
    if (where == SealedBookDamaged::kInHead)
        return what + " at its start";
    if (where == 0)
        return what + " in its header";
    return what + " at page " + std::to_string(where);
}

} // namespace

SealedBookDamaged::SealedBookDamaged(std::int64_t where)
    : RuntimeError(code::SealedBookDamaged, DamagedWhere(where)), m_where(where) {}

NewerSealedBook::NewerSealedBook(std::uint32_t version)
    : RuntimeError(code::NewerSealedBook,
                   ErrorDescription(code::NewerSealedBook) + " (format " + std::to_string(version) + ")"),
      m_version(version) {}

KdfLimitsOutOfRange::KdfLimitsOutOfRange() : RuntimeError(code::KdfLimitsOutOfRange) {}

} // namespace dayvell
