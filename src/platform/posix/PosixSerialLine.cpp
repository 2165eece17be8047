// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PosixSerialLine.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

namespace tavrolin {

namespace {

using Clock = std::chrono::steady_clock;

// A write that the line cannot take at once waits for room, but not for ever: the
// receiver's thread must come back. A command frame takes 6 ms on the line.
constexpr std::chrono::milliseconds kWriteLimit{1000};

bool ReadCounters(int fd, LineErrorCounts& counts) {
    serial_icounter_struct icount{};
    if (::ioctl(fd, TIOCGICOUNT, &icount) != 0) {
        return false;
    }
    counts.parity = static_cast<uint32_t>(icount.parity);
    counts.frame = static_cast<uint32_t>(icount.frame);
    counts.overrun = static_cast<uint32_t>(icount.overrun);
    counts.bufOverrun = static_cast<uint32_t>(icount.buf_overrun);
    counts.brk = static_cast<uint32_t>(icount.brk);
    return true;
}

}  // namespace

std::string DefaultPortPath(int portNumber) {
    return portNumber < 1 ? std::string() : "/dev/ttyS" + std::to_string(portNumber - 1);
}

PortOpenReason PortOpenReasonFromErrno(int error) {
    switch (error) {
        case 0:
            return PortOpenReason::None;
        // EBUSY: another holder set TIOCEXCL; EWOULDBLOCK: another holder has the flock.
        case EBUSY:
        case EWOULDBLOCK:
            return PortOpenReason::InUse;
        // ENXIO and ENODEV: a node in /dev whose driver has no device behind it (a ttyS
        // without a UART, a ttyUSB whose adapter went).
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return PortOpenReason::NoDevice;
        case EACCES:
        case EPERM:
            return PortOpenReason::NoPermission;
        case EISDIR:
        case ENOTTY:
            return PortOpenReason::NotALine;
        default:
            return PortOpenReason::Other;
    }
}

LineError OpenErrorFromErrno(int error) {
    switch (PortOpenReasonFromErrno(error)) {
        case PortOpenReason::None:
            return LineError::None;
        case PortOpenReason::InUse:
            return LineError::InUse;
        default:
            return LineError::CannotOpen;
    }
}

bool DeviceGoneErrno(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

PosixSerialLine::PosixSerialLine(PortPathResolver resolvePath)
    : m_resolvePath(std::move(resolvePath)) {}

PosixSerialLine::~PosixSerialLine() {
    Close();
}

LineError PosixSerialLine::Open(int portNumber) {
    if (m_fd >= 0) {
        return LineError::InUse;
    }
    m_path = m_resolvePath ? m_resolvePath(portNumber) : std::string();
    m_openReason = PortOpenReason::None;
    m_openErrno = 0;
    if (m_path.empty()) {
        return Refused(PortOpenReason::NoDevice, 0);
    }
    // O_NONBLOCK: neither the open (waiting for carrier) nor any later read may block.
    const int fd = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return Refused(PortOpenReasonFromErrno(error), error);
    }
    const auto fail = [this, fd](PortOpenReason reason, int error) {
        ::close(fd);
        return Refused(reason, error);
    };
    // Only a terminal device is a line: a regular file, a fifo or /dev/null would take the
    // bytes and never answer.
    struct stat st {};
    termios current{};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || ::tcgetattr(fd, &current) != 0) {
        return fail(PortOpenReason::NotALine, 0);
    }
    // Two locks, because neither is enough alone. flock settles the race between two
    // programs opening at the same moment (both get through open() before either could set
    // TIOCEXCL); only one gets the lock. TIOCEXCL then makes every further open() of the tty
    // fail with EBUSY, also for terminal programs that know nothing of flock (root passes
    // it, but not the flock). Taken after the flock, so a refused open never leaves the
    // flag on someone else's line.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        return fail(PortOpenReasonFromErrno(error), error);
    }
    ::ioctl(fd, TIOCEXCL);

    m_fd = fd;
    m_gone = false;
    // The line's settings, once. A pseudo-terminal has no use for parity, and some kernels
    // refuse it there; the byte line must still be raw, or line editing and signal
    // characters would eat the receiver's bytes.
    const termios wanted = ReceiverLine(current);
    if (::tcsetattr(m_fd, TCSANOW, &wanted) != 0 && errno == EINVAL) {
        termios withoutParity = wanted;
        withoutParity.c_cflag &= ~(PARENB | PARODD);
        ::tcsetattr(m_fd, TCSANOW, &withoutParity);
    }
    // The kernel raises DTR and RTS when it opens a serial line (and when it leaves the
    // hang-up speed B0); the multiplexer needs both down until it is addressed. A pty has no
    // modem lines: ENOTTY, ignored.
    ChangeModemLines(TIOCM_DTR | TIOCM_RTS, false);
    // Whatever the line brought before it was ours is no answer and no telegram of this run.
    ::tcflush(m_fd, TCIOFLUSH);
    // Faults count from here; a pty has no counters, so it never reports any.
    m_haveCounters = ReadCounters(m_fd, m_counters);
    return LineError::None;
}

LineError PosixSerialLine::Refused(PortOpenReason reason, int error) {
    m_openReason = reason;
    m_openErrno = error;
    return reason == PortOpenReason::InUse ? LineError::InUse : LineError::CannotOpen;
}

void PosixSerialLine::Close() {
    if (m_fd >= 0) {
        // The exclusive flag belongs to the tty, not to this descriptor: a pty slave lives on
        // with its master and would refuse every ordinary user's open with EBUSY after we
        // are gone. Give it back first.
        ::ioctl(m_fd, TIOCNXCL);
        // Releases the flock too. Not retried on EINTR: Linux has freed the descriptor.
        ::close(m_fd);
        m_fd = -1;
    }
    m_gone = false;
    m_haveCounters = false;
}

LineRead PosixSerialLine::Read(std::span<uint8_t> buffer) {
    LineRead result;
    if (m_fd < 0 || m_gone) {
        result.error = m_gone ? LineError::Gone : LineError::Failed;
        return result;
    }
    ssize_t n;
    do {
        n = ::read(m_fd, buffer.data(), buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        result.count = static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // Nothing has come.
    } else if (n == 0 && (buffer.empty() || !HungUp())) {
        // An empty buffer, or a line whose VMIN did not take: nothing has come.
    } else {
        // A hung-up tty reads as end of file (a USB adapter pulled, a pty whose master
        // closed); some drivers give EIO instead.
        m_gone = n == 0 || DeviceGoneErrno(errno);
        result.error = m_gone ? LineError::Gone : LineError::Failed;
        return result;
    }
    result.faults = NewFaults();
    return result;
}

uint8_t PosixSerialLine::NewFaults() {
    LineErrorCounts now;
    if (!m_haveCounters || !ReadCounters(m_fd, now)) {
        return 0;
    }
    const uint8_t faults = LineFaultsBetween(m_counters, now);
    m_counters = now;
    return faults;
}

InputWait PosixSerialLine::WaitForInput(std::chrono::milliseconds& timeLeft) {
    if (m_fd < 0 || m_gone) {
        return InputWait::Failed;
    }
    switch (WaitFor(POLLIN, timeLeft)) {
        case Readiness::Ready:
            return InputWait::Arrived;
        case Readiness::TimedOut:
            return InputWait::TimedOut;
        case Readiness::HungUp:
            m_gone = true;
            return InputWait::Failed;
        case Readiness::Failed:
            return InputWait::Failed;
    }
    return InputWait::Failed;
}

void PosixSerialLine::DiscardInput() {
    if (m_fd >= 0) {
        ::tcflush(m_fd, TCIFLUSH);
    }
}

bool PosixSerialLine::Write(std::span<const uint8_t> bytes) {
    if (m_fd < 0 || m_gone) {
        return false;
    }
    std::chrono::milliseconds timeLeft = kWriteLimit;
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        const int error = n < 0 ? errno : 0;
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            continue;
        }
        if (error == EINTR) {
            continue;
        }
        if (error == EAGAIN || error == EWOULDBLOCK) {
            // The kernel's output queue is full: the line drains it at the baud rate.
            const Readiness r = WaitFor(POLLOUT, timeLeft);
            if (r == Readiness::HungUp) {
                m_gone = true;
            }
            if (r != Readiness::Ready) {
                return false;
            }
            continue;
        }
        m_gone = DeviceGoneErrno(error) || HungUp();
        return false;
    }
    return true;
}

bool PosixSerialLine::SetDtr(bool high) {
    return m_fd >= 0 && ChangeModemLines(TIOCM_DTR, high);
}

bool PosixSerialLine::SetRts(bool high) {
    return m_fd >= 0 && ChangeModemLines(TIOCM_RTS, high);
}

bool PosixSerialLine::ChangeModemLines(int lines, bool high) {
    return ::ioctl(m_fd, high ? TIOCMBIS : TIOCMBIC, &lines) == 0;
}

bool PosixSerialLine::HungUp() const {
    pollfd p{m_fd, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

PosixSerialLine::Readiness PosixSerialLine::WaitFor(short events,
                                                    std::chrono::milliseconds& timeLeft) const {
    const Clock::time_point deadline = Clock::now() + timeLeft;
    for (;;) {
        timeLeft = std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()),
                            std::chrono::milliseconds(0));
        pollfd p{m_fd, events, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(timeLeft.count(), INT_MAX)));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0) {
            return Readiness::Failed;
        }
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return Readiness::HungUp;
        }
        if (r > 0) {
            timeLeft =
                std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()),
                         std::chrono::milliseconds(0));
            return Readiness::Ready;
        }
        if (Clock::now() >= deadline) {
            timeLeft = std::chrono::milliseconds(0);
            return Readiness::TimedOut;
        }
    }
}

}  // namespace tavrolin
