// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookFormat.h"

#include "TextMatch.h"

#include <array>

namespace dayvell {

// Each kind of book is one format, defined in a file of its own.
const BookFormat& DescribedBooks();
const BookFormat& SealedBooks();

namespace {

// The formats asked, in order, whether they recognise a file; the described one, which every copy of the program
// reads, last and by default.
std::array<const BookFormat*, 2> Formats() {
    return {&SealedBooks(), &DescribedBooks()};
}

} // namespace

const BookFormat& FormatOf(BookKind kind) {
    for (const BookFormat* format : Formats())
        if (format->kind() == kind)
            return *format;
    return DescribedBooks();
}

const BookFormat& FormatOfFile(std::string_view start) {
    for (const BookFormat* format : Formats())
        if (format->recognises(start))
            return *format;
    return DescribedBooks();
}

void FormatReader::search(std::string_view upperNeedle, const std::function<void(const PageView&)>& onMatch) {
    UpperMatcher matcher(upperNeedle);
    PageView page;
    while (nextPage(page)) {
        matcher.restart();
        for (const std::string_view field : {page.number, page.date, page.time, page.text})
            if (matcher.feed(field))
                break;
        if (matcher.found())
            onMatch(page);
    }
}

bool FormatReader::changePasswordInPlace(std::string_view) {
    return false;
}

} // namespace dayvell
