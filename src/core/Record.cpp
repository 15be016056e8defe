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

// Parses one record starting at the read position. A record is taken only whole: when the bytes end before it
// does, more must be read (or, at the end of the file, the file is damaged).
RecordReader::Parse RecordReader::parse(RecordView& record, size_t& length) const {
    const char* const begin = m_buffer.data() + m_pos;
    const char* const end = m_buffer.data() + m_end;
    const char* p = begin;
    auto incomplete = [&] {
        if (m_eof)
            malformed();
        return Parse::NeedMore;
    };
    for (size_t i = 0; i < record.size(); ++i) {
        while (p < end && *p == ' ')
            ++p;
        if (p == end)
            return incomplete();
        if (*p != '"')
            malformed();
        ++p;
        const auto* quote = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
        if (!quote)
            return incomplete();
        record[i] = std::string_view(p, static_cast<size_t>(quote - p));
        p = quote + 1;
        if (i + 1 < record.size()) {
            if (p == end)
                return incomplete();
            if (*p != ',')
                malformed();
            ++p;
        }
    }
    // A record ends with CR LF; the last record of a file may also end at the end of the file.
    if (p == end) {
        if (!m_eof)
            return Parse::NeedMore;
    } else {
        if (*p != '\r')
            malformed();
        if (++p == end)
            return incomplete();
        if (*p != '\n')
            malformed();
        ++p;
    }
    length = static_cast<size_t>(p - begin);
    return Parse::Complete;
}

void RecordReader::readMore() {
    if (m_pos > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    if (m_end == m_buffer.size())
        m_buffer.resize(m_buffer.size() * 2);
    ssize_t n = m_fs.read(m_fd, m_buffer.data() + m_end, m_buffer.size() - m_end);
    if (n < 0)
        throw ErrnoError(errno);
    if (n == 0)
        m_eof = true;
    m_end += static_cast<size_t>(n);
}

bool RecordReader::next(RecordView& record) {
    while (true) {
        if (m_pos == m_end) {
            if (m_eof)
                return false;
            readMore();
            if (m_pos == m_end)
                return false;
        }
        size_t length = 0;
        if (parse(record, length) == Parse::Complete) {
            m_pos += length;
            return true;
        }
        readMore();
    }
}

bool RecordReader::next(Record& record) {
    RecordView view;
    if (!next(view))
        return false;
    for (size_t i = 0; i < record.size(); ++i)
        record[i].assign(view[i]);
    return true;
}

bool RecordReader::skip() {
    RecordView view;
    return next(view);
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
