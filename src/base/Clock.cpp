// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Clock.h"

namespace tavrolin {

LocalClock::~LocalClock() = default;
CoarseClock::~CoarseClock() = default;

namespace {

// Days from 1601-01-01 to the given proleptic Gregorian date (H. Hinnant's days_from_civil,
// shifted from the 1970 epoch to 1601).
int64_t DaysSince1601(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t daysSince1970 = era * 146097 + static_cast<int64_t>(doe) - 719468;
    constexpr int64_t kDays1601To1970 = 134774;
    return daysSince1970 + kDays1601To1970;
}

// The reverse for the 1970 epoch (H. Hinnant's civil_from_days).
void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

uint64_t ToTickCount(const LocalTime& t) {
    const int64_t days =
        DaysSince1601(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day));
    const int64_t ms =
        ((days * 24 + t.hour) * 60 + t.minute) * 60000 + int64_t{t.second} * 1000 + t.millisecond;
    return static_cast<uint64_t>(ms) * 10000;
}

int64_t ToUnixMs(const LocalTime& t) {
    // 1601-01-01 to 1970-01-01 in 100-ns ticks.
    constexpr int64_t kTicks1601To1970 = 116444736000000000;
    const auto localMs = (static_cast<int64_t>(ToTickCount(t)) - kTicks1601To1970) / 10000;
    return localMs - int64_t{t.utcOffsetSeconds} * 1000;
}

LocalTime FromUnixMs(int64_t unixMs, int utcOffsetSeconds) {
    const int64_t localMs = unixMs + int64_t{utcOffsetSeconds} * 1000;
    int64_t days = localMs / kMsPerDay;
    int64_t msOfDay = localMs % kMsPerDay;
    if (msOfDay < 0) {
        msOfDay += kMsPerDay;
        --days;
    }
    LocalTime t;
    CivilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(msOfDay / kMsPerHour);
    t.minute = static_cast<int>(msOfDay / kMsPerMinute % 60);
    t.second = static_cast<int>(msOfDay / 1000 % 60);
    t.millisecond = static_cast<int>(msOfDay % 1000);
    t.utcOffsetSeconds = utcOffsetSeconds;
    return t;
}
}  // namespace tavrolin
