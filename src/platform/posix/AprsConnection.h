// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "upload/Transport.h"

namespace tavrolin {

// APRS-IS over a plain TCP connection: waits for the server's "#" greeting, sends the login,
// waits for its "# logresp" line, sends the packet and closes. Every step is bounded by
// the time-out (kTimeoutMs), so a server that accepts and then says nothing cannot hold the uploads
// up.
class PosixAprsClient : public AprsClient {
public:
    static constexpr int kTimeoutMs = 15000;

    explicit PosixAprsClient(int timeoutMs = kTimeoutMs) : m_timeoutMs(timeoutMs) {}
    AprsAnswer Send(std::string_view address, std::string_view login,
                    std::string_view packet) override;

private:
    int m_timeoutMs;
};

}  // namespace tavrolin
