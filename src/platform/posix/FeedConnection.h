// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/FeedLines.h"

namespace tavrolin {

// A reader's end of the receiving program's live feed for a program with a poll loop of its
// own (tavrolin-upload): every call returns at once, and it only reads. Where the feed is not
// there (no receiving program runs), it is looked for again every `retryMs`.
class FeedConnection {
public:
    struct Handler {
        std::function<bool(const FeedLine&)> line;         // false: the reader drops the connection
        std::function<void(const std::string& why)> lost;  // after a greeting: it has gone
    };

    FeedConnection(std::string path, int64_t retryMs)
        : m_path(std::move(path)), m_retryMs(retryMs) {}
    ~FeedConnection();
    FeedConnection(const FeedConnection&) = delete;
    FeedConnection& operator=(const FeedConnection&) = delete;

    // Connects where it is not connected and the retry time has come, then hands each whole
    // line that has come to the handler: of some 64 KiB at most, so that a caller that uses
    // them before it calls again holds no more than that (Fd stays readable while more wait).
    void Pump(int64_t nowMs, const Handler& handler);
    // Readable when lines wait; -1 while not connected.
    int Fd() const { return m_fd; }
    // When Pump next wants to connect; none while connected.
    int64_t RetryAtMs() const { return m_fd >= 0 ? INT64_MAX : m_retryAtMs; }

private:
    void Close(int64_t nowMs, const Handler& handler, const std::string& why);

    std::string m_path;
    int64_t m_retryMs;
    int64_t m_retryAtMs = 0;
    int m_fd = -1;
    bool m_greeted = false;
    FeedReader m_reader;
};

}  // namespace tavrolin
