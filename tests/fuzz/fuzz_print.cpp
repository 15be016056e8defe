// SPDX-License-Identifier: GPL-3.0-or-later
// Print wrapping: no line longer than the width, and nothing but the line ends it adds.
#include "FuzzSupport.h"

#include "core/PrintText.h"

using namespace dayvell;
using namespace dayvell::fuzz;

namespace {

std::string WithoutCr(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != '\r')
            out += c;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::size_t width = in.byte() % 100;
    const std::string text = in.rest();
    const std::string wrapped = width == 0 ? WrapForPrint(text, 0) : WrapForPrint(text, width);
    FUZZ_CHECK(WithoutCr(wrapped) == WithoutCr(text));
    if (width > 0) {
        std::size_t line = 0;
        for (char c : wrapped) {
            if (c == '\r') {
                line = 0;
                continue;
            }
            FUZZ_CHECK(++line <= width);
        }
    }
    FUZZ_CHECK(WrapForPrint(text) == WrapForPrint(text, kPrintWidth));
    return 0;
}
