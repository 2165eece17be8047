// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Clock.h"

#include <algorithm>

namespace tavrolin {

TimeZone::~TimeZone() = default;
WallClock::~WallClock() = default;
CoarseClock::~CoarseClock() = default;

namespace {

// The reverse of DayNumberOf (H. Hinnant's civil_from_days).
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

// The local time as if it were UTC: the milliseconds a wall clock shows, counted from 1970.
int64_t WallMs(const LocalTime& t) {
    return ((DayNumberOf(t.year, t.month, t.day) * 24 + t.hour) * 60 + t.minute) * kMsPerMinute +
           int64_t{t.second} * 1000 + t.millisecond;
}

}  // namespace

int64_t DayNumberOf(int year, int month, int day) {
    // H. Hinnant's days_from_civil.
    const int64_t y = int64_t{year} - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const auto m = static_cast<unsigned>(month);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + static_cast<unsigned>(day) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int WeekdayOf(int64_t dayNumber) {
    // 1970-01-01 was a Thursday.
    return static_cast<int>(((dayNumber + 3) % 7 + 7) % 7);
}

LocalTime LocalTimeAt(Instant t, int utcOffsetSeconds) {
    const int64_t localMs = UnixMs(t) + int64_t{utcOffsetSeconds} * 1000;
    const int64_t days = FloorDiv(localMs, kMsPerDay);
    const int64_t msOfDay = localMs - days * kMsPerDay;
    LocalTime local;
    CivilFromDays(days, local.year, local.month, local.day);
    local.hour = static_cast<int>(msOfDay / kMsPerHour);
    local.minute = static_cast<int>(msOfDay / kMsPerMinute % 60);
    local.second = static_cast<int>(msOfDay / 1000 % 60);
    local.millisecond = static_cast<int>(msOfDay % 1000);
    local.utcOffsetSeconds = utcOffsetSeconds;
    return local;
}

Instant InstantOf(const LocalTime& t) {
    return FromUnixMs(WallMs(t) - int64_t{t.utcOffsetSeconds} * 1000);
}

const TimeZone& UtcZone() {
    static const FixedOffsetZone utc(0);
    return utc;
}

LocalTime LocalTimeIn(const TimeZone& zone, Instant t) {
    return LocalTimeAt(t, zone.UtcOffsetAt(t));
}

Instant InstantIn(const TimeZone& zone, const LocalTime& time, RepeatedHour repeated) {
    // The offsets a day before and a day after are those on either side of any change near
    // this time (zones change at most twice a year). Each gives a candidate; one that the
    // zone agrees with is the answer, the earlier of two where the hour comes twice.
    const int64_t wall = WallMs(time);
    const int before = zone.UtcOffsetAt(FromUnixMs(wall - kMsPerDay));
    const int after = zone.UtcOffsetAt(FromUnixMs(wall + kMsPerDay));
    const Instant first = FromUnixMs(wall - int64_t{before} * 1000);
    const Instant second = FromUnixMs(wall - int64_t{after} * 1000);
    const bool firstFits = zone.UtcOffsetAt(first) == before;
    const bool secondFits = zone.UtcOffsetAt(second) == after;
    if (firstFits && secondFits) {
        return repeated == RepeatedHour::Second ? std::max(first, second) : std::min(first, second);
    }
    if (secondFits) {
        return second;
    }
    // Fits, or a time the change skips: on the clock as it was before the change.
    return first;
}

Instant StartOfLocalDay(const TimeZone& zone, int64_t dayNumber) {
    LocalTime midnight;
    CivilFromDays(dayNumber, midnight.year, midnight.month, midnight.day);
    // Where a change to summer time skips midnight, the day begins at the time that follows
    // (InstantIn's rule for a skipped time).
    return InstantIn(zone, midnight);
}

Instant BucketStart(const TimeZone& zone, Instant t, int64_t bucketMs) {
    if (bucketMs % kMsPerDay == 0) {
        const int64_t days = bucketMs / kMsPerDay;
        return StartOfLocalDay(zone, FloorDiv(LocalDayIn(zone, t), days) * days);
    }
    const int64_t shift = int64_t{zone.UtcOffsetAt(t)} * 1000;
    const int64_t wall = UnixMs(t) + shift;
    const Instant own = FromUnixMs(FloorDiv(wall, bucketMs) * bucketMs - shift);
    if (bucketMs <= kMsPerHour) {
        return own;
    }
    const Instant first =
        InstantIn(zone, LocalTimeAt(FromUnixMs(FloorDiv(wall, bucketMs) * bucketMs), 0));
    return first <= t ? first : own;
}

Instant BucketEnd(const TimeZone& zone, Instant start, int64_t bucketMs) {
    if (bucketMs % kMsPerDay == 0) {
        return StartOfLocalDay(zone, LocalDayIn(zone, start) + bucketMs / kMsPerDay);
    }
    if (bucketMs <= kMsPerHour) {
        return start + Milliseconds(bucketMs);
    }
    const int64_t wall = UnixMs(start) + int64_t{zone.UtcOffsetAt(start)} * 1000;
    const Instant next =
        InstantIn(zone, LocalTimeAt(FromUnixMs((FloorDiv(wall, bucketMs) + 1) * bucketMs), 0));
    return next > start ? next : start + Milliseconds(bucketMs);
}

}  // namespace tavrolin
