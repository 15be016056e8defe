// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace dayvell {

// A long task on show: how far it got, and whether the user wants it to go on. Closed when dropped.
class ProgressTask {
public:
    virtual ~ProgressTask() = default;
    // `done` of the task's steps are finished. Lets the windows paint and the user press Cancel; false once they
    // did.
    virtual bool advance(std::int64_t done) = 0;
};

// Shows the progress of long tasks, with a Cancel button.
class Progress {
public:
    virtual ~Progress() = default;
    // `text` says what is under way; `total` is the number of steps, 0 for a task that cannot count them (a wait).
    virtual std::unique_ptr<ProgressTask> start(const std::string& text, const std::string& title,
                                                std::int64_t total) = 0;
};

} // namespace dayvell
