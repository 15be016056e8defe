// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GuiTest.h"

#include "core/Book.h"
#include "core/TempDir.h"

#include <QString>

#include <sys/resource.h>

#include <cstdint>
#include <string>
#include <vector>

class QWidget;

namespace dayvell::test {

// A letter password: "é" cannot be enciphered at any place under it, "É" only where the key has its "1".
inline constexpr const char* kDiaryPassword = "key1";
// What the test clock stamps on a page.
inline constexpr const char* kStampedDate = "Saturday, 12/5/2026";
inline constexpr const char* kStampedTime = "1:46:33 PM";

// A page numbered `number`, stamped as the test clock stamps; `text` as stored (CR LF line breaks).
Page StampedPage(std::int64_t number, std::string text);

// A book of known pages in a fresh directory, and the bytes it must hold after a change.
class Diary {
public:
    explicit Diary(const std::vector<Page>& pages = {}, const std::string& flags = "0000000",
                   const std::string& coverName = "Days of 2026");

    const std::string& path() const { return m_path; }
    std::string bytes() const;
    // The file holding its header as written and exactly `pages`: one record a page, the four fields enciphered
    // under the password and the end mark plain.
    std::string with(const std::vector<Page>& pages) const;
    // Puts the book into the shared state as a right password leaves it: the cover window has read its header.
    void open(SharedState& state) const;

private:
    TempDir m_dir;
    std::string m_path;
    std::string m_coverName;
    std::string m_flags;
    std::string m_header;
};

// Types `text` into `widget` as a person would: Latin-1 characters as keys (Return for "\n"), anything else as
// text committed by an input method, the way other scripts and emoji arrive.
void typeText(QWidget* widget, const QString& text);

// While it lives, no file of this process may grow beyond `bytes`: a write past it fails part-way, as on a full
// disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_before{};
};

} // namespace dayvell::test
