// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace tavrolin {

// A point on the world's time line, in milliseconds since 1970-01-01 00:00 UTC: the time of
// every reading, of every row of the archive, of every chart's range. The difference of two
// instants is the time that passed between them, whatever the clocks on the wall did in
// between: the change to and from summer time moves local time by an hour and instants not
// at all. Local time is for people to read, and is made from an instant only where they do.
using Instant = std::chrono::sys_time<std::chrono::milliseconds>;
using Milliseconds = std::chrono::milliseconds;

// The clock's larger units in milliseconds.
inline constexpr int64_t kMsPerMinute = 60000;
inline constexpr int64_t kMsPerHour = 60 * kMsPerMinute;
inline constexpr int64_t kMsPerDay = 24 * kMsPerHour;

// The instant as the archive and the outside world count it, and back.
constexpr int64_t UnixMs(Instant t) {
    return t.time_since_epoch().count();
}
constexpr Instant FromUnixMs(int64_t ms) {
    return Instant(Milliseconds(ms));
}

// A quotient rounded towards minus infinity, so that a time before 1970 falls into the bucket
// or day that holds it.
constexpr int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// The hours and local days the summaries, the rain's sums and the charts count in: an hour is
// one of UTC (every hour that passes is one, also the one the clocks repeat in autumn); a
// local day is the date of a local time, numbered from 1970-01-01 (day 0), and lasts 23, 24
// or 25 hours.
constexpr int64_t UtcHourOf(Instant t) {
    return FloorDiv(UnixMs(t), kMsPerHour);
}
constexpr int64_t UtcMinuteOf(Instant t) {
    return FloorDiv(UnixMs(t), kMsPerMinute);
}
constexpr int64_t LocalDayOf(Instant t, int utcOffsetSeconds) {
    return FloorDiv(UnixMs(t) + int64_t{utcOffsetSeconds} * 1000, kMsPerDay);
}

// A local wall-clock time, broken down, with the offset from UTC it was read with: what a
// person reads ("14:03:07", "07.12.2026") and what the protocol file writes.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    // Seconds east of UTC (3600 for CET, 7200 for CEST).
    int utcOffsetSeconds = 0;
};

// The local time that is utcOffsetSeconds east of UTC at the instant, and back.
LocalTime LocalTimeAt(Instant t, int utcOffsetSeconds);
Instant InstantOf(const LocalTime& time);
// The local day's number (LocalDayOf) of a date.
int64_t DayNumberOf(int year, int month, int day);
// 0 Monday .. 6 Sunday.
int WeekdayOf(int64_t dayNumber);

// The machine's time zone: how far local time is from UTC at an instant.
class TimeZone {
public:
    virtual ~TimeZone();
    virtual int UtcOffsetAt(Instant t) const = 0;
};

// A zone a fixed offset from UTC; UtcZone() is UTC itself.
class FixedOffsetZone : public TimeZone {
public:
    explicit FixedOffsetZone(int utcOffsetSeconds) : m_offset(utcOffsetSeconds) {}
    int UtcOffsetAt(Instant) const override { return m_offset; }

private:
    int m_offset;
};
const TimeZone& UtcZone();

// Local time in the zone at the instant.
LocalTime LocalTimeIn(const TimeZone& zone, Instant t);
// The instant a local day begins in the zone: its 00:00 (the first 00:00 where the clocks
// are set back over midnight, the time after it where they skip it).
Instant StartOfLocalDay(const TimeZone& zone, int64_t dayNumber);
// The local day of the instant in the zone.
inline int64_t LocalDayIn(const TimeZone& zone, Instant t) {
    return LocalDayOf(t, zone.UtcOffsetAt(t));
}

// The buckets of a chart and of a report, in one rule for the charts' queries (from the
// readings, the hour and the day summaries), the readings that join a chart as they come, a
// cursor's readout and the reports' days and months. A bucket of bucketMs holds the local
// times from a whole multiple of its length on:
//   - a day or several: from the start of a local day (StartOfLocalDay; 23 to 25 hours), the
//     runs of days counted from 1970-01-01;
//   - an hour or less (a length that divides the hour): the hour's or its part's of local time
//     as the instant's own offset gives it, so that the hour the clocks repeat in autumn
//     is two buckets and every bucket is its length long;
//   - two to twelve hours (lengths that divide the day): from a whole multiple of local
//     wall-clock time since midnight, the first time the clocks show it; the bucket over a
//     change is an hour shorter or longer (in spring 00:00-06:00 is five hours).
// Where a zone's offset is whole hours, an hour bucket is one hour of UTC, as the hour summaries
// count them.
Instant BucketStart(const TimeZone& zone, Instant t, int64_t bucketMs);
// The start of the bucket after the one that starts at `start`.
Instant BucketEnd(const TimeZone& zone, Instant start, int64_t bucketMs);

// The instant of a local wall-clock time in the zone (its utcOffsetSeconds is not looked
// at). In autumn, the hour the clocks are set back comes twice: `repeated` says which of the
// two is meant. A time that the change to summer time skips is taken as if the change had not
// happened yet (02:30 is 03:30 summer time).
enum class RepeatedHour { First, Second };
Instant InstantIn(const TimeZone& zone, const LocalTime& time,
                  RepeatedHour repeated = RepeatedHour::First);

// Reads the wall clock: the instant now.
class WallClock {
public:
    virtual ~WallClock();
    virtual Instant Now() = 0;
};

// A millisecond clock that advances in coarse steps (one kernel tick). The multiplexer
// signalling calibrates its line delays by counting reads of it within one step.
class CoarseClock {
public:
    virtual ~CoarseClock();
    virtual int64_t ReadMs() = 0;
};

}  // namespace tavrolin
