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
    // Skips the next record without keeping its fields; false at a clean end of file.
    bool skip();

private:
    template <bool Keep> bool readRecord(Record* record);
    template <bool Keep> void readField(std::string* field);
    bool fill();
    bool atEnd();
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
