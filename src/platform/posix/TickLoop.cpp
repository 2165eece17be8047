// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/TickLoop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace tavrolin {

namespace {

using Clock = std::chrono::steady_clock;

timespec Timespec(std::chrono::nanoseconds time) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(time);
    return {static_cast<time_t>(seconds.count()), static_cast<long>((time - seconds).count())};
}

}  // namespace

TickLoopEnd RunTicks(std::chrono::nanoseconds period, int stopFd, const std::function<bool()>& tick,
                     const std::function<std::chrono::nanoseconds()>& nextPeriod) {
    if (period.count() <= 0) {
        errno = EINVAL;
        return TickLoopEnd::Failed;
    }
    // The next tick's place on the grid. The wait for it is the poll's own time-out: one
    // system call a tick, where a timer descriptor would add a read of its count.
    Clock::time_point due = Clock::now() + period;
    for (;;) {
        const timespec wait = Timespec(std::max(due - Clock::now(), std::chrono::nanoseconds(0)));
        pollfd stop{stopFd, POLLIN, 0};
        const int ready = ::ppoll(&stop, 1, &wait, nullptr);
        if (ready < 0 && errno != EINTR) {
            return TickLoopEnd::Failed;
        }
        // A stop wins over a tick that fell due at the same time.
        if (ready > 0) {
            return TickLoopEnd::Stopped;
        }
        const Clock::time_point now = Clock::now();
        if (now < due) {
            continue;  // a signal, or a wake-up a little early
        }
        if (!tick()) {
            return TickLoopEnd::Ended;
        }
        if (nextPeriod) {
            if (const std::chrono::nanoseconds next = nextPeriod();
                next.count() > 0 && next != period) {
                // A new period starts its grid at this tick.
                period = next;
                due = now;
            }
        }
        due += period;
        // Ticks missed while this one ran are not made up: one comes at once, then the grid.
        if (due < Clock::now()) {
            due = Clock::now();
        }
    }
}

}  // namespace tavrolin
