// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileSystem.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dayvell {

// What rescuing a damaged book found and did (Book::rescue).
struct RescueReport {
    // Pages of the damaged book that could not be read, by the numbers they had there.
    struct Loss {
        std::int64_t first = 0;
        std::int64_t last = 0;
        // The last record of the file, cut short (a full disk, a copy that did not finish); otherwise damaged.
        bool cutShort = false;
        bool operator==(const Loss&) const = default;
    };
    // The rescued book's file name, in the damaged one's folder.
    std::string fileName;
    std::int64_t pagesKept = 0;
    // The header could not be read whole: the rescued book has a new one with the same password.
    bool headerRebuilt = false;
    std::vector<Loss> lost;
};

// What the user is told about a rescue: where the new book is, what it holds, and each page that could not be read
// ("Page 1,203 was cut short and could not be read.").
std::string RescueMessage(const RescueReport& report);

// The name of a rescued copy of the book named `bookName`: its name less ".dvl", shortened so that with "-r" and
// `attempt` it keeps to 8 characters, then ".dvl" ("diary.dvl", 1: "diary-r1.dvl"; "longname.dvl", 1:
// "longn-r1.dvl").
std::string RescueName(std::string_view bookName, int attempt);

// Reads a file line by line, a line ending at a line feed (a carriage return before it is dropped), for reading a
// damaged book whose records cannot be trusted to be five fields: enciphered fields never hold a line break, so a
// line is a record or what is left of one. Holds one line at a time.
class LineReader {
public:
    LineReader(FileSystem& fs, int fd) : m_fs(fs), m_fd(fd) {}
    // The next line, and whether a line feed ended it (the last line of a file may end without one); false at the
    // end of the file.
    bool next(std::string& line, bool& ended);

private:
    FileSystem& m_fs;
    int m_fd;
    std::string m_buffer;
    std::size_t m_pos = 0;
    bool m_eof = false;
};

} // namespace dayvell
