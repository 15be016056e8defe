// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Progress.h"

namespace dayvell {

class WindowSystem;

// A progress dialog with Cancel over the active window. It is modal: while the task runs between its steps the
// windows keep painting, and nothing else of the program can be started.
class QtProgress : public Progress {
public:
    explicit QtProgress(WindowSystem& windows);

    std::unique_ptr<ProgressTask> start(const std::string& text, const std::string& title, std::int64_t total) override;

private:
    WindowSystem& m_windows;
};

} // namespace dayvell
