// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/PseudoTerminal.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/FileSystem.h"
#include "platform/posix/PosixFileSystem.h"

namespace tavrolin::sim {

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string LinkError(const std::string& link) {
    return "Der Link " + ShownFilePath(link) + " läßt sich nicht anlegen";
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

PseudoTerminal::~PseudoTerminal() {
    CloseFd(m_watch);
    CloseFd(m_keeper);
    CloseFd(m_master);
}

// Raw bytes, 19200 baud, 8 data bits, odd parity, 2 stop bits, as the receiver's port. A
// pty ignores the speed; depending on the kernel it drops PARENB silently or refuses it
// with EINVAL, so the line is set again without parity when the first attempt fails.
void PseudoTerminal::SetLine(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        return;
    }
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B19200);
    ::cfsetospeed(&t, B19200);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | PARENB | PARODD | CSTOPB | CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD);
        ::tcsetattr(fd, TCSANOW, &t);
    }
}

bool PseudoTerminal::OpenKeeper() {
    m_keeper = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_keeper < 0) {
        return false;
    }
    SetLine(m_keeper);
    return true;
}

bool PseudoTerminal::Open(std::string& error) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        error = SystemError("Es läßt sich kein Pseudo-Terminal öffnen");
        return false;
    }
    const char* name = ::ptsname(m_master);
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 || name == nullptr) {
        error = SystemError("Das Pseudo-Terminal läßt sich nicht freigeben");
        return false;
    }
    m_slavePath = name;
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    termios t{};
    if (::tcgetattr(m_master, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(m_master, TCSANOW, &t);
    }
    if (!OpenKeeper()) {
        error = SystemError("Das Pseudo-Terminal " + m_slavePath + " läßt sich nicht öffnen");
        return false;
    }
    // The watch comes after the simulator's own open, so every event is a program's.
    m_watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch >= 0 && ::inotify_add_watch(m_watch, m_slavePath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        ::close(m_watch);
        m_watch = -1;
    }
    return true;
}

void PseudoTerminal::ReopenKeeper() {
    // The close of the old descriptor and the open of the new one reach the watch as a pair
    // and cancel out in the count of programs.
    if (m_keeper >= 0) {
        ::close(m_keeper);
    }
    OpenKeeper();
}

void PseudoTerminal::ResetLine() {
    // Root ignores TIOCEXCL, everybody else would be refused until it is cleared. A
    // descriptor that a hangup has killed answers EIO; a fresh one does the job.
    if (::ioctl(m_keeper, TIOCNXCL) != 0 && errno == EIO) {
        ReopenKeeper();
        ::ioctl(m_keeper, TIOCNXCL);
    }
    // Input only: the program's own unread output sits in the master's queue and must
    // still be read (a stop command right before the close).
    ::tcflush(m_keeper, TCIFLUSH);
    SetLine(m_keeper);
}

bool PseudoTerminal::ReadWatch() {
    if (m_watch < 0) {
        return false;
    }
    const bool before = ClientPresent();
    alignas(inotify_event) char buffer[4096];
    // The count may dip below its true value within a batch (a close read before the
    // matching open); only the count after the whole batch counts.
    while (m_watch >= 0) {
        const ssize_t n = ::read(m_watch, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // Lost count: better a program too many than a line that stays mute.
                m_clients = std::max(m_clients, 1);
            } else if (event->mask & IN_IGNORED) {
                // The node went away under the watch: no more news of programs.
                ::close(m_watch);
                m_watch = -1;
                break;
            } else if (event->mask & IN_OPEN) {
                ++m_clients;
            } else if (event->mask & IN_CLOSE) {
                --m_clients;
            }
        }
    }
    const bool after = ClientPresent();
    if (before && !after) {
        m_clients = 0;
        ResetLine();
    }
    return before != after;
}

bool PseudoTerminal::RecoverFromHangup() {
    ReopenKeeper();
    return m_keeper >= 0;
}

bool CreateLink(const std::string& link, const std::string& target, std::string& error) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = LinkError(link) +
                ": Dort steht eine Datei, die kein symbolischer Link ist; "
                "sie bleibt, wie sie ist.";
        return false;
    }
    // A new link under a temporary name renamed over the old one: the path never dangles.
    const std::string temp = link + ".tmp" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0) {
        error = LinkError(link) +
                std::string(FileErrorReason(FileErrorFromErrno(errno), FileAccess::Write));
        return false;
    }
    if (::rename(temp.c_str(), link.c_str()) != 0) {
        error = LinkError(link) +
                std::string(FileErrorReason(FileErrorFromErrno(errno), FileAccess::Write));
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
    char buffer[4096];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    // Another simulator may have taken the path over meanwhile; its link stays.
    if (n >= 0 && std::string(buffer, static_cast<std::size_t>(n)) == target) {
        ::unlink(link.c_str());
    }
}

}  // namespace tavrolin::sim
