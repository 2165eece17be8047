// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "archive/FeedLines.h"

namespace boost::asio {
class io_context;
}

namespace tavrolin {

// tavrolin-web's reader of the receiving program's live feed (a Unix-domain socket): it
// connects, hands every line to its owner as it comes, and, when the feed is not there or
// goes (a logger stopped, killed or restarted, a feed that breaks its form), says so and
// tries again every `retry`. It only reads.
class FeedClient {
public:
    struct Handler {
        std::function<void(const FeedLine&)> line;         // greeting, readings, commits
        std::function<void()> taken;                       // after the lines of one read
        std::function<void(const std::string& why)> lost;  // after a greeting: it has gone
    };

    FeedClient(boost::asio::io_context& io, std::string path, Handler handler,
               std::chrono::milliseconds retry);
    ~FeedClient();
    FeedClient(const FeedClient&) = delete;
    FeedClient& operator=(const FeedClient&) = delete;

    void Start();
    void Stop();

    class Impl;

private:
    std::shared_ptr<Impl> m_impl;
};

}  // namespace tavrolin
