// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookHead.h"

#include "RuntimeError.h"

#include <cerrno>
#include <cstring>
#include <limits>

namespace dayvell {

namespace {
constexpr std::size_t kPiece = 1 << 16;
constexpr std::size_t kFields = 5;
} // namespace

bool BookHead::reach(Buffer& buffer, std::size_t pos) {
    while (buffer.bytes.size() <= pos) {
        if (buffer.bytes.size() >= buffer.most)
            return false;
        const std::size_t old = buffer.bytes.size();
        const std::size_t want = std::min(kPiece, buffer.most - old);
        buffer.bytes.resize(old + want);
        const ssize_t n = m_fs.pread(m_fd, buffer.bytes.data() + old, want, buffer.from + static_cast<off_t>(old));
        if (n < 0) {
            const int err = errno;
            buffer.bytes.resize(old);
            throw ErrnoError(err);
        }
        buffer.bytes.resize(old + static_cast<std::size_t>(n));
        if (n == 0)
            return false;
    }
    return true;
}

std::size_t BookHead::parse(Buffer& buffer, std::size_t count, RecordView& fields, std::size_t& end) {
    std::size_t pos = 0;
    std::size_t whole = 0;
    std::size_t start[kFields] = {};
    std::size_t length[kFields] = {};
    while (whole < count) {
        if (whole > 0) {
            if (!reach(buffer, pos) || buffer.bytes[pos] != ',')
                break;
            ++pos;
        }
        while (reach(buffer, pos) && buffer.bytes[pos] == ' ')
            ++pos;
        if (!reach(buffer, pos) || buffer.bytes[pos] != '"')
            break;
        const std::size_t first = pos + 1;
        std::size_t scan = first;
        const char* quote = nullptr;
        while (!quote && reach(buffer, scan)) {
            quote = static_cast<const char*>(std::memchr(buffer.bytes.data() + scan, '"', buffer.bytes.size() - scan));
            if (!quote)
                scan = buffer.bytes.size();
        }
        if (!quote)
            break;
        start[whole] = first;
        length[whole] = static_cast<std::size_t>(quote - buffer.bytes.data()) - first;
        pos = first + length[whole] + 1;
        ++whole;
    }
    // Views are made once the buffer has stopped growing.
    for (std::size_t i = 0; i < kFields; ++i)
        fields[i] = i < whole ? std::string_view(buffer.bytes).substr(start[i], length[i]) : std::string_view();
    end = pos;
    return whole;
}

const RecordView& BookHead::header() {
    if (!m_read) {
        m_header.most = std::numeric_limits<std::size_t>::max();
        std::size_t end = 0;
        const std::size_t whole = parse(m_header, kFields, m_fields, end);
        if (whole == kFields) {
            // A record ends with CR LF; the last one of a file may end at the end of the file.
            if (!reach(m_header, end)) {
                m_whole = true;
                m_headerEnd = end;
            } else if (m_header.bytes[end] == '\r' && reach(m_header, end + 1) && m_header.bytes[end + 1] == '\n') {
                m_whole = true;
                m_headerEnd = end + 2;
            }
            parse(m_header, kFields, m_fields, end);
        }
        if (whole == 0)
            throw RuntimeError(code::PastEndOfFile);
        m_read = true;
    }
    return m_fields;
}

bool BookHead::headerWhole() {
    header();
    return m_whole;
}

std::optional<Record> BookHead::firstPageStamps() {
    if (!headerWhole())
        return std::nullopt;
    Buffer page;
    page.from = static_cast<off_t>(m_headerEnd);
    page.most = kPiece;
    RecordView fields;
    std::size_t end = 0;
    if (parse(page, 3, fields, end) < 3)
        return std::nullopt;
    Record stamps{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]), {}, {}};
    // The text as far as it lies within the piece read.
    std::size_t pos = end;
    if (reach(page, pos) && page.bytes[pos] == ',') {
        ++pos;
        while (reach(page, pos) && page.bytes[pos] == ' ')
            ++pos;
        if (reach(page, pos) && page.bytes[pos] == '"') {
            const std::string_view rest = std::string_view(page.bytes).substr(pos + 1);
            stamps[3] = std::string(rest.substr(0, rest.find('"')));
        }
    }
    return stamps;
}

} // namespace dayvell
