// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <string>
#include <vector>

namespace dayvell::test {

// Where windows appear and which stays above which is decided by a window manager on a real X server. Makes sure
// one runs on the display the test uses, starting openbox when none does (and stopping it when the test program
// ends). Returns why it cannot, for a skipped test to say; the empty text when a window manager runs.
std::string EnsureWindowManager();

// The top-level windows of the display, the lowest first, as the window manager stacks them.
std::vector<WId> StackingOrder();

// Waits until the window manager has framed and placed `window`; false when it does not within a few seconds.
bool WaitUntilPlaced(QWidget& window);

} // namespace dayvell::test
