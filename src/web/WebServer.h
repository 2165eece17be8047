// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "web/WebOptions.h"

namespace boost::asio {
class io_context;
}

namespace tavrolin {

class Station;

// How much any one client may take: it faces a network, and a slow, silent or hostile client
// must cost a bounded amount of memory and time and never hold up the others.
struct WebLimits {
    std::size_t maxHeaderBytes = 8 * 1024;  // request line and header fields together: 431
    std::size_t maxTargetBytes = 2048;      // the request target: 414
    std::size_t maxFields = 50;             // header fields: 431
    std::size_t maxConnections = 256;       // at once; more are closed at once
    // Of one client address at once, so that one host cannot take every slot; behind a
    // reverse proxy, its clients share this.
    std::size_t maxConnectionsPerAddress = 128;
    std::size_t maxDownloads = 16;  // CSV downloads at once; more are answered 503
    // A request must arrive whole within readTimeout of its first byte being awaited; a
    // kept-alive connection waits idleTimeout for the next one.
    std::chrono::milliseconds readTimeout{10000};
    std::chrono::milliseconds idleTimeout{30000};
    // A response or an event must be taken by the client within this; a download must make
    // progress within it.
    std::chrono::milliseconds writeTimeout{15000};
    // An event-stream client whose unsent events grow beyond this is disconnected (it loads
    // what it missed when it comes back).
    std::size_t maxEventBacklog = 1024 * 1024;
    // After a wrong login from an address, its next is checked after this, doubled with
    // every one in a row up to the most; each failedLoginFade forgets one of them.
    std::chrono::milliseconds failedLoginDelay{250};
    std::chrono::milliseconds mostFailedLoginDelay{8000};
    std::chrono::milliseconds failedLoginFade{60000};
    std::chrono::milliseconds pollInterval{500};  // looks for new readings in the archive
    std::chrono::milliseconds feedRetry{1000};    // connects to a live feed that is not there
    std::chrono::milliseconds heartbeat{15000};   // a comment to every event stream
};

struct WebConfig {
    ListenAddress address{std::string(kDefaultWebHost), kDefaultWebPort};
    WebLimits limits;
    // A login when both are set: every request needs it.
    std::string user;
    std::string passwordHash;
    // HTTPS when both are set (PEM files).
    std::string certFile;
    std::string keyFile;
    // The receiving program's live feed; empty: the view follows the archive only.
    std::string livePath;
    // Chart.js of Debian's libjs-chart.js, a Depends: of the package.
    std::string chartJsPath = "/usr/share/javascript/chart.js/chart.min.js";
};

// The browser view's HTTP server (Boost.Beast on one Asio thread): the pages, the event
// stream, the JSON API and /metrics, all answered from the Station; nothing it serves changes
// anything. Runs on the io_context the caller runs.
class WebServer {
public:
    WebServer(boost::asio::io_context& io, Station& station, WebConfig config);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Loads the certificate, binds and listens, and starts following the archive. False with
    // a German reason.
    bool Start(std::string& error);
    // The port it listens on (the one chosen by the system for port 0).
    uint16_t Port() const;
    // Where it serves: "http://127.0.0.1:8470/", "https://[::1]:8470/".
    std::string Url() const;
    // Closes the listener and every connection.
    void Stop();

    class Impl;

private:
    std::shared_ptr<Impl> m_impl;
};

}  // namespace tavrolin
