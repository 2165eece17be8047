// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/SystemClocks.h"

#include <time.h>

namespace tavrolin {

Instant SystemWallClock::Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FromUnixMs(int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000);
}

int SystemTimeZone::UtcOffsetAt(Instant t) const {
    const time_t seconds = static_cast<time_t>(FloorDiv(UnixMs(t), 1000));
    tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return 0;
    }
    return static_cast<int>(local.tm_gmtoff);
}

int64_t SystemCoarseClock::ReadMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace tavrolin
