// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

namespace dayvell::cli {

// The subcommands for scripts (dayvell export, import, search, count ...), which run on the core alone: no display,
// no window system. Returns the exit status when argv[1] names a subcommand (0 success, 1 an error reported in one
// line on standard error, 2 bad usage), or nothing when the windows are to open.
std::optional<int> RunSubcommand(int argc, char* argv[]);

} // namespace dayvell::cli
