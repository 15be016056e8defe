// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Progress.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dayvell::test {

// A progress dialog fake: records every task shown and each step it reached, and presses Cancel when told to.
class ScriptedProgress : public Progress {
public:
    struct Shown {
        std::string text;
        std::string title;
        std::int64_t total = 0;
        std::vector<std::int64_t> steps;
        bool closed = false;
    };

    std::unique_ptr<ProgressTask> start(const std::string& text, const std::string& title,
                                        std::int64_t total) override {
        shown.push_back({text, title, total, {}, false});
        return std::make_unique<Task>(*this, shown.size() - 1);
    }

    std::vector<Shown> shown;
    // Cancel is pressed once a task reaches this many steps done.
    std::optional<std::int64_t> cancelAt;
    // Runs at every step, for a test that changes the world while a task runs.
    std::function<void(std::int64_t done)> onStep;

private:
    class Task : public ProgressTask {
    public:
        Task(ScriptedProgress& progress, std::size_t index) : m_progress(progress), m_index(index) {}
        ~Task() override { m_progress.shown[m_index].closed = true; }
        bool advance(std::int64_t done) override {
            m_progress.shown[m_index].steps.push_back(done);
            if (m_progress.onStep)
                m_progress.onStep(done);
            return !(m_progress.cancelAt && done >= *m_progress.cancelAt);
        }

    private:
        ScriptedProgress& m_progress;
        std::size_t m_index;
    };
};

} // namespace dayvell::test
