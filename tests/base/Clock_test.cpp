// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Clock.h"

#include <gtest/gtest.h>

#include "FakeClocks.h"

namespace tavrolin {
namespace {

TEST(TickCount, CountsHundredNanosecondsSince1601) {
    EXPECT_EQ(ToTickCount({1601, 1, 1, 0, 0, 0, 0}), 0u);
    // The well-known distance between the 1601 and the 1970 epochs.
    EXPECT_EQ(ToTickCount({1970, 1, 1, 0, 0, 0, 0}), 116444736000000000u);
    EXPECT_EQ(ToTickCount({2000, 3, 1, 0, 0, 0, 0}) - ToTickCount({2000, 2, 28, 0, 0, 0, 0}),
              2ull * 86400 * 10000000);  // 2000 is a leap year
    EXPECT_EQ(ToTickCount({2026, 12, 7, 14, 3, 7, 456}) - ToTickCount({2026, 12, 7, 14, 3, 7, 0}),
              4560000u);
}

TEST(FakeLocalClock, AdvanceCarriesIntoTheDate) {
    testing::FakeLocalClock clock({2024, 12, 31, 23, 59, 59, 900});
    const uint64_t before = ToTickCount(clock.Now());
    clock.AdvanceMs(200);
    const LocalTime t = clock.Now();
    EXPECT_EQ(t.year, 2025);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.millisecond, 100);
    EXPECT_EQ(ToTickCount(t) - before, 2000000u);
    clock.AdvanceMs(-86400000LL * 366);
    EXPECT_EQ(ToTickCount(clock.Now()), before + 2000000u - 366ull * 86400 * 10000000);
}

}  // namespace
}  // namespace tavrolin
