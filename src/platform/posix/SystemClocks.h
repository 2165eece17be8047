// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/Clock.h"

namespace tavrolin {

// Local wall-clock time from CLOCK_REALTIME and the local time zone.
class SystemLocalClock : public LocalClock {
public:
    LocalTime Now() override;
};

// CLOCK_MONOTONIC_COARSE in milliseconds: it advances once per kernel tick, which is the
// coarse step the multiplexer's delay calibration counts reads against.
class SystemCoarseClock : public CoarseClock {
public:
    int64_t ReadMs() override;
};

}  // namespace tavrolin
