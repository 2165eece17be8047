// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Clock.h"

#include <gtest/gtest.h>

#include <time.h>

#include <cstdlib>
#include <random>

#include "FakeClocks.h"

namespace tavrolin {
namespace {

using testing::CentralEuropeZone;

Instant Utc(int y, int mo, int d, int h, int mi = 0) {
    return InstantOf({y, mo, d, h, mi, 0, 0, 0});
}

TEST(Clock, LocalTimesAndInstantsGoBackAndForthAndDaysCountFrom1970) {
    EXPECT_EQ(DayNumberOf(1970, 1, 1), 0);
    EXPECT_EQ(DayNumberOf(2000, 3, 1) - DayNumberOf(2000, 2, 28), 2);  // a leap year
    EXPECT_EQ(WeekdayOf(DayNumberOf(2026, 12, 7)), 0);                 // a Monday
    // Any instant, in any offset, comes back from its local time; its local day is the one
    // its date names (also before 1970 and after 2038).
    std::mt19937_64 random(27);
    for (int i = 0; i < 10000; ++i) {
        const Instant t = FromUnixMs(static_cast<int64_t>(random() % (400LL * 365 * kMsPerDay)) -
                                     100LL * 365 * kMsPerDay);
        const int offset = static_cast<int>(random() % 57 - 28) * 900;
        const LocalTime local = LocalTimeAt(t, offset);
        ASSERT_EQ(InstantOf(local), t);
        ASSERT_EQ(LocalDayOf(t, offset), DayNumberOf(local.year, local.month, local.day));
    }
}

TEST(Clock, TheClockChangeOfCentralEuropeGivesDaysOf23And25HoursAndNoAmbiguousInstant) {
    const CentralEuropeZone zone;
    // Spring: 2026-03-29, 02:00 CET becomes 03:00 CEST; autumn: 2026-10-25, 03:00 CEST
    // becomes 02:00 CET.
    const int64_t spring = DayNumberOf(2026, 3, 29);
    const int64_t autumn = DayNumberOf(2026, 10, 25);
    EXPECT_EQ(StartOfLocalDay(zone, spring + 1) - StartOfLocalDay(zone, spring),
              Milliseconds(23 * kMsPerHour));
    EXPECT_EQ(StartOfLocalDay(zone, autumn + 1) - StartOfLocalDay(zone, autumn),
              Milliseconds(25 * kMsPerHour));
    EXPECT_EQ(StartOfLocalDay(zone, autumn), Utc(2026, 10, 24, 22));

    // 02:30 comes twice in autumn: first in summer time, then an hour later in winter time.
    const LocalTime twoThirty{2026, 10, 25, 2, 30};
    EXPECT_EQ(InstantIn(zone, twoThirty), Utc(2026, 10, 25, 0, 30));
    EXPECT_EQ(InstantIn(zone, twoThirty, RepeatedHour::Second), Utc(2026, 10, 25, 1, 30));
    // In spring it never comes: taken as the clock before the change would say it, 03:30.
    const LocalTime skipped{2026, 3, 29, 2, 30};
    EXPECT_EQ(InstantIn(zone, skipped), Utc(2026, 3, 29, 1, 30));
    EXPECT_EQ(LocalTimeIn(zone, InstantIn(zone, skipped)).hour, 3);
    // Every other local time of the year names one instant, which gives it back.
    for (int64_t day = DayNumberOf(2026, 1, 1); day < DayNumberOf(2027, 1, 1); ++day) {
        for (int hour = 0; hour < 24; hour += 1) {
            LocalTime local = LocalTimeAt(FromUnixMs(day * kMsPerDay + hour * kMsPerHour), 0);
            if ((day == spring && hour == 2) || (day == autumn && hour == 2)) {
                continue;
            }
            const Instant t = InstantIn(zone, local);
            const LocalTime back = LocalTimeIn(zone, t);
            ASSERT_EQ(back.hour, hour) << day;
            ASSERT_EQ(DayNumberOf(back.year, back.month, back.day), day);
        }
    }
}

TEST(Clock, TheFakeCentralEuropeanZoneAgreesWithTheSystemsTimeZoneData) {
    // The machine's zone data for Berlin, if there is one, says the same as the written-out
    // rule every hour of 2025 to 2040 (the tests of the clock change rely on that rule).
    const char* previous = std::getenv("TZ");
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    struct tm probe {};
    const time_t summer = 1783000000;  // July 2026
    localtime_r(&summer, &probe);
    if (probe.tm_gmtoff != 7200) {
        GTEST_SKIP() << "no time-zone data for Europe/Berlin on this machine";
    }
    const CentralEuropeZone fake;
    for (int64_t hour = UtcHourOf(Utc(2025, 1, 1, 0)); hour < UtcHourOf(Utc(2040, 1, 1, 0));
         ++hour) {
        const time_t t = static_cast<time_t>(hour * 3600);
        struct tm local {};
        localtime_r(&t, &local);
        ASSERT_EQ(fake.UtcOffsetAt(FromUnixMs(hour * kMsPerHour)), local.tm_gmtoff) << hour;
    }
    previous != nullptr ? ::setenv("TZ", previous, 1) : ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace tavrolin
