// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/UnixFeedPort.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace tavrolin {

namespace {

// What a reader's socket holds for it beyond what the feed keeps itself: small, so that one
// that does not read is found out by the feed's stall time, not after megabytes.
constexpr int kSendBuffer = 64 * 1024;

// True when a program answers on the socket at path.
bool Answered(const sockaddr_un& address) {
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return false;
    }
    const bool answered =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return answered;
}

}  // namespace

bool FeedAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

UnixFeedPort::~UnixFeedPort() {
    for (const int fd : m_readers) {
        ::close(fd);
    }
    if (m_ready >= 0) {
        ::close(m_ready);
    }
    if (m_listener >= 0) {
        ::close(m_listener);
        struct stat st {};
        if (::lstat(m_path.c_str(), &st) == 0 && st.st_ino == m_inode) {
            ::unlink(m_path.c_str());
        }
    }
}

bool UnixFeedPort::Listen(const std::string& path, std::string& error) {
    const auto fail = [&error, &path](const std::string& why) {
        error = "Der Live-Kanal " + path + " läßt sich nicht anbieten: " + why;
        return false;
    };
    sockaddr_un address;
    if (!FeedAddress(path, address)) {
        return fail("der Pfad ist zu lang.");
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    ::mkdir(folder.c_str(), 0700);  // a folder there already stays as it is
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode)) {
        return fail("den Ordner " + folder + " gibt es nicht.");
    }
    if (Answered(address)) {
        return fail("ein anderes Programm bietet ihn schon an.");
    }
    // A socket left by a program that ended without removing it is taken over; anything else
    // at the path (a file named there by mistake) is left alone.
    struct stat there {};
    if (::lstat(path.c_str(), &there) == 0) {
        if (!S_ISSOCK(there.st_mode)) {
            return fail("dort ist schon eine Datei, die kein Socket ist.");
        }
        ::unlink(path.c_str());
    }
    m_ready = ::epoll_create1(EPOLL_CLOEXEC);
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_ready < 0 || m_listener < 0 || !Watch(m_listener)) {
        return fail(std::strerror(errno));
    }
    // Made without rights for anyone, then given them: no moment in which others could
    // connect.
    const mode_t saved = ::umask(0777);
    const int bound =
        ::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int bindError = errno;
    ::umask(saved);
    const mode_t mode = (dir.st_mode & S_IRWXG) != 0 ? 0660 : 0600;
    struct stat made {};
    if (bound != 0 || ::chmod(path.c_str(), mode) != 0 || ::lstat(path.c_str(), &made) != 0 ||
        ::listen(m_listener, 16) != 0) {
        const int e = bound != 0 ? bindError : errno;
        ::close(m_listener);
        m_listener = -1;
        if (bound == 0) {
            ::unlink(path.c_str());
        }
        return fail(std::strerror(e));
    }
    m_path = path;
    m_inode = made.st_ino;
    return true;
}

bool UnixFeedPort::Watch(int fd) const {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    return ::epoll_ctl(m_ready, EPOLL_CTL_ADD, fd, &event) == 0;
}

void UnixFeedPort::Look(std::vector<int>& joined, std::vector<int>& gone) {
    if (m_listener < 0) {
        return;
    }
    // One epoll_wait(2) a tick, which costs the same however many readers there are: a
    // reader only shows when it says something or hangs up. What is not taken this tick
    // (more than fit) is still ready at the next.
    std::array<epoll_event, 32> events{};
    const int ready = ::epoll_wait(m_ready, events.data(), static_cast<int>(events.size()), 0);
    bool knocked = false;
    for (int i = 0; i < ready; ++i) {
        const int fd = events[static_cast<std::size_t>(i)].data.fd;
        if (fd == m_listener) {
            knocked = true;
            continue;
        }
        // Whatever a reader says is not listened to; a little is read so that its end shows.
        char ignored[512];
        const ssize_t n = ::recv(fd, ignored, sizeof ignored, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            gone.push_back(fd);
        }
    }
    for (const int fd : gone) {
        Drop(fd);
    }
    while (knocked) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            break;  // none waits (or out of descriptors: the next tick tries again)
        }
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
        if (!Watch(fd)) {
            ::close(fd);  // no memory for it: it may try again
            continue;
        }
        m_readers.push_back(fd);
        joined.push_back(fd);
    }
}

std::ptrdiff_t UnixFeedPort::Send(int reader, std::string_view bytes) {
    const ssize_t n = ::send(reader, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) {
        return n;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return 0;
    }
    Drop(reader);
    return -1;
}

void UnixFeedPort::Drop(int reader) {
    const auto it = std::find(m_readers.begin(), m_readers.end(), reader);
    if (it != m_readers.end()) {
        ::epoll_ctl(m_ready, EPOLL_CTL_DEL, reader, nullptr);
        ::close(reader);
        m_readers.erase(it);
    }
}

std::unique_ptr<FeedPort> ListenForFeedReaders(const std::string& path, std::string& error) {
    auto port = std::make_unique<UnixFeedPort>();
    if (!port->Listen(path, error)) {
        return nullptr;
    }
    return port;
}

}  // namespace tavrolin
