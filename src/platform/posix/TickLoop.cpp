// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/TickLoop.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace tavrolin {

namespace {

// Ticks every period from now on.
bool SetPeriod(int timer, std::chrono::nanoseconds period) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(period);
    itimerspec setting{};
    setting.it_interval.tv_sec = static_cast<time_t>(seconds.count());
    setting.it_interval.tv_nsec = static_cast<long>((period - seconds).count());
    setting.it_value = setting.it_interval;
    return ::timerfd_settime(timer, 0, &setting, nullptr) == 0;
}

}  // namespace

TickLoopEnd RunTicks(std::chrono::nanoseconds period, int stopFd, const std::function<bool()>& tick,
                     const std::function<std::chrono::nanoseconds()>& nextPeriod) {
    const int timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timer < 0) {
        return TickLoopEnd::Failed;
    }
    if (period.count() <= 0 || !SetPeriod(timer, period)) {
        const int saved = errno;
        ::close(timer);
        errno = period.count() <= 0 ? EINVAL : saved;
        return TickLoopEnd::Failed;
    }

    TickLoopEnd end = TickLoopEnd::Failed;
    for (;;) {
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {timer, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        // A stop wins over a tick that fell due at the same time.
        if (fds[0].revents != 0) {
            end = TickLoopEnd::Stopped;
            break;
        }
        if (fds[1].revents & POLLIN) {
            // The count of expirations since the last read: more than one means ticks were
            // missed while the last one ran; they are not made up.
            uint64_t expirations = 0;
            if (::read(timer, &expirations, sizeof expirations) == sizeof expirations && !tick()) {
                end = TickLoopEnd::Ended;
                break;
            }
            if (nextPeriod) {
                const std::chrono::nanoseconds next = nextPeriod();
                if (next.count() > 0 && next != period && SetPeriod(timer, next)) {
                    period = next;
                }
            }
        }
    }
    const int saved = errno;
    ::close(timer);
    errno = saved;
    return end;
}

}  // namespace tavrolin
