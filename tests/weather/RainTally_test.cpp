// SPDX-License-Identifier: GPL-3.0-or-later
#include "weather/RainTally.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

namespace tavrolin {
namespace {

constexpr int kCest = 7200;
// 2026-06-14 00:00 CEST, as UTC milliseconds.
constexpr int64_t kMidnight = 1781388000000LL;
constexpr int64_t kMinute = 60000;

Reading RainReading(int counter, int64_t unixMs, uint8_t address = 0) {
    Reading r;
    r.kind = SensorKind::Rain;
    r.address = address;
    r.time = FromUnixMs(unixMs);
    r.utcOffsetSeconds = kCest;
    r.values[0] = {Quantity::RainCounter, counter};
    r.valueCount = 1;
    return r;
}

TEST(RainSteps, TheCounterRulesGiveTheStepsBetweenTwoReadings) {
    // previous, current, steps: counting up; running over from above 4095 to below -4096;
    // any other decrease is a new start, with V steps where V >= 0, and so is a climb from the
    // negative range to 0 or above by more than 4096 steps (a battery change, not 2000 mm
    // of rain between two readings).
    const std::vector<std::tuple<int, int, int>> cases = {
        {0, 0, 0},         {5, 12, 7},         {-8192, -8000, 192}, {-100, 50, 150},
        {8191, -8192, 1},  {8000, -8000, 384}, {4096, -4097, 8191}, {4095, -4097, 0},
        {4096, -4096, 0},  {100, 3, 3},        {100, 0, 0},         {100, -3, 0},
        {-5, -6, 0},       {5000, -3000, 0},   {8191, 8190, 8190},  {-8000, 2, 2},
        {-4000, 96, 4096}, {-4000, 97, 97},
    };
    for (const auto& [previous, current, steps] : cases) {
        EXPECT_EQ(RainStepsBetween(previous, current), steps) << previous << " -> " << current;
    }
}

TEST(RainTally, TotalsCountFromTheFirstReadingAndOnlyGrow) {
    RainSettings settings;
    settings.mmPerStep[2] = Decimal{254, 3};
    RainTally tally(settings);
    EXPECT_FALSE(tally.Count(Reading{}));  // not a rain sensor

    // Base 100, +2, battery change to 3 (+3), up to 8191, run over to -8192 (+1), +2.
    std::vector<int64_t> totals;
    for (const int counter : {100, 102, 3, 8191, -8192, -8190}) {
        totals.push_back(tally.Count(RainReading(counter, kMidnight, 2))->steps);
    }
    EXPECT_EQ(totals, (std::vector<int64_t>{0, 2, 5, 8193, 8194, 8196}));
    // Another sensor has its own base, and without millimetres per step only steps.
    const auto other = tally.Count(RainReading(100, kMidnight, 5));
    EXPECT_EQ(other->steps, 0);
    EXPECT_FALSE(other->mm);

    // Resumed from the archive's total: the next reading is the base and carries it on.
    tally.Resume(2, 1000);
    EXPECT_EQ(tally.Count(RainReading(500, kMidnight + 10 * kMinute, 2))->steps, 1000);
    const auto resumed = tally.Count(RainReading(510, kMidnight + 11 * kMinute, 2));
    EXPECT_EQ(resumed->steps, 1010);
    EXPECT_EQ(resumed->todaySteps, 10);
    EXPECT_EQ(resumed->mm, (Decimal{1010 * 254, 3}));
}

TEST(RainTally, TheDaySumStartsAtLocalMidnightOfTheReading) {
    RainTally tally;
    tally.Count(RainReading(0, kMidnight - 30 * kMinute));
    EXPECT_EQ(tally.Count(RainReading(3, kMidnight - kMinute))->todaySteps, 3);
    // 00:00:00 local is 22:00 UTC the day before: the new day begins here.
    const auto afterMidnight = tally.Count(RainReading(5, kMidnight));
    EXPECT_EQ(afterMidnight->todaySteps, 2);
    EXPECT_EQ(afterMidnight->hourSteps, 5);
    EXPECT_EQ(afterMidnight->steps, 5);
    EXPECT_EQ(tally.Count(RainReading(9, kMidnight + 23 * 60 * kMinute))->todaySteps, 6);
}

// Readings every 7 s for three hours with random steps: the hour's sum is always what the
// readings of the newest minute and the 59 before it brought, though only 60 slots are kept.
TEST(RainTally, TheLastHourIsTheNewestMinuteAndTheFiftyNineBefore) {
    std::mt19937 random(21);
    RainTally tally;
    std::vector<std::pair<int64_t, int>> seen;  // minute, steps
    int counter = 8000;                         // runs over on the way
    for (int64_t t = kMidnight - 90 * kMinute; t < kMidnight + 90 * kMinute; t += 7000) {
        const int steps = seen.empty() ? 0 : static_cast<int>(random() % 4);
        counter = counter + steps > 8191 ? counter + steps - 16384 : counter + steps;
        const auto amounts = tally.Count(RainReading(counter, t));
        const int64_t minute = t / kMinute;
        seen.push_back({minute, steps});
        int64_t expected = 0;
        for (const auto& [m, n] : seen) {
            expected += m > minute - 60 ? n : 0;
        }
        ASSERT_EQ(amounts->hourSteps, expected) << t;
    }
    // A clock set back by two hours counts only what it brings from then on.
    EXPECT_EQ(tally.Count(RainReading(counter + 1, kMidnight - 30 * kMinute))->hourSteps, 1);
}

}  // namespace
}  // namespace tavrolin
