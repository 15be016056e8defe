// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a sealed book that has been changed anyhow: a real book with bytes flipped, cut off or added (first byte
// even), or arbitrary bytes (odd). Whatever the file, reading it ends in the book exactly as it was written or in a
// sealed-book error; no page is ever given out that differs from the one written at its place, and nothing crashes.
#include "FuzzSupport.h"

#include "../core/SealedBooks.h"

using namespace dayvell;
using namespace dayvell::fuzz;
using namespace dayvell::sealed;

namespace {

struct Original {
    NewBook book;
    test::SealedContent content = test::SampleContent();
    std::string bytes;
};

const Original& TheBook() {
    static const Original original = [] {
        Original o{MakeBook(test::kSealedPassword, test::FastKdf()), test::SampleContent(), {}};
        const std::string path = ScratchFolder() + "/original.dvl";
        test::WriteSealedBook(path, o.book, o.content);
        o.bytes = ReadFile(path);
        return o;
    }();
    return original;
}

bool SealedError(int code) {
    return code == code::SealedBookDamaged || code == code::NewerSealedBook || code == code::KdfLimitsOutOfRange;
}

std::size_t Offset(Input& in, std::size_t size) {
    const std::size_t high = in.byte();
    return size == 0 ? 0 : ((high << 8) | in.byte()) % size;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Original& original = TheBook();
    Input in(data, size);
    std::string bytes;
    if (in.byte() % 2 == 0) {
        bytes = original.bytes;
        const int flips = in.byte() % 8;
        for (int i = 0; i < flips; ++i) {
            const std::size_t at = Offset(in, bytes.size());
            bytes[at] = static_cast<char>(bytes[at] ^ in.byte());
        }
        const std::uint8_t ending = in.byte();
        if (ending & 1)
            bytes.resize(Offset(in, bytes.size() + 1));
        if (ending & 2)
            bytes += in.rest();
    } else {
        bytes = in.rest();
    }
    const std::string path = ScratchFolder() + "/sealed.dvl";
    WriteFile(path, bytes);

    test::SealedContent read;
    const auto error = Attempt([&] { test::ReadSealedContent(path, original.book.key, read); });
    if (!error) {
        FUZZ_CHECK(read == original.content);
    } else {
        FUZZ_CHECK(SealedError(*error));
        // What was given out before the failure is the book's own, page for page.
        FUZZ_CHECK(read.pages.size() <= original.content.pages.size());
        for (std::size_t i = 0; i < read.pages.size(); ++i)
            FUZZ_CHECK(read.pages[i] == original.content.pages[i]);
        if (!read.pages.empty())
            FUZZ_CHECK(read.header == original.content.header);
    }

    std::int64_t count = -1;
    std::optional<SealedHead> head;
    const auto headError = Attempt([&] {
        FileHandle f = OpenFile(SystemFileSystem(), path, O_RDONLY);
        head = ReadSealedHead(SystemFileSystem(), f.fd());
        count = CountSealedPages(SystemFileSystem(), f.fd(), *head, original.book.key);
    });
    if (headError)
        FUZZ_CHECK(SealedError(*headError));
    if (!error)
        FUZZ_CHECK(count == static_cast<std::int64_t>(original.content.pages.size()));
    if (head && head->id == original.book.head.id) {
        // The book's own slot is the only one whole in it: its password gives the book's key or nothing.
        const auto key = Unlock(*head, test::kSealedPassword);
        FUZZ_CHECK(!key || key->equals(original.book.key));
    }
    return 0;
}
