// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/LineWriter.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace tavrolin {

namespace {

// Lines that went out in part are finished within this, or their rest is dropped.
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

void LineWriter::WriteLines(std::string_view lines) {
    if (m_gone || lines.empty()) {
        return;
    }
    // A pipe or terminal that reports room takes a poll's few lines whole without blocking.
    if (!Writable(m_fd, std::chrono::milliseconds(0))) {
        Drop(lines);
        return;
    }
    std::string_view rest = lines;
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
        Drop(rest);
        return;
    }
}

void LineWriter::Drop(std::string_view lines) {
    m_dropped += static_cast<uint64_t>(std::count(lines.begin(), lines.end(), '\n'));
}

}  // namespace tavrolin
