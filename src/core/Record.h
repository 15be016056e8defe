// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileSystem.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace dayvell {

// One line of a book file: five double-quoted fields separated by commas, ended by CR LF, one byte a character.
using Record = std::array<std::string, 5>;
// A record's fields as they lie in a reader's buffer: valid until the reader's next call.
using RecordView = std::array<std::string_view, 5>;

// Appends the bytes of `record` to `out`. Throws RuntimeError 5 when a field holds a double quote or a line
// break, which would make the file unreadable.
void AppendRecord(std::string& out, const Record& record);
std::string FormatRecord(const Record& record);

// Reads records from an open file, strictly: anything that is not five quoted fields, or a file that ends inside a
// record, is error 62. Memory stays bounded by the buffer and the largest record.
class RecordReader {
public:
    RecordReader(FileSystem& fs, int fd);
    // Reads the next record; false at a clean end of file.
    bool next(Record& record);
    // The same without copying: the fields stay valid until the next call.
    bool next(RecordView& record);
    // Skips the next record; false at a clean end of file.
    bool skip();

private:
    enum class Parse { Complete, NeedMore };
    Parse parse(RecordView& record, size_t& length) const;
    // Keeps the unread bytes and reads more after them, growing the buffer when one record fills it.
    void readMore();
    [[noreturn]] static void malformed();

    FileSystem& m_fs;
    int m_fd;
    std::vector<char> m_buffer;
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_eof = false;
};

// Buffers records and writes them to an open file in large pieces.
class RecordWriter {
public:
    RecordWriter(FileSystem& fs, int fd) : m_fs(fs), m_fd(fd) {}
    void write(const Record& record);
    void flush();

private:
    FileSystem& m_fs;
    int m_fd;
    std::string m_buffer;
};

} // namespace dayvell
