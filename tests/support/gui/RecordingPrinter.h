// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Printer.h"
#include "core/RuntimeError.h"

#include <optional>
#include <string>
#include <vector>

namespace dayvell::test {

// Keeps what would have been printed: every job that ended, as its lines. A job abandoned before its end is only
// counted, as a printer that never receives it would.
class RecordingPrinter : public Printer {
public:
    std::unique_ptr<PrintJob> begin() override {
        if (failWith && failAfterLines < 0)
            throw RuntimeError(*failWith);
        ++begun;
        return std::make_unique<Job>(*this);
    }

    std::vector<std::vector<std::string>> documents;
    int begun = 0;
    int abandoned = 0;
    // When set, printing fails with this code, as a printer that is not ready does: at the start of a job, or
    // once a job holds `failAfterLines` lines.
    std::optional<int> failWith;
    int failAfterLines = -1;

private:
    class Job : public PrintJob {
    public:
        explicit Job(RecordingPrinter& printer) : m_printer(printer) {}
        ~Job() override {
            if (!m_ended)
                ++m_printer.abandoned;
        }
        void printLine(const std::string& text) override {
            if (m_printer.failWith && int(m_lines.size()) >= m_printer.failAfterLines)
                throw RuntimeError(*m_printer.failWith);
            m_lines.push_back(text);
        }
        void end() override {
            m_ended = true;
            m_printer.documents.push_back(std::move(m_lines));
        }

    private:
        RecordingPrinter& m_printer;
        std::vector<std::string> m_lines;
        bool m_ended = false;
    };
};

} // namespace dayvell::test
