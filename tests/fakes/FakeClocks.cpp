// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClocks.h"

namespace tavrolin::testing {

namespace {

// 01:00 UTC on the last Sunday of the month.
Instant LastSundayOneUtc(int year, int month) {
    const int64_t firstOfNext =
        month == 12 ? DayNumberOf(year + 1, 1, 1) : DayNumberOf(year, month + 1, 1);
    int64_t day = firstOfNext - 1;
    day -= (WeekdayOf(day) + 1) % 7;  // back to Sunday (6)
    return FromUnixMs(day * kMsPerDay + kMsPerHour);
}

}  // namespace

int CentralEuropeZone::UtcOffsetAt(Instant t) const {
    const int year = LocalTimeAt(t, 0).year;
    const bool summer = t >= LastSundayOneUtc(year, 3) && t < LastSundayOneUtc(year, 10);
    return summer ? 7200 : 3600;
}

int64_t FakeCoarseClock::ReadMs() {
    ++reads;
    if (++m_readsInStep > m_readsPerStep) {
        m_readsInStep = 1;
        m_now += m_stepMs;
    }
    return m_now;
}

}  // namespace tavrolin::testing
