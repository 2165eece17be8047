// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/LineWriter.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace tavrolin {

namespace {

// A line that went out in part is finished within this, or its rest is dropped.
constexpr std::chrono::milliseconds kRestLimit{200};

// Whether fd takes bytes now or before the deadline (0 ms: only now).
bool Writable(int fd, std::chrono::milliseconds wait) {
    pollfd p{fd, POLLOUT, 0};
    int r = 0;
    do {
        r = ::poll(&p, 1, static_cast<int>(wait.count()));
    } while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & POLLOUT) != 0;
}

}  // namespace

void LineWriter::WriteLine(std::string_view line) {
    if (m_gone) {
        return;
    }
    // A pipe or terminal that reports room takes a short line whole without blocking.
    if (!Writable(m_fd, std::chrono::milliseconds(0))) {
        ++m_dropped;
        return;
    }
    m_buffer.assign(line);
    m_buffer += '\n';
    std::string_view rest = m_buffer;
    const auto deadline = std::chrono::steady_clock::now() + kRestLimit;
    while (!rest.empty()) {
        const ssize_t n = ::write(m_fd, rest.data(), rest.size());
        if (n > 0) {
            rest.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (n < 0 && errno == EAGAIN && left.count() > 0 && Writable(m_fd, left)) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            m_gone = true;  // EPIPE: the reader closed; EBADF: there is no stdout
        }
        ++m_dropped;
        return;
    }
}

}  // namespace tavrolin
