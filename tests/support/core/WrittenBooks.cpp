// SPDX-License-Identifier: GPL-3.0-or-later
#include "WrittenBooks.h"

#include "core/Book.h"
#include "core/Codec.h"
#include "core/DescribedFormat.h"
#include "core/Record.h"
#include "core/RuntimeError.h"
#include "core/TempDir.h"

#include <fcntl.h>

namespace dayvell::test {

int ErrorCode(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.code();
    }
    return 0;
}

std::string HeaderLine(const std::string& key, const std::string& folder, const std::string& cover,
                       const std::string& flags) {
    return FormatRecord({Encode(kCheckPhrase, key), Encode(folder, key), Encode(cover, key), Encode("1/1/2026", key),
                         Encode(flags, key)});
}

std::string PageLine(const std::string& key, const std::string& number, const std::string& text) {
    return FormatRecord(
        {Encode(number, key), Encode("Saturday, 12/5/2026", key), Encode("1:46:33 PM", key), Encode(text, key), "_"});
}

std::string PlainContent(const std::string& path, const std::string& password) {
    const Book book(path, password);
    const BookHeader h = book.readHeader();
    std::string all = h.directory + '\x1f' + h.coverName + '\x1f' + h.lastAccess + '\x1f' + h.flags + '\n';
    book.forEachPage([&](std::int64_t, const PageView& p) {
        for (const std::string_view f : {p.number, p.date, p.time, p.text, p.endMark})
            (all += f) += '\x1f';
        all += '\n';
        return true;
    });
    return all;
}

std::string BookState(const std::string& path, const std::vector<std::string>& passwords) {
    try {
        if (Book(path, {}).kind() == BookKind::Described)
            return ReadFileBytes(path);
        for (const std::string& password : passwords) {
            const Book book(path, password);
            if (!book.checkPassword())
                continue;
            return "a sealed book opened by " + password + ":\n" + PlainContent(path, password);
        }
        return "a sealed book that none of the passwords opens";
    } catch (const RuntimeError& e) {
        return "a book that cannot be read: " + e.description();
    }
}

std::vector<Record> StoredRecords(const std::string& path) {
    FileHandle in = OpenFile(SystemFileSystem(), path, O_RDONLY);
    RecordReader reader(SystemFileSystem(), in.fd());
    std::vector<Record> records;
    for (Record r; reader.next(r);)
        records.push_back(r);
    return records;
}

} // namespace dayvell::test
