// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookName.h"

#include "Book.h"
#include "Charset.h"

#include <algorithm>

namespace dayvell {

std::string BookNameRefusal(std::string_view name) {
    const std::string quoted = "The name \"" + std::string(name) + "\" is not allowed: ";
    const std::string tail = " Please choose a different name.";
    if (name.find('\0') != std::string_view::npos)
        return "This name is not allowed: a file name cannot hold a null character." + tail;
    // Shown in lists, titles and a terminal's lines, a tab, a line break or an escape would break them up or act on
    // the terminal; the name is not repeated in the message for that reason.
    if (std::any_of(name.begin(), name.end(), IsCp1252Control))
        return "This name is not allowed: a file name cannot hold a control character, such as a tab or a line "
               "break." +
               tail;
    if (name.find('/') != std::string_view::npos)
        return quoted + "a file name cannot contain \"/\", which separates the folders of a path." + tail;
    if (name.starts_with('.'))
        return quoted +
               "a file whose name starts with \".\" is hidden, so your dayvell would no longer be listed "
               "when you open a dayvell." +
               tail;
    if (IsScratchName(std::string(name) + std::string(kBookExtension)))
        return quoted +
               "Dayvell keeps the name dvltemp.dvl, in capitals or small letters alike, for its own "
               "scratch file." +
               tail;
    return {};
}

} // namespace dayvell
