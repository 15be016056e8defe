// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Book.h"
#include "core/Progress.h"

#include <cstddef>
#include <random>
#include <string>

namespace dayvell::bench {

// The password of every generated book.
inline constexpr const char* kKey = "Secret99";

// A directory of its own for this run, removed when the program ends; ends in '/'.
const std::string& WorkDir();

// About 1,500 characters of words, with a line break now and then.
std::string PageText(std::mt19937& rng);

// A book of `pages` pages dated Thursday, 12/10/2026, built once per size and run; "rarewordxyz" is on every
// 5,000th page. Returns its path.
const std::string& GeneratedBook(int pages);

// A copy of that book under `name` in the work directory, for a benchmark that changes it; returns its path.
std::string CopyOfBook(int pages, const std::string& name);

// The pages of that book deciphered into a plain text file, one page a line with its line breaks made blanks, so
// that `grep -c` counts matching pages as the search does. Returns its path.
const std::string& PlainTextOf(int pages);

// Copies the file `from` to `to` in blocks of 1 MiB and syncs the copy: the plain copy that every operation writing
// a whole book is measured beside.
void CopyAndFsync(const std::string& from, const std::string& to);

// Reads and deciphers every page of `book`, as a search or an export must; returns the length of all their texts.
std::size_t DecipherAll(const Book& book);

// The progress of a task nobody watches, and nobody cancels.
class NoProgress : public Progress {
public:
    std::unique_ptr<ProgressTask> start(const std::string&, const std::string&, std::int64_t) override;
};

// A field of /proc/self/status in kilobytes ("VmRSS:", "VmHWM:"), or -1.
long StatusKb(const char* field);

// Runs `LC_ALL=C grep -ci word file` to /dev/null; false when grep could not run.
bool GrepCi(const std::string& word, const std::string& file);

} // namespace dayvell::bench
