// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

namespace dayvell::test {

// Another running copy of the program at work in the folder `dir` (ending in "/"), in a child process: holds the
// folder's lock for `holdFor`, its scratch file there growing now and then when `working`, then leaves an empty
// file named "finished" in the folder and lets go. Returns once the child holds the lock, or -1. The child makes
// only plain system calls: a process with other threads may be holding locks it would wait on for ever.
pid_t AnotherCopyHolding(const std::string& dir, std::chrono::milliseconds holdFor, bool working);
// Waits for the child to end; its exit status, or -1 when it did not exit.
int FinishCopy(pid_t child);

} // namespace dayvell::test
