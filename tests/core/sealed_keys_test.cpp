// SPDX-License-Identifier: GPL-3.0-or-later
// The start of a sealed book and its keys: the prelude and the version, the two key slots, the limits of the
// password hash, the kept keys, the password change, and the answers kept from the format's first version.
#include "SealedBooks.h"

#include "core/SharedState.h"
#include "core/TempDir.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstdlib>
#include <cstring>
#include <functional>

using namespace dayvell;
using namespace dayvell::sealed;
using namespace dayvell::test;

namespace {

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < size; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

template <class Bytes> std::string Hex(const Bytes& b) {
    return Hex(reinterpret_cast<const unsigned char*>(b.data()), b.size());
}

std::span<const unsigned char> Span(const std::string& s) {
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

// A prelude whose checksum holds for any version, as a later program would write it.
std::string Prelude(std::uint32_t version, unsigned char idByte = 0x11) {
    std::string p(kMagic.begin(), kMagic.end());
    for (int i = 0; i < 4; ++i)
        p += static_cast<char>((version >> (8 * i)) & 0xFF);
    p += std::string(kIdSize, static_cast<char>(idByte));
    unsigned char sum[kChecksumSize];
    EXPECT_EQ(crypto_generichash(sum, sizeof sum, Span(p).data(), p.size(), nullptr, 0), 0);
    return p + std::string(reinterpret_cast<const char*>(sum), sizeof sum);
}

int CodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.code();
    }
    return 0;
}

class SealedKeys : public ::testing::Test {
protected:
    void SetUp() override { ForgetKeys(); }
    void TearDown() override { ForgetKeys(); }
    TempDir tmp;
    const std::string path = tmp.file("sealed.dvl");
};

// The start of the file.

TEST(SealedPrelude, TellsSealedBooksFromDescribedOnesByTheirFirstBytes) {
    EXPECT_TRUE(IsSealed(std::string("DVLSEAL\0rest", 12)));
    EXPECT_TRUE(IsSealed("DVLS")); // cut short: still sealed, and reported as damaged
    for (const std::string s : {"", "\"\xD8\xBF\",\"", "  \"x\"", "DVLSEAX", "dvlseal"})
        EXPECT_FALSE(IsSealed(s)) << s;
}

TEST(SealedPrelude, ANewerVersionIsToldApartFromDamage) {
    // The rest of a newer book may look like anything: only the prelude is read.
    const auto newer = Prelude(2) + std::string(10, 'x');
    try {
        ParseSealedHead(Span(newer));
        FAIL() << "a newer book was read";
    } catch (const NewerSealedBook& e) {
        EXPECT_EQ(e.version(), 2u);
        EXPECT_EQ(e.code(), code::NewerSealedBook);
    }
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string flipped = Prelude(1) + std::string(kHeadSize, '\0');
    flipped[8] = 3; // a version byte changed by damage: its checksum no longer holds
    const std::vector<Case> damaged = {
        {"version byte flipped", flipped},
        {"version 0", Prelude(0) + std::string(kHeadSize, '\0')},
        {"cut inside the prelude", Prelude(2).substr(0, kPreludeSize - 1)},
        {"no slot whole", Prelude(1) + std::string(kHeadSize - kPreludeSize, '\0')},
        {"cut inside the slots", Prelude(1) + std::string(100, '\0')},
        {"no magic", "\"abc\",\"\"" + std::string(kHeadSize, '\0')},
    };
    for (const auto& c : damaged) {
        try {
            ParseSealedHead(Span(c.bytes));
            ADD_FAILURE() << c.name << ": read";
        } catch (const SealedBookDamaged& e) {
            EXPECT_EQ(e.where(), SealedBookDamaged::kInHead) << c.name;
        }
    }
}

TEST(SealedPrelude, TheDamageErrorNamesWhere) {
    EXPECT_EQ(std::string(SealedBookDamaged(SealedBookDamaged::kInHead).what()), "Sealed book damaged at its start");
    EXPECT_EQ(std::string(SealedBookDamaged(0).what()), "Sealed book damaged in its header");
    EXPECT_EQ(std::string(SealedBookDamaged(12).what()), "Sealed book damaged at page 12");
    EXPECT_EQ(SealedBookDamaged(12).code(), code::SealedBookDamaged);
}

// The limits of the password hash.

TEST(SealedKdfLimits, AFileMayAskOnlyForSaneLimits) {
    struct Case {
        std::uint64_t ops, mem;
        bool read, written;
    };
    const std::uint64_t MiB = 1 << 20;
    const std::vector<Case> cases = {
        {4, 128 * MiB, true, true},
        {1, 64 * MiB, true, true},
        {1, 64 * MiB - 1024, true, false}, // below the floor for new slots
        {1, kMinMemlimit, true, false},
        {1, kMinMemlimit - 1, false, false},
        {0, 64 * MiB, false, false},
        {32, 512 * MiB, true, true},
        {33, 64 * MiB, false, false},
        {4, 4096 * MiB, true, true},
        {4, 4096 * MiB + 1, false, false},
        {5, 4096 * MiB, false, false}, // each within bounds, together too much work
        {1000000000000ULL, 64 * MiB, false, false},
        {1, std::uint64_t{1} << 40, false, false},
        {~std::uint64_t{0}, ~std::uint64_t{0}, false, false},
    };
    for (const auto& c : cases) {
        const KdfLimits limits{c.ops, c.mem};
        SCOPED_TRACE(std::to_string(c.ops) + " passes, " + std::to_string(c.mem) + " bytes");
        EXPECT_EQ(CodeOf([&] { CheckKdfLimits(limits); }), c.read ? 0 : code::KdfLimitsOutOfRange);
        EXPECT_EQ(CodeOf([&] { CheckKdfLimitsForWriting(limits); }), c.written ? 0 : code::KdfLimitsOutOfRange);
    }
    EXPECT_EQ(CodeOf([] { CheckKdfLimitsForWriting(KdfLimits::WeakForTests(1, kMinMemlimit)); }), 0);
    EXPECT_EQ(CodeOf([] { CheckKdfLimitsForWriting(kProductionKdf); }), 0);
}

TEST_F(SealedKeys, AHostileSlotIsRefusedBeforeTheHashTakesAnything) {
    // Slots whose checksum holds but whose limits would take a terabyte or run for ages. Were the limits not
    // checked first, the first would fail as out of memory and the second would hang until the test times out.
    const NewBook book = MakeBook(kSealedPassword, FastKdf());
    for (const KdfLimits hostile : {KdfLimits{2, std::uint64_t{1} << 40}, KdfLimits{1000000000000ULL, 64 << 20}}) {
        KeySlot slot = book.head.slot();
        slot.kdf = hostile;
        const SealedHead head = NewHead(book.head.id, slot);
        EXPECT_EQ(CodeOf([&] { ParseSealedHead(head.bytes); }), code::KdfLimitsOutOfRange);
        const auto runs = KdfRuns();
        EXPECT_EQ(CodeOf([&] { Unlock(head, kSealedPassword); }), code::KdfLimitsOutOfRange);
        EXPECT_EQ(KdfRuns(), runs);
    }
}

// Slots, passwords and keys.

TEST_F(SealedKeys, TheRightPasswordUnwrapsTheBookKeyAndAWrongOneIsNotDamage) {
    const NewBook book = MakeBook(kSealedPassword, FastKdf());
    ForgetKeys();
    const SealedHead head = ParseSealedHead(book.head.bytes);
    EXPECT_EQ(head.inForce, 0);
    EXPECT_FALSE(head.keySlots[1]);
    const auto key = Unlock(head, kSealedPassword);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->equals(book.key));
    for (const std::string wrong : {"correct horsE", "correct hors", "correct horse ", "wrong"})
        EXPECT_FALSE(Unlock(head, wrong)) << wrong;
}

TEST_F(SealedKeys, APasswordOfFourToOneHundredTwentyEightCharactersIsAccepted) {
    for (const std::size_t n : {kMinPassword, kMaxPassword}) {
        const std::string password(n, '\xE9');
        const NewBook book = MakeBook(password, FastKdf());
        ForgetKeys();
        EXPECT_TRUE(Unlock(book.head, password)) << n;
    }
    for (const std::size_t n : {std::size_t{0}, kMinPassword - 1, kMaxPassword + 1}) {
        const std::string password(n, 'x');
        EXPECT_EQ(CodeOf([&] { MakeBook(password, FastKdf()); }), code::InvalidArgument) << n;
    }
    // Such a password cannot be a sealed book's: refused without running the hash.
    const NewBook book = MakeBook(kSealedPassword, FastKdf());
    const auto runs = KdfRuns();
    EXPECT_FALSE(Unlock(book.head, "abc"));
    EXPECT_FALSE(Unlock(book.head, std::string(kMaxPassword + 1, 'x')));
    EXPECT_EQ(KdfRuns(), runs);
}

TEST_F(SealedKeys, NewSlotsAreNeverWrittenBelowTheMemoryFloor) {
    EXPECT_EQ(CodeOf([] { MakeBook(kSealedPassword, KdfLimits{4, 32 << 20}); }), code::KdfLimitsOutOfRange);
    EXPECT_GE(kProductionKdf.memlimit, std::uint64_t{64} << 20);
}

TEST_F(SealedKeys, TheHashRunsOncePerBookSlotAndPasswordUntilTheBookIsClosed) {
    const NewBook book = MakeBook(kSealedPassword, FastKdf());
    auto runs = KdfRuns();
    // Creating the book kept its key: opening it right after costs nothing.
    ASSERT_TRUE(Unlock(book.head, kSealedPassword));
    EXPECT_EQ(KdfRuns(), runs);
    ForgetKeys();
    ASSERT_TRUE(Unlock(book.head, kSealedPassword));
    ASSERT_TRUE(Unlock(book.head, kSealedPassword));
    EXPECT_EQ(KdfRuns(), runs + 1);
    // A wrong password is never kept: every try pays the full price.
    EXPECT_FALSE(Unlock(book.head, "not the password"));
    EXPECT_FALSE(Unlock(book.head, "not the password"));
    EXPECT_EQ(KdfRuns(), runs + 3);
    // Another book, or the same book whose slot was changed elsewhere, is not served the kept key.
    const NewBook other = MakeBook(kSealedPassword, FastKdf());
    ForgetKeys();
    runs = KdfRuns();
    ASSERT_TRUE(Unlock(book.head, kSealedPassword));
    const auto otherKey = Unlock(other.head, kSealedPassword);
    ASSERT_TRUE(otherKey);
    EXPECT_FALSE(otherKey->equals(book.key));
    EXPECT_EQ(KdfRuns(), runs + 2);
    // Closing the book through the shared state wipes the kept keys.
    SharedState state;
    state.password = kSealedPassword;
    state.forgetBook();
    EXPECT_TRUE(state.password.empty());
    ASSERT_TRUE(Unlock(book.head, kSealedPassword));
    EXPECT_EQ(KdfRuns(), runs + 3);
}

TEST_F(SealedKeys, TheWholeSlotWithTheHigherGenerationIsInForce) {
    const NewBook book = MakeBook(kSealedPassword, FastKdf());
    KeySlot newer = book.head.slot();
    newer.generation = 7;
    const auto newerBytes = SlotBytes(newer);
    SealedHead both = book.head;
    std::copy(newerBytes.begin(), newerBytes.end(), both.bytes.begin() + kSlotOffset[1]);
    EXPECT_EQ(ParseSealedHead(both.bytes).inForce, 1);
    // The newer slot torn: the older one is in force again.
    both.bytes[kSlotOffset[1] + 60] ^= 0x40;
    EXPECT_EQ(ParseSealedHead(both.bytes).inForce, 0);
    // Only slot B whole.
    SealedHead onlyB = both;
    std::fill_n(onlyB.bytes.begin() + kSlotOffset[0], kSlotSize, 0);
    std::copy(newerBytes.begin(), newerBytes.end(), onlyB.bytes.begin() + kSlotOffset[1]);
    EXPECT_EQ(ParseSealedHead(onlyB.bytes).inForce, 1);
    // A slot naming another hash is not whole, even with its checksum right.
    auto otherHash = SlotBytes(book.head.slot());
    otherHash[8] = 1;
    const auto sum = [&] {
        std::array<unsigned char, kChecksumSize> s{};
        EXPECT_EQ(crypto_generichash(s.data(), s.size(), otherHash.data(), kSlotSize - kChecksumSize, nullptr, 0), 0);
        return s;
    }();
    std::copy(sum.begin(), sum.end(), otherHash.end() - kChecksumSize);
    EXPECT_FALSE(ParseSlot(otherHash));
}

TEST_F(SealedKeys, EveryPlainFieldOfTheSlotAndTheBookAreBoundIntoTheWrap) {
    // A slot rebuilt with one field changed and its checksum made right again (which anyone can do) no longer
    // unwraps: a forger cannot lower the limits or move the slot to another book.
    const NewBook book = MakeBook(kSealedPassword, FastKdf());
    const std::vector<std::pair<const char*, std::function<void(KeySlot&, BookId&)>>> changes = {
        {"generation", [](KeySlot& s, BookId&) { ++s.generation; }},
        {"opslimit", [](KeySlot& s, BookId&) { ++s.kdf.opslimit; }},
        {"memlimit", [](KeySlot& s, BookId&) { s.kdf.memlimit += 1024; }},
        {"salt", [](KeySlot& s, BookId&) { s.salt[3] ^= 1; }},
        {"nonce", [](KeySlot& s, BookId&) { s.nonce[3] ^= 1; }},
        {"wrapped key", [](KeySlot& s, BookId&) { s.wrapped[3] ^= 1; }},
        {"tag", [](KeySlot& s, BookId&) { s.wrapped.back() ^= 1; }},
        {"book id", [](KeySlot&, BookId& id) { id[0] ^= 1; }},
    };
    for (const auto& [name, change] : changes) {
        KeySlot slot = book.head.slot();
        BookId id = book.head.id;
        change(slot, id);
        EXPECT_FALSE(Unlock(NewHead(id, slot), kSealedPassword)) << name;
    }
}

TEST_F(SealedKeys, APasswordChangeRewrapsInPlaceAndLeavesTheRecordsAlone) {
    const NewBook book = MakeSealedBook(path, SampleContent());
    const std::string before = ReadFileBytes(path);
    {
        FileHandle f = OpenFile(SystemFileSystem(), path, O_RDWR);
        const SealedHead head = ReadSealedHead(SystemFileSystem(), f.fd());
        EXPECT_EQ(ChangePassword(SystemFileSystem(), f.fd(), head, book.key, "a new passphrase", FastKdf()),
                  OldPassword::Cleared);
    }
    const std::string after = ReadFileBytes(path);
    ASSERT_EQ(after.size(), before.size());
    // Only the slots changed: the cost of a change does not grow with the book.
    EXPECT_EQ(after.substr(kTallyOffset[0]), before.substr(kTallyOffset[0]));
    EXPECT_EQ(after.substr(0, kPreludeSize), before.substr(0, kPreludeSize));
    // The new wrap went into slot B; slot A is cleared, every byte of it.
    EXPECT_EQ(after.substr(kSlotOffset[0], kSlotSize), std::string(kSlotSize, '\0'));
    const SealedHead head = ParseSealedHead(Span(after));
    EXPECT_EQ(head.inForce, 1);
    EXPECT_EQ(head.slot().generation, 2u);

    auto runs = KdfRuns();
    const auto key = UnlockFile(path, "a new passphrase");
    ASSERT_TRUE(key);
    EXPECT_EQ(KdfRuns(), runs) << "the change kept the key for the new password";
    EXPECT_TRUE(key->equals(book.key));
    ForgetKeys();
    EXPECT_FALSE(UnlockFile(path, kSealedPassword));
    SealedContent read;
    ReadSealedContent(path, *key, read);
    EXPECT_EQ(read, SampleContent());

    // A second change goes back to slot A.
    {
        FileHandle f = OpenFile(SystemFileSystem(), path, O_RDWR);
        const SealedHead h = ReadSealedHead(SystemFileSystem(), f.fd());
        ChangePassword(SystemFileSystem(), f.fd(), h, *key, "third", FastKdf());
    }
    const SealedHead third = ParseSealedHead(Span(ReadFileBytes(path)));
    EXPECT_EQ(third.inForce, 0);
    EXPECT_EQ(third.slot().generation, 3u);
    EXPECT_FALSE(third.keySlots[1]);
    EXPECT_TRUE(UnlockFile(path, "third"));
}

TEST_F(SealedKeys, APasswordChangeRefusesAKeyThatIsNotTheBooks) {
    const NewBook book = MakeSealedBook(path, SampleContent());
    const std::string before = ReadFileBytes(path);
    SecureBytes stranger(kKeySize);
    FileHandle f = OpenFile(SystemFileSystem(), path, O_RDWR);
    EXPECT_EQ(
        CodeOf([&] { ChangePassword(SystemFileSystem(), f.fd(), book.head, stranger, "a new passphrase", FastKdf()); }),
        code::SealedBookDamaged);
    EXPECT_EQ(ReadFileBytes(path), before);
}

// Known answers, made once with the format's first version and kept.

struct Fixed {
    BookId id{};
    SecureBytes key{kKeySize};
    std::array<unsigned char, kNonceSize> nonce{};
    Fixed() {
        for (std::size_t i = 0; i < id.size(); ++i)
            id[i] = static_cast<unsigned char>(0xA0 + i);
        for (std::size_t i = 0; i < key.size(); ++i)
            key.data()[i] = static_cast<unsigned char>(i);
        for (std::size_t i = 0; i < nonce.size(); ++i)
            nonce[i] = static_cast<unsigned char>(0x40 + i);
    }
};

KeySlot FixedSlot() {
    KeySlot slot;
    slot.generation = 1;
    slot.kdf = KdfLimits::WeakForTests(2, 64 << 10);
    for (std::size_t i = 0; i < slot.salt.size(); ++i)
        slot.salt[i] = static_cast<unsigned char>(0x80 + i);
    for (std::size_t i = 0; i < slot.nonce.size(); ++i)
        slot.nonce[i] = static_cast<unsigned char>(0xC0 + i);
    return slot;
}

TEST(SealedKnownAnswers, PreludeAndSlot) {
    const Fixed f;
    const KeySlot slot = detail::Wrap(FixedSlot(), Binding(f.id), f.key, kSealedPassword);
    const SealedHead head = NewHead(f.id, slot);
    EXPECT_EQ(Hex(head.bytes.data(), kPreludeSize), "44564c5345414c0001000000a0a1a2a3a4a5a6a7a8a9aaabacadaeaf"
                                                    "1b64de1e725b51dd6af6d58984fe22a0");
    EXPECT_EQ(Hex(SlotBytes(slot)), "0100000000000000"
                                    "02000000"
                                    "0200000000000000"
                                    "0000010000000000"
                                    "808182838485868788898a8b8c8d8e8f"
                                    "c0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7"
                                    "f697cbf6a62ad1c5d47d66bcbd8a1dac3926ed0ebfa2faa8d7b274a1029244d7"
                                    "734fac936bc7f404469f097cac4f9645"
                                    "d3604eb49247dfb40a27dd36f38b897a");

    // The same wrap worked out from libsodium directly, from the layout as documented.
    unsigned char derived[kKeySize];
    ASSERT_EQ(crypto_pwhash(derived, sizeof derived, kSealedPassword, std::strlen(kSealedPassword),
                            FixedSlot().salt.data(), 2, 64 << 10, crypto_pwhash_ALG_ARGON2ID13),
              0);
    std::string ad(head.bytes.begin(), head.bytes.begin() + kBindingSize);
    ad += std::string("\x01\0\0\0\0\0\0\0", 8) + std::string("\x02\0\0\0", 4) + std::string("\x02\0\0\0\0\0\0\0", 8) +
          std::string("\0\0\x01\0\0\0\0\0", 8);
    ad.append(reinterpret_cast<const char*>(FixedSlot().salt.data()), kSaltSize);
    unsigned char wrapped[kKeySize + kTagSize];
    ASSERT_EQ(crypto_aead_xchacha20poly1305_ietf_encrypt(wrapped, nullptr, f.key.data(), kKeySize, Span(ad).data(),
                                                         ad.size(), nullptr, FixedSlot().nonce.data(), derived),
              0);
    EXPECT_EQ(Hex(wrapped, sizeof wrapped), Hex(slot.wrapped));
}

TEST(SealedKnownAnswers, TallyCopy) {
    const Fixed f;
    const SealedHead head = NewHead(f.id, FixedSlot());
    const auto bytes = detail::TallyBytes(head, f.key, 1, {3, 1234}, f.nonce);
    EXPECT_EQ(Hex(bytes), "0300000000000000"
                          "d204000000000000"
                          "404142434445464748494a4b4c4d4e4f5051525354555657"
                          "0fc19b497bbfb304ffc5e450f4112956");

    // The tag worked out from libsodium directly: an empty message, the book, kind 3, the copy and the values.
    std::string ad(head.bytes.begin(), head.bytes.begin() + kBindingSize);
    ad += std::string("\x03\x01", 2) + std::string("\x03\0\0\0\0\0\0\0", 8) + std::string("\xd2\x04\0\0\0\0\0\0", 8);
    unsigned char tag[kTagSize];
    ASSERT_EQ(crypto_aead_xchacha20poly1305_ietf_encrypt(tag, nullptr, nullptr, 0, Span(ad).data(), ad.size(), nullptr,
                                                         f.nonce.data(), f.key.data()),
              0);
    EXPECT_EQ(Hex(tag, sizeof tag), Hex(bytes).substr(2 * (16 + kNonceSize)));
}

TEST_F(SealedKeys, TheKeptBookOfTheFirstVersionOpensWithProductionLimits) {
    const char* data = std::getenv("DAYVELL_TEST_DATA");
    ASSERT_NE(data, nullptr);
    const std::string golden = std::string(data) + "/sealed/golden-v1.dvl";
    FileHandle in = OpenFile(SystemFileSystem(), golden, O_RDONLY);
    const SealedHead head = ReadSealedHead(SystemFileSystem(), in.fd());
    EXPECT_EQ(head.slot().kdf.opslimit, kProductionKdf.opslimit);
    EXPECT_EQ(head.slot().kdf.memlimit, kProductionKdf.memlimit);
    EXPECT_FALSE(Unlock(head, "correct horsf"));
    const auto key = Unlock(head, kSealedPassword);
    ASSERT_TRUE(key);
    SealedContent read;
    ReadSealedContent(golden, *key, read);
    EXPECT_EQ(read, GoldenContent());
    EXPECT_EQ(CountSealedPages(SystemFileSystem(), in.fd(), head, *key), 4);
}

} // namespace
