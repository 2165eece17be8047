// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/SystemClocks.h"

#include <time.h>

namespace tavrolin {

LocalTime SystemLocalClock::Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    LocalTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    // A leap second shows as :60 in some zones' data; keep the record in its minute.
    t.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    t.utcOffsetSeconds = static_cast<int>(local.tm_gmtoff);
    return t;
}

int64_t SystemCoarseClock::ReadMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace tavrolin
