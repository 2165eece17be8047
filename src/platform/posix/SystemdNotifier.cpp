// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/SystemdNotifier.h"

#include <systemd/sd-daemon.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace tavrolin {

SystemdNotifier::SystemdNotifier() {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    m_active = socket != nullptr && *socket != '\0';
    // WATCHDOG_USEC, for this process (WATCHDOG_PID, where set, must be ours).
    uint64_t usec = 0;
    if (m_active && sd_watchdog_enabled(0, &usec) > 0) {
        m_watchdogMs = static_cast<int64_t>(usec / 1000);
    }
}

void SystemdNotifier::Notify(std::string_view state) {
    if (m_active) {
        // The result is not looked at: a manager that stopped listening is no reason to stop
        // logging.
        sd_notify(0, std::string(state).c_str());
    }
}

}  // namespace tavrolin
