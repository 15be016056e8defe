// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace dayvell {

struct Services;

// Registers every window of the program with the window system, each built on `services`. A new window is added
// here under its id.
void RegisterWindows(Services& services);

} // namespace dayvell
