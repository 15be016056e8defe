// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Printer.h"
#include "core/RuntimeError.h"

#include <optional>
#include <string>
#include <vector>

namespace dayvell::test {

// Keeps what would have been printed: every finished document as its lines, and the lines of the one under way.
class RecordingPrinter : public Printer {
public:
    void printLine(const std::string& text) override {
        if (failWith)
            throw RuntimeError(*failWith);
        current.push_back(text);
    }
    void endDocument() override {
        documents.push_back(std::move(current));
        current.clear();
    }

    std::vector<std::vector<std::string>> documents;
    std::vector<std::string> current;
    // When set, printing fails with this code, as a printer that is not ready does.
    std::optional<int> failWith;
};

} // namespace dayvell::test
