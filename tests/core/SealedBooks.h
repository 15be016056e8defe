// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Record.h"
#include "core/SealedKeys.h"
#include "core/SealedRecords.h"

#include <fcntl.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace dayvell::test {

inline constexpr const char* kSealedPassword = "correct horse";

// The cheapest limits a slot may have, so that tests that are not about the password hash run fast.
inline sealed::KdfLimits FastKdf() {
    return sealed::KdfLimits::WeakForTests(1, sealed::kMinMemlimit);
}

// A sealed book's content as plain values: header fields (folder, cover name, last access, flags), then each page's
// five fields.
struct SealedContent {
    std::array<std::string, 4> header;
    std::vector<Record> pages;
    bool operator==(const SealedContent&) const = default;
};

inline std::string AllBytes() {
    std::string s;
    for (int c = 0; c < 256; ++c)
        s += static_cast<char>(c);
    return s;
}

// Three pages: one line, several lines, and every byte value (a sealed book carries any byte in any field).
inline SealedContent SampleContent() {
    return {{"/home/ann/diaries/", "Ann's \x93little\x94 book", "12/5/2026", "0111111"},
            {{" 1", "Saturday, 12/5/2026", "1:46:33 PM", "Dear diary, today was a long day.", "_"},
             {" 2", "Sunday, 12/6/2026", "9:05:00 AM", "Line one\r\nLine two\r\n\r\nLast line", "_"},
             {" 3", AllBytes(), "", AllBytes() + "\"\r\n", "_"}}};
}

// What tests/data/sealed/golden-v1.dvl holds under kSealedPassword, with the production limits. Kept as it is: the
// file was written once by tests/tools/make_sealed_book.cpp and is read by every later version.
inline SealedContent GoldenContent() {
    return {{"/home/ann/diaries/", "Ann's \x93little\x94 book", "12/5/2026", "0111111"},
            {{" 1", "Saturday, 12/5/2026", "1:46:33 PM", "Dear diary, today was a long day.", "_"},
             {" 2", "Sunday, 12/6/2026", "9:05:00 AM", "Line one\r\nLine two\r\n\r\nLast line", "_"},
             {" 3", "Monday, 12/7/2026", "11:59:59 PM", AllBytes(), "_"},
             {" 4", "", "", "", ""}}};
}

inline void WriteContent(sealed::SealedWriter& writer, const SealedContent& content) {
    writer.writeHeader({content.header[0], content.header[1], content.header[2], content.header[3]});
    for (const Record& p : content.pages)
        writer.writePage({p[0], p[1], p[2], p[3], p[4]});
    writer.finish();
}

// Writes `content` as a new sealed book at `path` under `book`'s head and key.
inline void WriteSealedBook(const std::string& path, const sealed::NewBook& book, const SealedContent& content) {
    FileHandle out = OpenFile(SystemFileSystem(), path, O_RDWR | O_CREAT | O_TRUNC, 0600);
    sealed::SealedWriter writer(SystemFileSystem(), out.fd(), book.head, book.key);
    WriteContent(writer, content);
    out.close();
}

// A new book answering to `password`, written at `path`.
inline sealed::NewBook MakeSealedBook(const std::string& path, const SealedContent& content,
                                      std::string_view password = kSealedPassword,
                                      const sealed::KdfLimits& limits = FastKdf()) {
    sealed::NewBook book = sealed::MakeBook(password, limits);
    WriteSealedBook(path, book, content);
    return book;
}

// Reads the whole book at `path` with `key` into `read`, page by page, so that whatever the reader gave out before
// it stopped can be looked at. Throws what the reader throws.
inline void ReadSealedContent(const std::string& path, const SecureBytes& key, SealedContent& read) {
    FileHandle in = OpenFile(SystemFileSystem(), path, O_RDONLY);
    const sealed::SealedHead head = sealed::ReadSealedHead(SystemFileSystem(), in.fd());
    sealed::SealedReader reader(SystemFileSystem(), in.fd(), head, key);
    const sealed::SealedHeader h = reader.readHeader();
    read.header = {std::string(h.folder), std::string(h.coverName), std::string(h.lastAccess), std::string(h.flags)};
    sealed::SealedPage p;
    while (reader.nextPage(p))
        read.pages.push_back({std::string(p.number), std::string(p.date), std::string(p.time), std::string(p.text),
                              std::string(p.endMark)});
}

// The key `password` unwraps from the book at `path`; nothing for a wrong password.
inline std::optional<SecureBytes> UnlockFile(const std::string& path, std::string_view password) {
    FileHandle in = OpenFile(SystemFileSystem(), path, O_RDONLY);
    return sealed::Unlock(sealed::ReadSealedHead(SystemFileSystem(), in.fd()), password);
}

} // namespace dayvell::test
