// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dayvell {

// The most characters a book's file name may have without its ".dvl".
constexpr std::size_t kMaxBookNameLength = 8;

// Why a book may not be given the file name `name` (typed without its ".dvl"): the message that says so, or the
// empty text when the name is allowed. A book must stay where the user finds it: a name the open browser does not
// list (a hidden name, the scratch file's) would make the book disappear, and one with a separator or a NUL would
// put it elsewhere or cut its name short. The length and whether the name is taken are the callers' own tests.
std::string BookNameRefusal(std::string_view name);

} // namespace dayvell
