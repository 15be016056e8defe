// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileSystem.h"
#include "RuntimeError.h"
#include "SecureMemory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// The fixed start of a sealed book: who it is, which version wrote it, and the two slots its book key is wrapped in.
// docs/sealed-book-format.md describes every byte.
namespace dayvell::sealed {

inline constexpr std::array<unsigned char, 8> kMagic = {'D', 'V', 'L', 'S', 'E', 'A', 'L', 0};
inline constexpr std::uint32_t kVersion = 1;

inline constexpr std::size_t kIdSize = 16;
inline constexpr std::size_t kKeySize = 32;
inline constexpr std::size_t kNonceSize = 24;
inline constexpr std::size_t kTagSize = 16;
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kChecksumSize = 16;

// Prelude: magic, version (u32 LE), book id, then a checksum of those three. Every later version keeps these 44
// bytes as they are, so that any version can tell a newer book from a damaged one.
inline constexpr std::size_t kBindingSize = 8 + 4 + kIdSize; // what every record is bound to
inline constexpr std::size_t kPreludeSize = kBindingSize + kChecksumSize;

// A key slot: generation, algorithm, opslimit, memlimit (each LE), salt, nonce, the wrapped book key and its tag,
// and a checksum of everything before it.
inline constexpr std::size_t kSlotPlainSize = 8 + 4 + 8 + 8 + kSaltSize;
inline constexpr std::size_t kSlotSize = kSlotPlainSize + kNonceSize + kKeySize + kTagSize + kChecksumSize;
inline constexpr std::array<std::size_t, 2> kSlotOffset = {kPreludeSize, kPreludeSize + kSlotSize};

// A page tally: page count and end offset (u64 LE each), nonce, tag. Two copies, written in turn.
inline constexpr std::size_t kTallySize = 8 + 8 + kNonceSize + kTagSize;
inline constexpr std::array<std::size_t, 2> kTallyOffset = {kSlotOffset[1] + kSlotSize,
                                                            kSlotOffset[1] + kSlotSize + kTallySize};
inline constexpr std::size_t kHeadSize = kTallyOffset[1] + kTallySize;

// The only password hash a slot may name: libsodium's crypto_pwhash_ALG_ARGON2ID13.
inline constexpr std::uint32_t kArgon2id = 2;

// A sealed book's password: a passphrase of this many characters (Windows-1252 bytes, one a character).
inline constexpr std::size_t kMinPassword = 4;
inline constexpr std::size_t kMaxPassword = 128;

// What Argon2id may spend on one password: passes and bytes of memory.
struct KdfLimits {
    std::uint64_t opslimit = 0;
    std::uint64_t memlimit = 0;
    // Set only by WeakForTests: lets a test write a book whose password is quick to check.
    bool weak = false;

    // Limits below the floor for new slots, which tests use to stay fast. Never used by the program.
    static KdfLimits WeakForTests(std::uint64_t opslimit, std::uint64_t memlimit) { return {opslimit, memlimit, true}; }
};

// About half a second on the machine the program was tuned on (see bench/bench_sealed.cpp), 128 MiB of memory.
inline constexpr KdfLimits kProductionKdf = {4, std::uint64_t{128} << 20};

// What a slot read from a file may ask for. A hostile file could otherwise make opening it take all memory or run
// for ever; the bounds leave room for books whose limits are raised on faster machines.
inline constexpr std::uint64_t kMinOpslimit = 1;
inline constexpr std::uint64_t kMaxOpslimit = 32;
inline constexpr std::uint64_t kMinMemlimit = std::uint64_t{8} << 10;
inline constexpr std::uint64_t kMaxMemlimit = std::uint64_t{4} << 30;
// Passes times memory: time grows with both.
inline constexpr std::uint64_t kMaxKdfWork = std::uint64_t{16} << 30;
// No new slot is written with less memory than this (unless KdfLimits::weak).
inline constexpr std::uint64_t kWriteFloorMemlimit = std::uint64_t{64} << 20;

// Throws KdfLimitsOutOfRange when `limits` lie outside what a file may ask for.
void CheckKdfLimits(const KdfLimits& limits);
// Throws KdfLimitsOutOfRange when a new slot may not be written with `limits`.
void CheckKdfLimitsForWriting(const KdfLimits& limits);

using BookId = std::array<unsigned char, kIdSize>;

struct KeySlot {
    std::uint64_t generation = 0;
    KdfLimits kdf;
    std::array<unsigned char, kSaltSize> salt{};
    std::array<unsigned char, kNonceSize> nonce{};
    std::array<unsigned char, kKeySize + kTagSize> wrapped{};
};

// A slot as bytes, its checksum filled in.
std::array<unsigned char, kSlotSize> SlotBytes(const KeySlot& slot);
// The slot in `bytes` (kSlotSize of them), or nothing when its checksum fails (a torn write, a cleared slot, damage)
// or it names a hash other than Argon2id.
std::optional<KeySlot> ParseSlot(std::span<const unsigned char, kSlotSize> bytes);

// The start of a sealed book as read from its file.
struct SealedHead {
    std::array<unsigned char, kHeadSize> bytes{};
    BookId id{};
    std::array<std::optional<KeySlot>, 2> keySlots;
    // The slot in force: the whole one with the higher generation.
    int inForce = 0;

    const KeySlot& slot() const { return *keySlots[static_cast<std::size_t>(inForce)]; }
    // Magic, version and book id: bound into every record, slot and tally of the book.
    std::span<const unsigned char, kBindingSize> binding() const {
        return std::span<const unsigned char, kBindingSize>(bytes.data(), kBindingSize);
    }
    std::span<const unsigned char, kSlotSize> slotBytes(int i) const {
        return std::span<const unsigned char, kSlotSize>(bytes.data() + kSlotOffset[static_cast<std::size_t>(i)],
                                                         kSlotSize);
    }
};

// Whether a file that begins with `start` is a sealed book: it begins with the magic (or, cut short, with the start
// of it). A described book begins with a double quote or a space, so the two kinds are never confused.
bool IsSealed(std::string_view start);

// Magic, version and `id`, as they open the file.
std::array<unsigned char, kBindingSize> Binding(const BookId& id);

// The head of a new book: prelude for `id`, `slot` in slot `inForce`, the other slot empty, no tally yet.
SealedHead NewHead(const BookId& id, const KeySlot& slot, int inForce = 0);

// Parses the start of a sealed file (kHeadSize bytes, or fewer when the file is shorter). Throws
// NewerSealedBook when a later version wrote it, SealedBookDamaged when the prelude is damaged, the file is cut
// short or neither slot is whole, and KdfLimitsOutOfRange when the slot in force asks for absurd limits: all before
// any memory is spent on the password.
SealedHead ParseSealedHead(std::span<const unsigned char> bytes);
// Reads and parses the start of the sealed book open on `fd`.
SealedHead ReadSealedHead(FileSystem& fs, int fd);

// How many pages a book holds and where the last of them ends. Kept in the head so that a book cut short at a
// record boundary is noticed, and so that counting the pages and finding the end to append at cost the same on any
// book. Authenticated under the book key; the copy written last is the one in force.
struct Tally {
    std::uint64_t pages = 0;
    std::uint64_t end = 0;
    bool operator==(const Tally&) const = default;
};

// A tally copy's bytes for slot `copy` (0 or 1) under the book key, with a fresh nonce.
std::array<unsigned char, kTallySize> TallyBytes(const SealedHead& head, const SecureBytes& key, int copy,
                                                 const Tally& tally);
struct TallyInForce {
    Tally tally;
    // Which copy holds it: the next update goes to the other, so that a torn write never leaves neither.
    int copy = 0;
};
// The newest copy in `head` that authenticates under `key`; nothing when neither does.
std::optional<TallyInForce> NewestTally(const SealedHead& head, const SecureBytes& key);

namespace detail {
std::array<unsigned char, kTallySize> TallyBytes(const SealedHead& head, const SecureBytes& key, int copy,
                                                 const Tally& tally,
                                                 const std::array<unsigned char, kNonceSize>& nonce);
} // namespace detail

// Little-endian integers, as every integer in the file is stored.
void PutLe(unsigned char* out, std::uint64_t value, std::size_t bytes);
std::uint64_t GetLe(const unsigned char* in, std::size_t bytes);

} // namespace dayvell::sealed

namespace dayvell {

// A sealed book whose content does not authenticate: damage, or a change made outside Dayvell. Nothing of the
// damaged part is ever shown.
class SealedBookDamaged : public RuntimeError {
public:
    // Where: kInHead for the start of the file (prelude, key slots, page tally), 0 for the book's header, n for
    // page n.
    static constexpr std::int64_t kInHead = -1;
    explicit SealedBookDamaged(std::int64_t where);
    std::int64_t where() const { return m_where; }

private:
    std::int64_t m_where;
};

// A sealed book written by a later version of the format.
class NewerSealedBook : public RuntimeError {
public:
    explicit NewerSealedBook(std::uint32_t version);
    std::uint32_t version() const { return m_version; }

private:
    std::uint32_t m_version;
};

class KdfLimitsOutOfRange : public RuntimeError {
public:
    KdfLimitsOutOfRange();
};

} // namespace dayvell
