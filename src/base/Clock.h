// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tavrolin {

// Local wall-clock time, with milliseconds, as the receiver window stamps its records.
struct LocalTime {
    int year = 1601;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    // Seconds east of UTC that this local time is (3600 for CET, 7200 for CEST): enough to
    // place a record on the world's time line, which local time alone cannot across a change
    // to or from summer time.
    int utcOffsetSeconds = 0;
};

// The clock's larger units in milliseconds.
inline constexpr int64_t kMsPerMinute = 60000;
inline constexpr int64_t kMsPerHour = 60 * kMsPerMinute;
inline constexpr int64_t kMsPerDay = 24 * kMsPerHour;

// A quotient rounded towards minus infinity, so that a time before 1970 falls into the bucket
// or day that holds it.
constexpr int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// 100-ns ticks since 1601-01-01 00:00 of the given local time, with no time-zone conversion.
// This is the count the reception clocks hold.
uint64_t ToTickCount(const LocalTime& time);

// Milliseconds since 1970-01-01 00:00 UTC of the given local time and its offset.
int64_t ToUnixMs(const LocalTime& time);

// The reverse of ToUnixMs: the local time that is utcOffsetSeconds east of UTC at the given
// instant.
LocalTime FromUnixMs(int64_t unixMs, int utcOffsetSeconds);

// Reads the local wall-clock time.
class LocalClock {
public:
    virtual ~LocalClock();
    virtual LocalTime Now() = 0;
};

// A millisecond clock that advances in coarse steps (one kernel tick). The multiplexer
// signalling calibrates its line delays by counting reads of it within one step.
class CoarseClock {
public:
    virtual ~CoarseClock();
    virtual int64_t ReadMs() = 0;
};

}  // namespace tavrolin
