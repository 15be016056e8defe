// SPDX-License-Identifier: GPL-3.0-or-later
#include "Rescue.h"

#include "RuntimeError.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace dayvell {

namespace {

constexpr std::size_t kPiece = 1 << 16;

// 1203 as "1,203".
std::string Grouped(std::int64_t n) {
    const std::string digits = std::to_string(n);
    const std::size_t sign = n < 0 ? 1 : 0;
    std::string grouped = digits.substr(0, sign);
    for (std::size_t i = sign; i < digits.size(); ++i) {
        if (i > sign && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

std::string LossSentence(const RescueReport::Loss& loss) {
    if (loss.first == loss.last)
        return "Page " + Grouped(loss.first) + (loss.cutShort ? " was cut short" : " is damaged") +
               " and could not be read.";
    return "Pages " + Grouped(loss.first) + " to " + Grouped(loss.last) + " are damaged and could not be read.";
}

} // namespace

std::string RescueMessage(const RescueReport& report) {
    std::string text = "Your dayvell was repaired into " + report.fileName +
                       ", in the same folder and with the same password. It holds " + Grouped(report.pagesKept) +
                       (report.pagesKept == 1 ? " page" : " pages") + ", numbered from 1.\r\n\r\n";
    if (report.headerRebuilt)
        text += "The first line of your dayvell, which holds its cover name, last-access date and security "
                "settings, was damaged: the new dayvell has no cover name, and the security settings of a new "
                "dayvell.\r\n";
    for (const auto& loss : report.lost)
        text += LossSentence(loss) + "\r\n";
    if (!report.headerRebuilt && report.lost.empty())
        text += "Every page could be read.\r\n";
    text += "\r\nYour damaged dayvell was left as it was. Open " + report.fileName + " from the start window.";
    return text;
}

std::string RescueName(std::string_view bookName, int attempt) {
    std::string stem(bookName);
    if (stem.size() >= 4) {
        std::string extension = stem.substr(stem.size() - 4);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == ".dvl")
            stem.resize(stem.size() - 4);
    }
    const std::string suffix = "-r" + std::to_string(attempt);
    stem.resize(std::min(stem.size(), suffix.size() < 8 ? 8 - suffix.size() : 0));
    return stem + suffix + ".dvl";
}

bool LineReader::next(std::string& line, bool& ended) {
    line.clear();
    while (true) {
        const std::size_t lf = m_buffer.find('\n', m_pos);
        if (lf != std::string::npos) {
            line.append(m_buffer, m_pos, lf - m_pos);
            m_pos = lf + 1;
            ended = true;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        line.append(m_buffer, m_pos, std::string::npos);
        m_buffer.clear();
        m_pos = 0;
        if (m_eof) {
            ended = false;
            return !line.empty();
        }
        m_buffer.resize(kPiece);
        const ssize_t n = m_fs.read(m_fd, m_buffer.data(), m_buffer.size());
        if (n < 0) {
            const int err = errno;
            m_buffer.clear();
            throw ErrnoError(err);
        }
        m_buffer.resize(static_cast<std::size_t>(n));
        m_eof = n == 0;
    }
}

} // namespace dayvell
