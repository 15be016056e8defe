// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileSystem.h"
#include "Record.h"

#include <optional>
#include <string>

namespace dayvell {

// The start of a book file, read leniently and without moving the file's offset: the header's fields as far as they
// are well formed, and the stamps of the first page. A key can be checked on a book whose later records, or even
// some header fields, are damaged, so that what is left of it can still be rescued.
class BookHead {
public:
    BookHead(FileSystem& fs, int fd) : m_fs(fs), m_fd(fd) {}
    BookHead(const BookHead&) = delete;
    BookHead& operator=(const BookHead&) = delete;

    // The header's fields as far as they are well formed, the rest empty; valid while this object lives. Error 62
    // when not even the first field is whole.
    const RecordView& header();
    // Whether the header is five fields ended by a line end or the end of the file.
    bool headerWhole();
    // The number, date line, time and as much of the text as lies within the first 64 KiB of the first page record
    // (the end mark empty); nothing when the header is not whole, the book has no page, or its stamps are not well
    // formed within that piece.
    std::optional<Record> firstPageStamps();

private:
    struct Buffer {
        std::string bytes;
        off_t from = 0;
        std::size_t most = 0;
    };
    // Makes `buffer` hold byte `pos`, reading more up to its bound; false when the file or the bound ends first.
    bool reach(Buffer& buffer, std::size_t pos);
    // The fields of the record at the start of `buffer`, up to `count` of them: how many are whole, and where the
    // last one ends.
    std::size_t parse(Buffer& buffer, std::size_t count, RecordView& fields, std::size_t& end);

    FileSystem& m_fs;
    int m_fd;
    bool m_read = false;
    bool m_whole = false;
    std::size_t m_headerEnd = 0;
    Buffer m_header;
    RecordView m_fields;
};

} // namespace dayvell
