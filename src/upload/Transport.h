// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "upload/Encoders.h"

namespace tavrolin {

// What came back from a network's server: its status and body, or why there was no answer.
struct HttpAnswer {
    long status = 0;  // 0: no answer (no connection, a time-out, a certificate refused)
    std::string body;
    std::string retryAfter;  // the Retry-After header, where there is one
    std::string failure;     // German, where there was no answer
};

// HTTPS (and HTTP, for a server that stands in) to the networks: libcurl in the program,
// a fake in the tests.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual HttpAnswer Send(const HttpRequest& request) = 0;
};

// APRS-IS gives no acknowledgement of a packet: delivered means the server greeted, answered
// the login and took the packet's line.
struct AprsAnswer {
    bool delivered = false;
    std::string serverText;  // the server's login answer ("# logresp CW1234 unverified, …")
    std::string failure;     // German
};

// A plain TCP connection to an APRS-IS server ("host:port"): greeting, login, one packet.
class AprsClient {
public:
    virtual ~AprsClient() = default;
    virtual AprsAnswer Send(std::string_view address, std::string_view login,
                            std::string_view packet) = 0;
};

}  // namespace tavrolin
