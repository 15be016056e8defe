// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Book.h"
#include "core/Charset.h"

#include <string>
#include <vector>

namespace dayvell::test {

// Low character codes: the key carries most of Windows-1252 (accented capitals, the euro, typographic quotes).
inline constexpr const char* kKey = "!#$%";

// Pages that try every way out of their place in a document: markup of each format, characters outside ASCII,
// control characters, a line longer than the print width, and dates no locale reading can settle.
inline std::vector<Page> HostilePages() {
    std::string words;
    for (int i = 0; i < 30; ++i)
        words += "word" + std::to_string(i) + " ";
    return {
        {" 1", "Saturday, 12/5/2026", "1:46:33 PM", "Dear diary,\r\ntoday was a long day."},
        {" 2", "Sunday, 12/6/2026", "9:05:00 AM",
         "# not a heading\r\n---\r\n    not code\r\n1. not a list\r\n- nor this\r\n> nor a quote\r\n===\r\n"
         "*stars* _under_ [link](http://x) `tick` \\ back | pipe ~ &amp; #hash\r\nends in a backslash \\\r\n"
         "\r\nafter an empty line"},
        {" 3", "Monday, 12/7/2026", "11:59:59 PM",
         "<script>alert(\"x\")</script> & </div></article><h1>fake</h1> \"quoted\" 'single'"},
        {" 4", "Tuesday, 12/8/2026", "8:00:00 AM", Cp1252FromUtf8("CAFÉ — 5 € … “quoted” Ö") + "\x81\x03"},
        {" 5", "Someday, 3/4/2026", "half past nine", words + "\r\n" + std::string(100, 'W')},
        {" 6", "Wednesday, 12/9/2026", "10:00:00 AM", ""},
        {" 7", "Thursday, 12/10/2026", "12:00:00 AM", "lone\rbreaks\nof both kinds\r\n"},
    };
}

} // namespace dayvell::test
