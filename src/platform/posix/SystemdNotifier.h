// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ServiceNotifier.h"

namespace tavrolin {

// systemd's notify protocol through libsystemd: a datagram to the socket named in
// NOTIFY_SOCKET, which systemd sets for a unit of Type=notify. Without it the process was
// not started that way, and nothing is sent.
class SystemdNotifier : public ServiceNotifier {
public:
    SystemdNotifier();
    // Started by a service manager that listens.
    bool Active() const { return m_active; }
    void Notify(std::string_view state) override;
    int64_t WatchdogTimeoutMs() const override { return m_watchdogMs; }

private:
    bool m_active = false;
    int64_t m_watchdogMs = 0;
};

}  // namespace tavrolin
