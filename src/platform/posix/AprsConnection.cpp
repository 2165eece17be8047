// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/AprsConnection.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace tavrolin {

namespace {

constexpr std::size_t kLongestLine = 512;

class Socket {
public:
    ~Socket() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int fd = -1;
};

using SteadyClock = std::chrono::steady_clock;

int LeftMs(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool WaitFor(int fd, short events, SteadyClock::time_point deadline) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, LeftMs(deadline));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n > 0;
    }
}

// One line from the server, without its end; false on a time-out or a closed connection.
bool ReadLine(int fd, std::string& pending, std::string& line, SteadyClock::time_point deadline) {
    for (;;) {
        if (const std::size_t end = pending.find('\n'); end != std::string::npos) {
            line = pending.substr(0, end);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            pending.erase(0, end + 1);
            return true;
        }
        if (pending.size() > kLongestLine || !WaitFor(fd, POLLIN, deadline)) {
            return false;
        }
        char buffer[256];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            return false;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

bool WriteAll(int fd, std::string_view bytes, SteadyClock::time_point deadline) {
    while (!bytes.empty()) {
        if (!WaitFor(fd, POLLOUT, deadline)) {
            return false;
        }
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool Connect(Socket& socket, const std::string& host, const std::string& port,
             SteadyClock::time_point deadline, std::string& failure) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int e = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); e != 0) {
        failure = "Der Name " + host + " läßt sich nicht auflösen: " + ::gai_strerror(e);
        return false;
    }
    failure = "Keine Verbindung zu " + host + ":" + port;
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        Socket attempt;
        attempt.fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (attempt.fd < 0) {
            continue;
        }
        if (::connect(attempt.fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            failure += std::string(": ") + std::strerror(errno);
            continue;
        }
        if (!WaitFor(attempt.fd, POLLOUT, deadline)) {
            failure += " (Zeitüberschreitung)";
            continue;
        }
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(attempt.fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            failure += std::string(": ") + std::strerror(error);
            continue;
        }
        socket.fd = attempt.fd;
        attempt.fd = -1;
        break;
    }
    ::freeaddrinfo(found);
    return socket.fd >= 0;
}

}  // namespace

AprsAnswer PosixAprsClient::Send(std::string_view address, std::string_view login,
                                 std::string_view packet) {
    AprsAnswer answer;
    const std::size_t colon = address.rfind(':');
    std::string host(address.substr(0, colon));
    const std::string port =
        colon == std::string_view::npos ? "14580" : std::string(address.substr(colon + 1));
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(m_timeoutMs);
    Socket socket;
    if (!Connect(socket, host, port, deadline, answer.failure)) {
        return answer;
    }
    std::string pending, line;
    if (!ReadLine(socket.fd, pending, line, deadline) || !line.starts_with("#")) {
        answer.failure = "Der Server " + std::string(address) + " grüßt nicht mit einer #-Zeile";
        return answer;
    }
    if (!WriteAll(socket.fd, std::string(login) + "\r\n", deadline)) {
        answer.failure = "Die Anmeldung ließ sich nicht senden";
        return answer;
    }
    // Comments may come before the answer to the login.
    for (;;) {
        if (!ReadLine(socket.fd, pending, line, deadline)) {
            answer.failure = "Der Server beantwortet die Anmeldung nicht";
            return answer;
        }
        if (line.starts_with("# logresp")) {
            break;
        }
    }
    answer.serverText = line;
    if (!WriteAll(socket.fd, std::string(packet) + "\r\n", deadline)) {
        answer.failure = "Das Paket ließ sich nicht senden";
        return answer;
    }
    ::shutdown(socket.fd, SHUT_WR);
    answer.delivered = true;
    return answer;
}

}  // namespace tavrolin
