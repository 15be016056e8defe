// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/BookName.h"

#include <gtest/gtest.h>

#include <string>

namespace dayvell::test {
namespace {

// Every name a book may take is one the open browser lists; every other is refused with a reason.
TEST(BookNameTest, RefusesWhatTheOpenBrowserWouldNotListOrTheFileSystemCannotHold) {
    struct Case {
        std::string name;
        // A few words of the reason given; empty for a name that is allowed.
        std::string reason;
    };
    const Case cases[] = {
        {"diary", ""},
        {"a", ""},
        {"my.hid", ""},
        {"dvltemp1", ""},
        {"dvltem", ""},
        {" space", ""},
        {"trail.", ""},
        {"a\\b", ""},
        {".hid", "starts with \".\" is hidden"},
        {".", "starts with \".\" is hidden"},
        {"..", "starts with \".\" is hidden"},
        {"dvltemp", "for its own scratch file"},
        {"DVLTEMP", "for its own scratch file"},
        {"dVlTeMp", "for its own scratch file"},
        {"a/b", "cannot contain \"/\""},
        {"/", "cannot contain \"/\""},
        {std::string("x\0y", 3), "null character"},
        {std::string(".\0", 2), "null character"},
        {"a\tb", "control character"},
        {"a\nb", "control character"},
        {"a\rb", "control character"},
        {"\x1B[2J", "control character"},
        {"del\x7F", "control character"},
        {"c1\x9D", "control character"},
        {".\x01", "control character"},
        {"euro\x80", ""},
        {"caf\xE9", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string refusal = BookNameRefusal(c.name);
        if (c.reason.empty()) {
            EXPECT_EQ(refusal, "");
        } else {
            EXPECT_NE(refusal.find(c.reason), std::string::npos) << refusal;
            EXPECT_TRUE(refusal.ends_with("Please choose a different name.")) << refusal;
        }
    }
}

} // namespace
} // namespace dayvell::test
