// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileSystem.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dayvell {

// One line of a book file: five double-quoted fields separated by commas, ended by CR LF, one byte a character.
using Record = std::array<std::string, 5>;
// A record's fields as they lie in a reader's buffer: valid until the reader's next call.
using RecordView = std::array<std::string_view, 5>;

// A record read as views into a reader's buffer, some of whose fields are replaced by new text kept here: a change
// copies only what it changes.
class RecordEdit {
public:
    RecordView field;
    void replace(size_t i, std::string text) {
        m_owned[i] = std::move(text);
        field[i] = m_owned[i];
    }
    // Gives back what the last record's replacements held.
    void release() {
        for (auto& s : m_owned)
            std::string().swap(s);
    }

private:
    Record m_owned;
};

// Appends the bytes of `record` to `out`. Throws RuntimeError 5 when a field holds a double quote or a line
// break, which would make the file unreadable.
void AppendRecord(std::string& out, const Record& record);
std::string FormatRecord(const Record& record);

// Parses `bytes` as exactly one record, with the reader's grammar: five quoted fields, then a line end or nothing.
// False when they are anything else; `fields` are then meaningless.
bool ParseWholeRecord(std::string_view bytes, RecordView& fields);

// Reads records from an open file, strictly: anything that is not five quoted fields, or a file that ends inside a
// record, is error 62. Memory stays bounded by the largest record and one read's worth: the buffer grows in place
// (without a second copy of what it holds), and a record that arrives in many short reads is parsed onward from
// where the last read ended, never again from its start.
class RecordReader {
public:
    RecordReader(FileSystem& fs, int fd);
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;
    // Reads the next record; false at a clean end of file.
    bool next(Record& record);
    // The same without copying: the fields stay valid until the next call.
    bool next(RecordView& record);
    // Skips the next record; false at a clean end of file.
    bool skip();
    // How many bytes of the file have been read so far: after a clean end of file, the length the file had then.
    std::uint64_t bytesRead() const { return m_bytesRead; }

private:
    enum class Parse { Complete, NeedMore };
    // Where the parse of the record at the read position stands; offsets count from the read position.
    enum class Stage { BeforeField, InField, AfterField, AfterCr };
    Parse parse(size_t& length);
    // Keeps the unread bytes and reads more after them, growing the buffer when one record fills it.
    void readMore();
    [[noreturn]] static void malformed();

    FileSystem& m_fs;
    int m_fd;
    char* m_data = nullptr;
    size_t m_capacity = 0;
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_eof = false;
    std::uint64_t m_bytesRead = 0;
    Stage m_stage = Stage::BeforeField;
    size_t m_field = 0;
    size_t m_scan = 0;
    std::array<size_t, 5> m_start{};
    std::array<size_t, 5> m_length{};
};

// Buffers records and writes them to an open file in large pieces; a field too large for the buffer goes to the
// file directly, so that it is never held twice.
class RecordWriter {
public:
    // Writes at the file's offset.
    RecordWriter(FileSystem& fs, int fd) : m_fs(fs), m_fd(fd) {}
    // Writes from `at` on, whatever the file's offset: for adding to a file open for reading and writing.
    RecordWriter(FileSystem& fs, int fd, off_t at) : m_fs(fs), m_fd(fd), m_at(at) {}
    void write(const Record& record);
    void write(const RecordView& record);
    void flush();

private:
    void put(const char* data, size_t size);

    FileSystem& m_fs;
    int m_fd;
    // Where the next bytes go, or -1 for the file's offset.
    off_t m_at = -1;
    std::string m_buffer;
};

} // namespace dayvell
