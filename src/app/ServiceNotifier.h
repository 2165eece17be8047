// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string_view>

namespace tavrolin {

// Tells the service manager that started the logger how it is: ready, still alive (the
// watchdog), and a line of status for `systemctl status`.
class ServiceNotifier {
public:
    virtual ~ServiceNotifier();
    // One or more "KEY=value" lines: READY=1, WATCHDOG=1, STATUS=...
    virtual void Notify(std::string_view state) = 0;
    // The time within which the manager wants to hear WATCHDOG=1 again; 0: it does not.
    virtual int64_t WatchdogTimeoutMs() const = 0;
};

}  // namespace tavrolin
