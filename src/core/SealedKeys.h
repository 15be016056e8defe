// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileSystem.h"
#include "SealedFormat.h"
#include "SecureMemory.h"

#include <cstdint>
#include <optional>
#include <string_view>

// The keys of a sealed book: a random book key seals every record, and the password only wraps that key (Argon2id
// derives the wrapping key from it). Changing the password re-wraps the book key and touches nothing else.
namespace dayvell::sealed {

struct NewBook {
    SealedHead head;
    SecureBytes key;
};

// A new book's head and key: a random id and book key, the key wrapped under `password` in slot A. Throws
// RuntimeError(InvalidArgument) for a password outside kMinPassword..kMaxPassword characters, and
// KdfLimitsOutOfRange for limits a new slot may not have.
NewBook MakeBook(std::string_view password, const KdfLimits& limits = kProductionKdf);

// The book key when `password` opens the slot in force, nothing when it does not. A password that cannot be a
// sealed book's (too short or too long) is simply wrong, without running the hash. Throws RuntimeError(OutOfMemory)
// when the hash cannot have the memory the slot asks for: that is not a wrong password.
//
// The hash takes about half a second, so an unwrapped key is kept, in locked memory, for the same book id, slot
// bytes and password: an open book pays for its password once, not once per operation. A slot changed on disk (a
// password changed by another copy of the program) is a different slot and is checked afresh.
std::optional<SecureBytes> Unlock(const SealedHead& head, std::string_view password);

// The limits the program writes new slots with: kProductionKdf, unless a test has asked for others.
KdfLimits NewSlotLimits();

// While one lives, the program writes new slots (new sealed books, password changes, conversions) with `limits`,
// weak ones made by KdfLimits::WeakForTests, so that tests that go through the program's own paths stay fast. The
// seam is for tests alone: nothing in the program makes one.
class KdfLimitsForTests {
public:
    explicit KdfLimitsForTests(const KdfLimits& limits);
    ~KdfLimitsForTests();
    KdfLimitsForTests(const KdfLimitsForTests&) = delete;
    KdfLimitsForTests& operator=(const KdfLimitsForTests&) = delete;

private:
    KdfLimits m_previous;
};

// Wipes every kept key (when a book is closed).
void ForgetKeys();

// How often this process has run the password hash: lets tests see that kept keys are used.
std::uint64_t KdfRuns();

// What a password change left of the old password.
enum class OldPassword { Cleared, StillInFile };

// Wraps the book key under `newPassword` into the slot not in force, in place, and syncs it; from then on the new
// password is the one in force (its generation is higher). Then clears the old slot and syncs again. The cost does not
// depend on the size of the book: the records are not touched. `fd` must be open for reading and writing, without
// O_APPEND.
//
// A failure while the new slot is written clears what was written of it and throws: the old password stays in
// force. (Should the clearing fail too, the half-written slot fails its checksum and is ignored; only a slot whose
// write completed and whose sync failed can be in force after a throw, so a caller re-reads the head to learn
// which password the file answers to.) A failure to clear the old slot does not undo the change: it is returned as
// OldPassword::StillInFile, and the old slot is cleared by the next password change or rewrite.
OldPassword ChangePassword(FileSystem& fs, int fd, const SealedHead& head, const SecureBytes& key,
                           std::string_view newPassword, const KdfLimits& limits = kProductionKdf);

// The pieces, with every random value given, for known-answer tests. The program draws salts and nonces afresh.
namespace detail {
// Argon2id of `password` under the slot's salt and limits.
SecureBytes DeriveKey(std::string_view password, const KeySlot& slot);
// `slot` (generation, limits, salt and nonce set) with `key` wrapped under `password` for the book `binding`.
KeySlot Wrap(KeySlot slot, std::span<const unsigned char, kBindingSize> binding, const SecureBytes& key,
             std::string_view password);
} // namespace detail

} // namespace dayvell::sealed
