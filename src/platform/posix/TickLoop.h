// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>

namespace tavrolin {

enum class TickLoopEnd {
    Stopped,  // the stop descriptor became readable
    Ended,    // a tick asked to end
    Failed,   // the wait failed, or the period is not positive (errno tells why)
};

// Calls tick every period until stopFd becomes readable or a tick returns false. The ticks lie on a
// fixed grid of the monotonic clock, so they do not drift however long each tick takes; a tick
// that overruns the period is followed by one tick at once, not by all the missed ones, as a
// window timer delivers a late tick once. Between ticks the loop sleeps in poll(2).
//
// When nextPeriod is given, it is asked after every tick for the period from then on (for a
// program that has nothing to do for a while and should not wake for nothing); a new period
// starts its grid at that tick.
TickLoopEnd RunTicks(std::chrono::nanoseconds period, int stopFd, const std::function<bool()>& tick,
                     const std::function<std::chrono::nanoseconds()>& nextPeriod = {});

}  // namespace tavrolin
