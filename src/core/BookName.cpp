// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookName.h"

#include "Book.h"

namespace dayvell {

std::string BookNameRefusal(std::string_view name) {
    const std::string quoted = "The name \"" + std::string(name) + "\" is not allowed: ";
    const std::string tail = " Please choose a different name.";
    if (name.find('\0') != std::string_view::npos)
        return "This name is not allowed: a file name cannot hold a null character." + tail;
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
