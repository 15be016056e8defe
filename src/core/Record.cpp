// SPDX-License-Identifier: GPL-3.0-or-later
#include "Record.h"

#include "RuntimeError.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace dayvell {

namespace {
constexpr size_t kReadBuffer = 1 << 16;
constexpr size_t kWriteBuffer = 1 << 20;
} // namespace

namespace {

void RefuseUnstorable(std::string_view f) {
    if (std::memchr(f.data(), '"', f.size()) || std::memchr(f.data(), '\r', f.size()) ||
        std::memchr(f.data(), '\n', f.size()))
        throw RuntimeError(code::InvalidArgument, "A field holds a quote or a line break and cannot be stored");
}

template <class Fields> void AppendFields(std::string& out, const Fields& record) {
    for (const auto& f : record)
        RefuseUnstorable(f);
    for (size_t i = 0; i < record.size(); ++i) {
        if (i > 0)
            out += ',';
        out += '"';
        out += record[i];
        out += '"';
    }
    out += "\r\n";
}

RecordView View(const Record& record) {
    RecordView v;
    for (size_t i = 0; i < record.size(); ++i)
        v[i] = record[i];
    return v;
}

} // namespace

void AppendRecord(std::string& out, const Record& record) {
    AppendFields(out, record);
}

std::string FormatRecord(const Record& record) {
    std::string s;
    AppendRecord(s, record);
    return s;
}

bool ParseWholeRecord(std::string_view bytes, RecordView& fields) {
    std::size_t p = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            if (p == bytes.size() || bytes[p] != ',')
                return false;
            ++p;
        }
        while (p < bytes.size() && bytes[p] == ' ')
            ++p;
        if (p == bytes.size() || bytes[p] != '"')
            return false;
        const std::size_t close = bytes.find('"', p + 1);
        if (close == std::string_view::npos)
            return false;
        fields[i] = bytes.substr(p + 1, close - p - 1);
        p = close + 1;
    }
    return p == bytes.size() || bytes.substr(p) == "\r\n";
}

RecordReader::RecordReader(FileSystem& fs, int fd) : m_fs(fs), m_fd(fd) {}

RecordReader::~RecordReader() {
    std::free(m_data);
}

void RecordReader::malformed() {
    throw RuntimeError(code::PastEndOfFile);
}

// Parses the record at the read position, going on from where the last call stopped. A record is taken only
// whole: when the bytes end before it does, more must be read (or, at the end of the file, the file is damaged).
RecordReader::Parse RecordReader::parse(size_t& length) {
    const char* const base = m_data + m_pos;
    const size_t end = m_end - m_pos;
    size_t p = m_scan;
    auto incomplete = [&] {
        if (m_eof)
            malformed();
        m_scan = p;
        return Parse::NeedMore;
    };
    while (true) {
        switch (m_stage) {
        case Stage::BeforeField:
            while (p < end && base[p] == ' ')
                ++p;
            if (p == end)
                return incomplete();
            if (base[p] != '"')
                malformed();
            m_start[m_field] = ++p;
            m_stage = Stage::InField;
            break;
        case Stage::InField: {
            const auto* quote = static_cast<const char*>(std::memchr(base + p, '"', end - p));
            if (!quote) {
                p = end;
                return incomplete();
            }
            p = static_cast<size_t>(quote - base);
            m_length[m_field] = p - m_start[m_field];
            ++p;
            m_stage = Stage::AfterField;
            break;
        }
        case Stage::AfterField:
            if (m_field + 1 < m_start.size()) {
                if (p == end)
                    return incomplete();
                if (base[p] != ',')
                    malformed();
                ++p;
                ++m_field;
                m_stage = Stage::BeforeField;
                break;
            }
            // A record ends with CR LF; the last record of a file may also end at the end of the file.
            if (p == end) {
                if (!m_eof) {
                    m_scan = p;
                    return Parse::NeedMore;
                }
                length = p;
                return Parse::Complete;
            }
            if (base[p] != '\r')
                malformed();
            ++p;
            m_stage = Stage::AfterCr;
            break;
        case Stage::AfterCr:
            if (p == end)
                return incomplete();
            if (base[p] != '\n')
                malformed();
            length = p + 1;
            return Parse::Complete;
        }
    }
}

void RecordReader::readMore() {
    if (m_pos > 0) {
        std::memmove(m_data, m_data + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    if (m_end == m_capacity) {
        // realloc moves a large block by remapping its pages: the record is never held twice while it grows.
        const size_t grown = m_capacity == 0 ? kReadBuffer : m_capacity * 2;
        void* p = std::realloc(m_data, grown);
        if (!p)
            throw std::bad_alloc();
        m_data = static_cast<char*>(p);
        m_capacity = grown;
    }
    ssize_t n = m_fs.read(m_fd, m_data + m_end, m_capacity - m_end);
    if (n < 0)
        throw ErrnoError(errno);
    if (n == 0)
        m_eof = true;
    m_end += static_cast<size_t>(n);
    m_bytesRead += static_cast<std::uint64_t>(n);
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
        if (parse(length) == Parse::Complete) {
            for (size_t i = 0; i < record.size(); ++i)
                record[i] = std::string_view(m_data + m_pos + m_start[i], m_length[i]);
            m_pos += length;
            m_stage = Stage::BeforeField;
            m_field = 0;
            m_scan = 0;
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
    write(View(record));
}

void RecordWriter::write(const RecordView& record) {
    size_t total = 0;
    for (const auto& f : record)
        total += f.size();
    if (total < kWriteBuffer) {
        AppendFields(m_buffer, record);
    } else {
        for (const auto& f : record)
            RefuseUnstorable(f);
        for (size_t i = 0; i < record.size(); ++i) {
            m_buffer += i > 0 ? ",\"" : "\"";
            if (record[i].size() >= kWriteBuffer / 2) {
                flush();
                put(record[i].data(), record[i].size());
            } else {
                m_buffer += record[i];
            }
            m_buffer += '"';
        }
        m_buffer += "\r\n";
    }
    if (m_buffer.size() >= kWriteBuffer)
        flush();
}

void RecordWriter::flush() {
    put(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
}

void RecordWriter::put(const char* data, size_t size) {
    if (m_at < 0) {
        WriteAll(m_fs, m_fd, data, size);
        return;
    }
    WriteAllAt(m_fs, m_fd, data, size, m_at);
    m_at += static_cast<off_t>(size);
}

} // namespace dayvell
