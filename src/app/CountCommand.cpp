// SPDX-License-Identifier: GPL-3.0-or-later
// dayvell count BOOK.dvl
#include "Subcommands.h"

#include <cstdio>

namespace dayvell::cli {

int Count(const Invocation& call) {
    if (call.arguments.size() != 1)
        throw UsageError{"give one book"};
    const std::string& path = call.arguments[0];
    const Book book = OpenBookForCommand(call, path);
    std::printf("%lld\n", static_cast<long long>(NamingFailures(path, [&] { return book.countPages(); })));
    return kSuccess;
}

} // namespace dayvell::cli
