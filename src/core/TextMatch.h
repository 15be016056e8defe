// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dayvell {

// Whether `needle` occurs in `hay`, byte for byte.
bool Contains(std::string_view hay, std::string_view needle);

// Looks for a text already in capitals (as UpperCp1252 makes them) in plain text handed over piece by piece, each
// piece turned to capitals on the way, so that a match may run from one piece into the next and no page is ever
// held whole a second time. An empty needle is found in anything but nothing at all.
class UpperMatcher {
public:
    explicit UpperMatcher(std::string_view upperNeedle) : m_needle(upperNeedle) {}
    // Forgets what was handed over, for the next page.
    void restart();
    // Adds `piece`; true once the needle has been found, after which nothing more need be handed over.
    bool feed(std::string_view piece);
    bool found() const { return m_found; }

private:
    std::string_view m_needle;
    // The capitals of the latest piece, after as much of the one before as a match straddling both needs.
    std::string m_window;
    bool m_found = false;
    bool m_any = false;
};

} // namespace dayvell
