// SPDX-License-Identifier: GPL-3.0-or-later
// The records of a sealed book: what is written reads back to the byte, every change to the file is refused with
// the place it was found and never read as other text, and pages are appended at a cost that does not grow.
#include "SealedBooks.h"

#include "core/TempDir.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <functional>
#include <random>
#include <sys/mman.h>

using namespace dayvell;
using namespace dayvell::sealed;
using namespace dayvell::test;

namespace {

constexpr std::int64_t kOpens = -2;

std::string Hex(const std::string& s) {
    static const char* digits = "0123456789abcdef";
    std::string h;
    for (const unsigned char c : s) {
        h += digits[c >> 4];
        h += digits[c & 15];
    }
    return h;
}

std::string Le(std::uint64_t value, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s += static_cast<char>((value >> (8 * i)) & 0xFF);
    return s;
}

// Where each record of a sealed file lies, found by walking the lengths as the format describes them: the header
// first, then the pages.
struct Span {
    std::size_t offset, size;
};
std::vector<Span> Records(const std::string& file) {
    std::vector<Span> records;
    std::size_t at = kHeadSize;
    while (at + 4 <= file.size()) {
        std::size_t length = 0;
        for (int i = 3; i >= 0; --i)
            length = length * 256 + static_cast<unsigned char>(file[at + static_cast<std::size_t>(i)]);
        records.push_back({at, kRecordPrefixSize + length});
        at += kRecordPrefixSize + length;
    }
    return records;
}

SealedContent PagesUpTo(const SealedContent& content, std::size_t pages) {
    SealedContent c = content;
    c.pages.resize(pages);
    return c;
}

// Reads the book, and checks that whatever was given out before a failure is the book's own text.
std::int64_t ReadWhere(const std::string& path, const SecureBytes& key, const SealedContent& original) {
    SealedContent read;
    try {
        ReadSealedContent(path, key, read);
    } catch (const SealedBookDamaged& e) {
        if (e.where() > 0) {
            EXPECT_EQ(read, PagesUpTo(original, static_cast<std::size_t>(e.where() - 1)))
                << "pages before the damage are given out, and nothing at or after it";
        } else {
            EXPECT_TRUE(read.pages.empty());
        }
        return e.where();
    }
    EXPECT_EQ(read, original) << "a book read to its end is the book written";
    return kOpens;
}

class SealedRecords : public ::testing::Test {
protected:
    void SetUp() override { book.emplace(MakeSealedBook(path, content)); }
    const SecureBytes& key() const { return book->key; }

    TempDir tmp;
    const std::string path = tmp.file("sealed.dvl");
    const SealedContent content = SampleContent();
    std::optional<NewBook> book;
};

TEST_F(SealedRecords, ABookReadsBackToTheByte) {
    EXPECT_EQ(ReadWhere(path, key(), content), kOpens);
    FileHandle in = OpenFile(SystemFileSystem(), path, O_RDONLY);
    EXPECT_EQ(CountSealedPages(SystemFileSystem(), in.fd(), book->head, key()), 3);

    // No pages, and empty fields everywhere, written over the longer book without emptying the file first.
    const SealedContent empty{{"", "", "", ""}, {}};
    {
        FileHandle out = OpenFile(SystemFileSystem(), path, O_RDWR);
        SealedWriter writer(SystemFileSystem(), out.fd(), book->head, key());
        WriteContent(writer, empty);
    }
    EXPECT_EQ(ReadWhere(path, key(), empty), kOpens);
}

TEST_F(SealedRecords, APageLargerThanEveryBufferReadsBack) {
    std::mt19937 rng(5);
    std::string big(3 << 20, '\0');
    for (auto& c : big)
        c = static_cast<char>(rng());
    SealedContent large = content;
    large.pages.insert(large.pages.begin() + 1, Record{"big", "a", "b", big, "_"});
    large.pages.push_back({" 5", "after", "the", "big one", "_"});
    WriteSealedBook(path, *book, large);
    EXPECT_EQ(ReadWhere(path, key(), large), kOpens);
    // Skipping over it reads its length only, and lands on the next page.
    FileHandle in = OpenFile(SystemFileSystem(), path, O_RDONLY);
    SealedReader reader(SystemFileSystem(), in.fd(), book->head, key());
    ASSERT_TRUE(reader.skipPage());
    ASSERT_TRUE(reader.skipPage());
    SealedPage page;
    ASSERT_TRUE(reader.nextPage(page));
    EXPECT_EQ(reader.position(), 3);
    EXPECT_EQ(page.text, content.pages[1][3]);
}

TEST_F(SealedRecords, KnownAnswerForOnePage) {
    BookId id{};
    for (std::size_t i = 0; i < id.size(); ++i)
        id[i] = static_cast<unsigned char>(0xA0 + i);
    SecureBytes fixedKey(kKeySize);
    for (std::size_t i = 0; i < kKeySize; ++i)
        fixedKey.data()[i] = static_cast<unsigned char>(i);
    std::array<unsigned char, kNonceSize> nonce{};
    for (std::size_t i = 0; i < nonce.size(); ++i)
        nonce[i] = static_cast<unsigned char>(0x40 + i);
    const SealedHead head = NewHead(id, book->head.slot());
    std::string record;
    detail::AppendSealedRecord(record, head, fixedKey, RecordKind::Page, 3,
                               {" 3", "Monday, 12/7/2026", "11:59:59 PM", "caf\xE9\r\n\"", "_"}, nonce);
    EXPECT_EQ(Hex(record), "4a000000"
                           "404142434445464748494a4b4c4d4e4f5051525354555657"
                           "d6390570f0d368168ff4cad1c1f804ebbe9a9cf63c6e7ca85a03cb4e090423a127c337576fa7bd30affff34c"
                           "0adab990fd8270e24d84b49cb6a3"
                           "0bb0fa2e4c0148c65726cc7adb6696af");

    // The same worked out from libsodium directly, from the layout as documented: the fields each behind a u32
    // length; the book's binding, the kind and the position as additional data.
    std::string plain;
    for (const std::string f : {" 3", "Monday, 12/7/2026", "11:59:59 PM", "caf\xE9\r\n\"", "_"})
        plain += Le(f.size(), 4) + f;
    const std::string ad = std::string("DVLSEAL\0", 8) + Le(1, 4) +
                           std::string(reinterpret_cast<const char*>(id.data()), id.size()) + "\x02" + Le(3, 8);
    std::string cipher(plain.size() + kTagSize, '\0');
    ASSERT_EQ(crypto_aead_xchacha20poly1305_ietf_encrypt(
                  reinterpret_cast<unsigned char*>(cipher.data()), nullptr,
                  reinterpret_cast<const unsigned char*>(plain.data()), plain.size(),
                  reinterpret_cast<const unsigned char*>(ad.data()), ad.size(), nullptr, nonce.data(), fixedKey.data()),
              0);
    EXPECT_EQ(record, Le(cipher.size(), 4) + std::string(nonce.begin(), nonce.end()) + cipher);
}

// A file changed in one place at a time, and where the change must be reported.
struct Tamper {
    const char* name;
    std::function<void(std::string& file, const std::vector<Span>& records, const std::string& other)> change;
    std::int64_t where;
};

void PrintTo(const Tamper& t, std::ostream* os) {
    *os << t.name;
}

void Flip(std::string& file, std::size_t at) {
    file[at] = static_cast<char>(file[at] ^ 0x20);
}

std::string Bytes(const std::string& file, const Span& r) {
    return file.substr(r.offset, r.size);
}

// Replaces the records from `first` on with `records`, in order.
void Relay(std::string& file, const std::vector<Span>& spans, std::size_t first,
           const std::vector<std::string>& records) {
    file.resize(spans[first].offset);
    for (const auto& r : records)
        file += r;
}

// Offsets of a record's parts.
std::size_t LengthOf(const Span& r) {
    return r.offset + 1;
}
std::size_t NonceOf(const Span& r) {
    return r.offset + 4 + 5;
}
std::size_t CipherOf(const Span& r, double at) {
    return r.offset + kRecordPrefixSize +
           static_cast<std::size_t>(at * static_cast<double>(r.size - kRecordPrefixSize - kTagSize));
}
std::size_t TagOf(const Span& r) {
    return r.offset + r.size - 3;
}

const std::vector<Tamper>& Tampers() {
    using R = const std::vector<Span>&;
    static const std::vector<Tamper> cases = {
        {"magic", [](std::string& f, R, auto&) { Flip(f, 2); }, SealedBookDamaged::kInHead},
        {"version", [](std::string& f, R, auto&) { f[8] = 2; }, SealedBookDamaged::kInHead},
        {"book_id", [](std::string& f, R, auto&) { Flip(f, 20); }, SealedBookDamaged::kInHead},
        {"prelude_checksum", [](std::string& f, R, auto&) { Flip(f, 40); }, SealedBookDamaged::kInHead},
        {"slot_generation", [](std::string& f, R, auto&) { Flip(f, kSlotOffset[0]); }, SealedBookDamaged::kInHead},
        {"slot_limits", [](std::string& f, R, auto&) { Flip(f, kSlotOffset[0] + 21); }, SealedBookDamaged::kInHead},
        {"slot_salt", [](std::string& f, R, auto&) { Flip(f, kSlotOffset[0] + 30); }, SealedBookDamaged::kInHead},
        {"slot_wrapped_key", [](std::string& f, R, auto&) { Flip(f, kSlotOffset[0] + 80); },
         SealedBookDamaged::kInHead},
        {"slot_checksum", [](std::string& f, R, auto&) { Flip(f, kSlotOffset[0] + kSlotSize - 1); },
         SealedBookDamaged::kInHead},
        {"unused_slot", [](std::string& f, R, auto&) { Flip(f, kSlotOffset[1] + 50); }, kOpens},
        {"one_tally_copy", [](std::string& f, R, auto&) { Flip(f, kTallyOffset[0] + 3); }, kOpens},
        {"other_tally_copy", [](std::string& f, R, auto&) { Flip(f, kTallyOffset[1] + 40); }, kOpens},
        {"both_tally_copies",
         [](std::string& f, R, auto&) {
             Flip(f, kTallyOffset[0] + 20);
             Flip(f, kTallyOffset[1] + 20);
         },
         SealedBookDamaged::kInHead},
        {"header_length", [](std::string& f, R r, auto&) { Flip(f, LengthOf(r[0])); }, 0},
        {"header_nonce", [](std::string& f, R r, auto&) { Flip(f, NonceOf(r[0])); }, 0},
        {"header_ciphertext", [](std::string& f, R r, auto&) { Flip(f, CipherOf(r[0], 0.5)); }, 0},
        {"header_tag", [](std::string& f, R r, auto&) { Flip(f, TagOf(r[0])); }, 0},
        {"page_length_up", [](std::string& f, R r, auto&) { f[r[2].offset] = static_cast<char>(f[r[2].offset] + 1); },
         2},
        {"page_length_down", [](std::string& f, R r, auto&) { f[r[2].offset] = static_cast<char>(f[r[2].offset] - 1); },
         2},
        {"page_length_huge", [](std::string& f, R r, auto&) { f[r[2].offset + 3] = '\x7F'; }, 2},
        {"page_nonce", [](std::string& f, R r, auto&) { Flip(f, NonceOf(r[2])); }, 2},
        {"page_ciphertext_start", [](std::string& f, R r, auto&) { Flip(f, CipherOf(r[2], 0)); }, 2},
        {"page_ciphertext_middle", [](std::string& f, R r, auto&) { Flip(f, CipherOf(r[2], 0.5)); }, 2},
        {"page_tag", [](std::string& f, R r, auto&) { Flip(f, TagOf(r[2])); }, 2},
        {"last_page_tag", [](std::string& f, R r, auto&) { Flip(f, TagOf(r[3])); }, 3},
        {"cut_inside_the_last_page", [](std::string& f, R r, auto&) { f.resize(r[3].offset + 30); }, 3},
        {"cut_inside_a_length", [](std::string& f, R r, auto&) { f.resize(r[3].offset + 2); }, 3},
        {"cut_after_a_whole_page", [](std::string& f, R r, auto&) { f.resize(r[3].offset); }, 3},
        {"cut_after_the_header", [](std::string& f, R r, auto&) { f.resize(r[1].offset); }, 1},
        {"cut_before_the_header", [](std::string& f, R, auto&) { f.resize(kHeadSize); }, 0},
        {"cut_inside_the_head", [](std::string& f, R, auto&) { f.resize(kTallyOffset[1] + 5); },
         SealedBookDamaged::kInHead},
        {"cut_inside_the_prelude", [](std::string& f, R, auto&) { f.resize(30); }, SealedBookDamaged::kInHead},
        {"bytes_appended", [](std::string& f, R, auto&) { f += "0123456789"; }, 4},
        {"a_page_appended_twice", [](std::string& f, R r, auto&) { f += Bytes(f, r[3]); }, 4},
        {"page_from_another_book",
         [](std::string& f, R r, const std::string& other) {
             Relay(f, r, 2, {Bytes(other, Records(other)[2]), Bytes(f, r[3])});
         },
         2},
        {"pages_reordered",
         [](std::string& f, R r, auto&) {
             Relay(f, r, 2, {Bytes(f, r[3]), Bytes(f, r[2])});
         },
         2},
        {"page_removed", [](std::string& f, R r, auto&) { Relay(f, r, 2, {Bytes(f, r[3])}); }, 2},
        {"page_in_the_headers_place",
         [](std::string& f, R r, auto&) {
             Relay(f, r, 0, {Bytes(f, r[1]), Bytes(f, r[1]), Bytes(f, r[2]), Bytes(f, r[3])});
         },
         0},
        {"header_in_a_pages_place",
         [](std::string& f, R r, auto&) {
             Relay(f, r, 0, {Bytes(f, r[0]), Bytes(f, r[0]), Bytes(f, r[2]), Bytes(f, r[3])});
         },
         1},
    };
    return cases;
}

class SealedTamper : public SealedRecords, public ::testing::WithParamInterface<Tamper> {};

TEST_P(SealedTamper, IsReportedWhereItIsAndNeverReadAsOtherText) {
    const std::string otherPath = tmp.file("other.dvl");
    MakeSealedBook(otherPath, content);
    const std::string other = ReadFileBytes(otherPath);
    std::string file = ReadFileBytes(path);
    const auto records = Records(file);
    ASSERT_EQ(records.size(), 4u);
    GetParam().change(file, records, other);
    ASSERT_NE(file, ReadFileBytes(path));
    WriteFileBytes(path, file);
    EXPECT_EQ(ReadWhere(path, key(), content), GetParam().where);
    if (GetParam().where == kOpens) {
        ForgetKeys();
        EXPECT_TRUE(UnlockFile(path, kSealedPassword));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRegion, SealedTamper, ::testing::ValuesIn(Tampers()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SealedRecords, AnAuthenticRecordWithTheWrongFieldsIsRefused) {
    for (const std::vector<std::string_view>& fields : std::vector<std::vector<std::string_view>>{
             {" 1", "date", "time", "text"}, {" 1", "date", "time", "text", "_", "extra"}}) {
        std::string file = ReadFileBytes(path);
        const auto records = Records(file);
        file.resize(records[1].offset);
        AppendSealedRecord(file, book->head, key(), RecordKind::Page, 1, fields);
        WriteFileBytes(path, file);
        // The tally says three pages; the walk stops at the first one.
        EXPECT_EQ(ReadWhere(path, key(), content), 1) << fields.size() << " fields";
    }
}

TEST_F(SealedRecords, ARecordOverFourGigabytesIsRefusedBeforeAnythingIsTaken) {
    // A gigabyte of zeros the system lends without memory behind it, five times over.
    const std::size_t gigabyte = std::size_t{1} << 30;
    void* zeros = mmap(nullptr, gigabyte, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(zeros, MAP_FAILED);
    const std::string_view huge(static_cast<const char*>(zeros), gigabyte);
    std::string out = "kept";
    try {
        AppendSealedRecord(out, book->head, key(), RecordKind::Page, 1, {huge, huge, huge, huge, huge});
        ADD_FAILURE() << "sealed";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), code::SealedRecordTooLarge);
    }
    EXPECT_EQ(out, "kept");
    munmap(zeros, gigabyte);
}

// Writing.

TEST_F(SealedRecords, ARewriteOfTheHeaderCopiesEveryPageAsItIs) {
    const std::string before = ReadFileBytes(path);
    const std::string scratch = tmp.file("scratch.dvl");
    {
        FileHandle in = OpenFile(SystemFileSystem(), path, O_RDONLY);
        FileHandle out = OpenFile(SystemFileSystem(), scratch, O_RDWR | O_CREAT | O_EXCL, 0600);
        SealedReader reader(SystemFileSystem(), in.fd(), book->head, key());
        SealedWriter writer(SystemFileSystem(), out.fd(), book->head, key());
        const SealedHeader h = reader.readHeader();
        writer.writeHeader({h.folder, "A new cover", h.lastAccess, h.flags});
        SealedPage page;
        while (reader.nextPage(page))
            writer.copyPage(reader);
        EXPECT_EQ(writer.finish(), 3);
    }
    SealedContent expected = content;
    expected.header[1] = "A new cover";
    EXPECT_EQ(ReadWhere(scratch, key(), expected), kOpens);
    const std::string after = ReadFileBytes(scratch);
    const auto was = Records(before);
    const auto now = Records(after);
    ASSERT_EQ(now.size(), 4u);
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_EQ(Bytes(after, now[i]), Bytes(before, was[i])) << "page " << i;
}

TEST_F(SealedRecords, APageIsCopiedOnlyToItsOwnPlaceInItsOwnBook) {
    const std::string otherPath = tmp.file("other.dvl");
    const NewBook other = MakeSealedBook(otherPath, content);
    FileHandle in = OpenFile(SystemFileSystem(), path, O_RDONLY);
    FileHandle otherIn = OpenFile(SystemFileSystem(), otherPath, O_RDONLY);
    FileHandle out = OpenFile(SystemFileSystem(), tmp.file("out.dvl"), O_RDWR | O_CREAT, 0600);
    SealedWriter writer(SystemFileSystem(), out.fd(), book->head, key());
    SealedPage page;
    EXPECT_THROW(writer.writePage(page), RuntimeError) << "the header comes first";
    writer.writeHeader({});

    SealedReader fromOther(SystemFileSystem(), otherIn.fd(), other.head, other.key);
    ASSERT_TRUE(fromOther.nextPage(page));
    EXPECT_THROW(writer.copyPage(fromOther), RuntimeError) << "another book";

    SealedReader reader(SystemFileSystem(), in.fd(), book->head, key());
    ASSERT_TRUE(reader.skipPage());
    EXPECT_THROW(writer.copyPage(reader), RuntimeError) << "skipped, not opened";
    ASSERT_TRUE(reader.nextPage(page));
    EXPECT_THROW(writer.copyPage(reader), RuntimeError) << "page 2 in page 1's place";
}

TEST_F(SealedRecords, ARewriteCarriesOnlyTheSlotInForce) {
    // A password change whose old slot could not be cleared leaves both slots whole.
    SealedHead both = book->head;
    KeySlot stale = both.slot();
    stale.generation = 0;
    const auto staleBytes = SlotBytes(stale);
    std::copy(staleBytes.begin(), staleBytes.end(), both.bytes.begin() + kSlotOffset[1]);
    both = ParseSealedHead(both.bytes);
    ASSERT_TRUE(both.keySlots[1]);
    WriteSealedBook(path, NewBook{both, key().copy()}, content);
    const std::string file = ReadFileBytes(path);
    EXPECT_EQ(file.substr(kSlotOffset[1], kSlotSize), std::string(kSlotSize, '\0'));
    EXPECT_EQ(file.substr(0, kSlotOffset[1]),
              std::string(reinterpret_cast<const char*>(book->head.bytes.data()), kSlotOffset[1]));
}

// Appending.

std::int64_t Count(const std::string& path, const SealedHead& head, const SecureBytes& key) {
    FileHandle in = OpenFile(SystemFileSystem(), path, O_RDONLY);
    return CountSealedPages(SystemFileSystem(), in.fd(), head, key);
}

void Append(const std::string& path, const SealedHead& head, const SecureBytes& key, const Record& page,
            std::int64_t expectedPosition) {
    FileHandle f = OpenFile(SystemFileSystem(), path, O_RDWR);
    SealedAppender appender(SystemFileSystem(), f.fd(), head, key);
    EXPECT_EQ(appender.nextPosition(), expectedPosition);
    appender.append({page[0], page[1], page[2], page[3], page[4]});
}

TEST_F(SealedRecords, AppendedPagesFollowInOrderAndTheTallyKeepsCount) {
    SealedContent expected = content;
    for (int n = 4; n <= 6; ++n) {
        const Record page{" " + std::to_string(n), "Tuesday", "8:00 AM", "page " + std::to_string(n), "_"};
        Append(path, book->head, key(), page, n);
        expected.pages.push_back(page);
        EXPECT_EQ(Count(path, book->head, key()), n);
    }
    EXPECT_EQ(ReadWhere(path, key(), expected), kOpens);
    // Each append wrote the tally copy not in force; both are whole and the newer counts every page.
    const SealedHead head = ParseSealedHead([&] {
        const std::string f = ReadFileBytes(path);
        return std::vector<unsigned char>(f.begin(), f.end());
    }());
    const auto tally = NewestTally(head, key());
    ASSERT_TRUE(tally);
    EXPECT_EQ(tally->tally.pages, 6u);
    EXPECT_EQ(tally->tally.end, ReadFileBytes(path).size());

    // A book without pages takes page 1.
    const SealedContent empty{{"", "", "", ""}, {}};
    WriteSealedBook(path, *book, empty);
    Append(path, book->head, key(), content.pages[0], 1);
    SealedContent one = empty;
    one.pages.push_back(content.pages[0]);
    EXPECT_EQ(ReadWhere(path, key(), one), kOpens);
}

TEST_F(SealedRecords, APageWhoseTallyUpdateWasLostIsStillCountedAndFollowed) {
    const std::string before = ReadFileBytes(path);
    const Record page4{" 4", "d", "t", "four", "_"};
    Append(path, book->head, key(), page4, 4);
    // As if the tally write had never reached the disk.
    std::string file = ReadFileBytes(path);
    file.replace(kTallyOffset[0], kHeadSize - kTallyOffset[0],
                 before.substr(kTallyOffset[0], kHeadSize - kTallyOffset[0]));
    WriteFileBytes(path, file);
    EXPECT_EQ(Count(path, book->head, key()), 4);
    SealedContent expected = content;
    expected.pages.push_back(page4);
    EXPECT_EQ(ReadWhere(path, key(), expected), kOpens);
    const Record page5{" 5", "d", "t", "five", "_"};
    Append(path, book->head, key(), page5, 5);
    expected.pages.push_back(page5);
    EXPECT_EQ(ReadWhere(path, key(), expected), kOpens);
}

TEST_F(SealedRecords, NothingIsAppendedAfterAPageCutShortOrOneThatFails) {
    const NewBook other = MakeBook(kSealedPassword, FastKdf());
    std::string foreign;
    AppendSealedRecord(foreign, other.head, other.key, RecordKind::Page, 4, {" 4", "", "", "", "_"});
    for (const std::string& tail : {std::string("\x40\0\0\0", 4) + "cut", foreign}) {
        std::string file = ReadFileBytes(path);
        file += tail;
        WriteFileBytes(path, file);
        FileHandle f = OpenFile(SystemFileSystem(), path, O_RDWR);
        try {
            SealedAppender appender(SystemFileSystem(), f.fd(), book->head, key());
            ADD_FAILURE() << "an appender was made";
        } catch (const SealedBookDamaged& e) {
            EXPECT_EQ(e.where(), 4);
        }
        EXPECT_EQ(ReadFileBytes(path), file);
        file.resize(file.size() - tail.size());
        WriteFileBytes(path, file);
    }
}

} // namespace
