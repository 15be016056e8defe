// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace dayvell {

// The capital of a Windows-1252 letter, accented letters included; every other character is itself. Branch-free,
// so that loops over whole pages convert many bytes at a time.
inline unsigned char UpperCode(unsigned char c) {
    const bool ascii = c >= 'a' && c <= 'z';
    const bool latin = c >= 0xE0 && c <= 0xFE && c != 0xF7; // a grave .. thorn, not the division sign
    const bool pair = c == 0x9A || c == 0x9C || c == 0x9E;  // s caron, oe, z caron: 16 below their capitals
    unsigned char up = static_cast<unsigned char>(c - ((ascii || latin) ? 0x20 : 0) - (pair ? 0x10 : 0));
    return c == 0xFF ? 0x9F : up; // y diaeresis has its capital in the 0x80 block
}

} // namespace dayvell
