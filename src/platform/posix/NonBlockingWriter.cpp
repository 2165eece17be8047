// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/NonBlockingWriter.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

NonBlockingWriter::NonBlockingWriter(int fd) : m_fd(fd), m_kind(Kind::AskFirst) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return;
    }
    if (S_ISREG(st.st_mode) || (S_ISCHR(st.st_mode) && !::isatty(fd))) {
        m_kind = Kind::NeverWaits;
    } else if (S_ISSOCK(st.st_mode)) {
        m_kind = Kind::Socket;
    }
}

ssize_t NonBlockingWriter::WriteNow(std::string_view bytes) const {
    if (m_kind == Kind::Socket) {
        return ::send(m_fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    return ::write(m_fd, bytes.data(), bytes.size());
}

void NonBlockingWriter::WriteLines(std::string_view lines) {
    if (m_gone || lines.empty()) {
        return;
    }
    // A pipe or terminal that reports room takes a poll's few lines whole without blocking.
    if (m_kind == Kind::AskFirst && !Writable(m_fd, std::chrono::milliseconds(0))) {
        Drop(lines);
        return;
    }
    std::string_view rest = lines;
    const auto deadline = std::chrono::steady_clock::now() + kRestLimit;
    while (!rest.empty()) {
        const ssize_t n = WriteNow(rest);
        if (n > 0) {
            rest.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN && rest.size() == lines.size()) {
            Drop(rest);  // nothing went out: the reader lags
            return;
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

void NonBlockingWriter::Drop(std::string_view lines) {
    m_dropped += static_cast<uint64_t>(std::count(lines.begin(), lines.end(), '\n'));
}

void KeepStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            ::open("/dev/null", O_RDWR);  // takes the lowest free number: this one
        }
    }
}

}  // namespace tavrolin
