// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace dayvell {

// Positions in the security flags, counted from 1: the function at a position asks for the password when its flag
// is "1".
namespace flag {
inline constexpr int CoverName = 1;
inline constexpr int FileName = 2;
inline constexpr int Security = 3;
inline constexpr int ViewPages = 4;
inline constexpr int MoveCopy = 5;
inline constexpr int NewPage = 6;
inline constexpr int Search = 7;
} // namespace flag

// Password purposes: what the password prompt opens after a right password. Each is the number in the name of the
// window it opens.
namespace purpose {
inline constexpr int None = 0;
inline constexpr int NewPage = 2;
inline constexpr int OpenBook = 5;
inline constexpr int Security = 6;
inline constexpr int ViewPages = 7;
inline constexpr int Search = 8;
inline constexpr int MoveCopy = 9;
inline constexpr int CoverName = 10;
inline constexpr int FileName = 12;
// Importing pages is gated like writing a new page, by the same flag, under a code of its own.
inline constexpr int Import = 14;
} // namespace purpose

// True when the flag at `position` is "1"; any other character, or none at all in a short text, is no.
inline bool NeedsPassword(std::string_view secflags, int position) {
    return position >= 1 && static_cast<size_t>(position) <= secflags.size() && secflags[position - 1] == '1';
}

// The id of the window a right password opens for `purpose`, or empty for a code no window answers to.
inline std::string WindowForPurpose(int code) {
    switch (code) {
    case purpose::NewPage:
        return "Form2";
    case purpose::OpenBook:
        return "Form5";
    case purpose::Security:
        return "Form6";
    case purpose::ViewPages:
        return "Form7";
    case purpose::Search:
        return "Form8";
    case purpose::MoveCopy:
        return "Form9";
    case purpose::CoverName:
        return "Form10";
    case purpose::FileName:
        return "Form12";
    case purpose::Import:
        return "Form14";
    default:
        return {};
    }
}

} // namespace dayvell
