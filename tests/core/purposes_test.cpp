// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Purposes.h"

#include <gtest/gtest.h>

using namespace dayvell;

TEST(Purposes, OnlyAOneAsksForThePassword) {
    EXPECT_FALSE(NeedsPassword("0111111", flag::CoverName));
    for (int p = flag::FileName; p <= flag::Search; ++p)
        EXPECT_TRUE(NeedsPassword("0111111", p)) << p;
    EXPECT_FALSE(NeedsPassword("01x", 3)); // anything but "1" lets the function open
    EXPECT_FALSE(NeedsPassword("011", 7)); // a short text has no flag there
    EXPECT_FALSE(NeedsPassword("", flag::Search));
    EXPECT_FALSE(NeedsPassword("1111111", 0));
}

TEST(Purposes, EachCodeOpensTheWindowOfItsNumber) {
    const std::pair<int, const char*> table[] = {
        {2, "Form2"},   {5, "Form5"},   {6, "Form6"}, {7, "Form7"}, {8, "Form8"}, {9, "Form9"}, {10, "Form10"},
        {12, "Form12"}, {14, "Form14"}, {0, ""},      {1, ""},      {11, ""},     {99, ""}};
    for (const auto& [code, id] : table)
        EXPECT_EQ(WindowForPurpose(code), id) << code;
}
