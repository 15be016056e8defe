// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookFixture.h"

#include "core/PageCounter.h"
#include "core/ScriptedDialogs.h"

using namespace dayvell;
using namespace dayvell::test;

namespace {

using PageCounter = BookFixture;

TEST_F(PageCounter, CountsIntoPagecountWithItsSignPosition) {
    SharedState state;
    state.bookdir = tmp.path().string(); // no trailing separator: one is added
    state.bookname = "diary.dvl";
    state.password = kKey;
    ScriptedDialogs dialogs;
    EXPECT_TRUE(CountPages(state, dialogs));
    EXPECT_EQ(state.pagecount, " 3");

    Book(path, kKey).removePage(1);
    Book(path, kKey).removePage(1);
    Book(path, kKey).removePage(1);
    EXPECT_TRUE(CountPages(state, dialogs));
    EXPECT_EQ(state.pagecount, " 0");
}

TEST_F(PageCounter, ReportsAMissingBookAndKeepsTheOldCount) {
    SharedState state;
    state.bookdir = tmp.dir();
    state.bookname = "gone.dvl";
    state.pagecount = " 7";
    ScriptedDialogs dialogs;
    dialogs.expectMessage("File not found", Answer::Ok, "ERROR   #53    !!!!File not found");
    EXPECT_FALSE(CountPages(state, dialogs));
    EXPECT_EQ(state.pagecount, " 7");
}

} // namespace
