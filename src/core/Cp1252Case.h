// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace dayvell {

// Capitals of Windows-1252 letters, accented letters included; every other character is itself. Written without
// branches, so that loops over whole pages convert many bytes at a time.

// The common case: a to z, and a grave to thorn (not the division sign), each 32 below its capital.
inline unsigned char UpperCommon(unsigned char c) {
    const bool lower =
        static_cast<unsigned char>(c - 'a') < 26 || (static_cast<unsigned char>(c - 0xE0) < 31 && c != 0xF7);
    return static_cast<unsigned char>(c - (lower ? 0x20 : 0));
}

// The rest live in the 0x80 block: s caron, oe and z caron 16 below their capitals, y diaeresis far from its one.
// True for those (and for the two codes between them, which stay as they are).
inline bool UpperSpecial(unsigned char c) {
    return static_cast<unsigned char>(c - 0x9A) <= 4 || c == 0xFF;
}

inline unsigned char UpperCode(unsigned char c) {
    if (!UpperSpecial(c))
        return UpperCommon(c);
    switch (c) {
    case 0x9A:
    case 0x9C:
    case 0x9E:
        return static_cast<unsigned char>(c - 0x10);
    case 0xFF:
        return 0x9F;
    default:
        return c;
    }
}

} // namespace dayvell
