// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/Clock.h"

namespace tavrolin {

// The wall clock: CLOCK_REALTIME.
class SystemWallClock : public WallClock {
public:
    Instant Now() override;
};

// The machine's time zone, as the C library knows it (TZ, /etc/localtime).
class SystemTimeZone : public TimeZone {
public:
    int UtcOffsetAt(Instant t) const override;
};

// CLOCK_MONOTONIC_COARSE in milliseconds: it advances once per kernel tick, which is the
// coarse step the multiplexer's delay calibration counts reads against.
class SystemCoarseClock : public CoarseClock {
public:
    int64_t ReadMs() override;
};

}  // namespace tavrolin
