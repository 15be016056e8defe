// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SecureMemory.h"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/resource.h>

using namespace dayvell;

namespace {

TEST(SecureBytes, HoldsZeroedBytesMovesWithoutCopyingAndComparesWhole) {
    SecureBytes a(32);
    ASSERT_EQ(a.size(), 32u);
    for (std::size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(a.data()[i], 0) << i;
    a.data()[5] = 9;
    const unsigned char* where = a.data();
    SecureBytes b = std::move(a);
    EXPECT_EQ(b.data(), where);
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.data(), nullptr);

    SecureBytes c = b.copy();
    EXPECT_NE(c.data(), b.data());
    EXPECT_TRUE(c.equals(b));
    c.data()[31] ^= 1;
    EXPECT_FALSE(c.equals(b));
    EXPECT_FALSE(SecureBytes(31).equals(SecureBytes(32)));
    EXPECT_TRUE(SecureBytes().equals(SecureBytes(0)));

    b = std::move(c);
    EXPECT_EQ(b.data()[31], 1);
    EXPECT_EQ(b.data()[5], 9);
}

TEST(WipeString, OverwritesTheWholeBufferAnEarlierLongerTextLeftBehind) {
    std::string password(200, 'p');
    password = "short";
    const std::size_t capacity = password.capacity();
    ASSERT_GE(capacity, 200u);
    const char* buffer = password.data();
    WipeString(password);
    EXPECT_TRUE(password.empty());
    ASSERT_EQ(password.data(), buffer) << "the wiped buffer is kept, not handed back unwiped";
    for (std::size_t i = 0; i < capacity; ++i)
        ASSERT_EQ(buffer[i], '\0') << "byte " << i;
}

TEST(NoCoreDumps, StopsCoreDumpsWhileItLivesAndRestoresThemAfter) {
    struct rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_CORE, &before), 0);
    // Core dumps allowed to begin with, so that stopping them shows.
    const struct rlimit original = before;
    before.rlim_cur = before.rlim_max == RLIM_INFINITY ? (1 << 20) : before.rlim_max;
    ASSERT_EQ(setrlimit(RLIMIT_CORE, &before), 0);
    if (before.rlim_cur == 0)
        GTEST_SKIP() << "core dumps are off for good in this environment";
    const int dumpableBefore = prctl(PR_GET_DUMPABLE, 0, 0, 0, 0);
    {
        NoCoreDumps outer;
        {
            NoCoreDumps inner;
            struct rlimit now {};
            ASSERT_EQ(getrlimit(RLIMIT_CORE, &now), 0);
            EXPECT_EQ(now.rlim_cur, 0u);
            EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
        }
        // Still inside the outer one.
        struct rlimit now {};
        ASSERT_EQ(getrlimit(RLIMIT_CORE, &now), 0);
        EXPECT_EQ(now.rlim_cur, 0u);
        EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
    }
    struct rlimit after {};
    ASSERT_EQ(getrlimit(RLIMIT_CORE, &after), 0);
    EXPECT_EQ(after.rlim_cur, before.rlim_cur);
    EXPECT_EQ(after.rlim_max, before.rlim_max);
    EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), dumpableBefore);
    setrlimit(RLIMIT_CORE, &original);
}

} // namespace
