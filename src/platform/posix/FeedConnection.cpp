// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/FeedConnection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "platform/posix/UnixFeedPort.h"

namespace tavrolin {

namespace {
constexpr std::size_t kMostPerPump = 64 * 1024;
}

FeedConnection::~FeedConnection() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void FeedConnection::Pump(int64_t nowMs, const Handler& handler) {
    if (m_fd < 0) {
        sockaddr_un address;
        if (nowMs < m_retryAtMs || !FeedAddress(m_path, address)) {
            return;
        }
        m_retryAtMs = nowMs + m_retryMs;
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            return;
        }
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        m_reader.Reset();
        m_greeted = false;
    }
    // At most kMostPerPump bytes a call: a feed that greets with many readings not yet
    // committed (some 20 000 at 200 a second) is taken in as fast as its reader uses them,
    // not held whole in memory.
    std::array<char, 16 * 1024> buffer;
    for (std::size_t taken = 0; taken < kMostPerPump; taken += buffer.size()) {
        const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (n <= 0) {
            Close(nowMs, handler, "der Live-Kanal ist fort");
            return;
        }
        bool kept = true;
        const bool formed =
            m_reader.Take(std::string_view(buffer.data(), static_cast<std::size_t>(n)),
                          [&](const FeedLine& line) {
                              m_greeted = true;
                              kept = kept && handler.line(line);
                          });
        if (!formed) {
            Close(nowMs, handler, "der Live-Kanal sendet Unlesbares (" + m_reader.Problem() + ")");
            return;
        }
        if (!kept) {
            Close(nowMs, handler, "zu viele Messungen warten ungelesen");
            return;
        }
    }
}

void FeedConnection::Close(int64_t nowMs, const Handler& handler, const std::string& why) {
    ::close(m_fd);
    m_fd = -1;
    m_retryAtMs = nowMs + m_retryMs;
    if (m_greeted) {
        handler.lost(why);
    }
    m_greeted = false;
}

}  // namespace tavrolin
