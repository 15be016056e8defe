// SPDX-License-Identifier: GPL-3.0-or-later
#include "Record.h"

#include "RuntimeError.h"

#include <cerrno>
#include <cstring>

namespace dayvell {

namespace {
constexpr size_t kReadBuffer = 1 << 16;
constexpr size_t kWriteBuffer = 1 << 20;
} // namespace

void AppendRecord(std::string& out, const Record& record) {
    for (size_t i = 0; i < record.size(); ++i) {
        const std::string& f = record[i];
        if (std::memchr(f.data(), '"', f.size()) || std::memchr(f.data(), '\r', f.size()) ||
            std::memchr(f.data(), '\n', f.size()))
            throw RuntimeError(code::InvalidArgument, "A field holds a quote or a line break and cannot be stored");
        if (i > 0)
            out += ',';
        out += '"';
        out += f;
        out += '"';
    }
    out += "\r\n";
}

std::string FormatRecord(const Record& record) {
    std::string s;
    AppendRecord(s, record);
    return s;
}

RecordReader::RecordReader(FileSystem& fs, int fd) : m_fs(fs), m_fd(fd), m_buffer(kReadBuffer) {}

void RecordReader::malformed() {
    throw RuntimeError(code::PastEndOfFile);
}

bool RecordReader::fill() {
    if (m_eof)
        return false;
    m_pos = 0;
    m_end = 0;
    ssize_t n = m_fs.read(m_fd, m_buffer.data(), m_buffer.size());
    if (n < 0)
        throw ErrnoError(errno);
    if (n == 0) {
        m_eof = true;
        return false;
    }
    m_end = static_cast<size_t>(n);
    return true;
}

bool RecordReader::atEnd() {
    return m_pos == m_end && !fill();
}

template <bool Keep> void RecordReader::readField(std::string* field) {
    while (true) {
        if (atEnd())
            malformed();
        if (m_buffer[m_pos] != ' ')
            break;
        ++m_pos;
    }
    if (m_buffer[m_pos] != '"')
        malformed();
    ++m_pos;
    if constexpr (Keep)
        field->clear();
    while (true) {
        if (atEnd())
            malformed();
        const char* start = m_buffer.data() + m_pos;
        const void* quote = std::memchr(start, '"', m_end - m_pos);
        size_t len = quote ? static_cast<size_t>(static_cast<const char*>(quote) - start) : m_end - m_pos;
        if constexpr (Keep)
            field->append(start, len);
        m_pos += len;
        if (quote) {
            ++m_pos;
            return;
        }
    }
}

template <bool Keep> bool RecordReader::readRecord(Record* record) {
    if (atEnd())
        return false;
    for (size_t i = 0; i < 5; ++i) {
        readField<Keep>(Keep ? &(*record)[i] : nullptr);
        if (i < 4) {
            if (atEnd() || m_buffer[m_pos] != ',')
                malformed();
            ++m_pos;
        }
    }
    // A record ends with CR LF; the last record of a file may also end at the end of the file.
    if (atEnd())
        return true;
    if (m_buffer[m_pos] != '\r')
        malformed();
    ++m_pos;
    if (atEnd() || m_buffer[m_pos] != '\n')
        malformed();
    ++m_pos;
    return true;
}

bool RecordReader::next(Record& record) {
    return readRecord<true>(&record);
}
bool RecordReader::skip() {
    return readRecord<false>(nullptr);
}

void RecordWriter::write(const Record& record) {
    AppendRecord(m_buffer, record);
    if (m_buffer.size() >= kWriteBuffer)
        flush();
}

void RecordWriter::flush() {
    WriteAll(m_fs, m_fd, m_buffer.data(), m_buffer.size());
    m_buffer.clear();
}

} // namespace dayvell
