// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PosixCommDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <utility>

namespace tavrolin {

namespace {

// Without write time-outs a write would wait for ever on a line held off by flow control;
// the window's thread must come back, so a stalled write gives up after this.
constexpr uint32_t kUnboundedWriteLimitMs = 5000;

int LinesOf(EscapeCode code) {
    return code == EscapeCode::SetDtr || code == EscapeCode::ClrDtr ? TIOCM_DTR : TIOCM_RTS;
}

bool SetsLine(EscapeCode code) {
    return code == EscapeCode::SetDtr || code == EscapeCode::SetRts;
}

}  // namespace

std::string DefaultPortPath(std::string_view portName) {
    constexpr std::string_view kPrefix = "COM";
    if (!portName.starts_with(kPrefix)) {
        return {};
    }
    const std::string_view digits = portName.substr(kPrefix.size());
    if (digits.empty() || digits.front() == '0') {
        return {};
    }
    unsigned number = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc{} || end != digits.data() + digits.size() || number > 255) {
        return {};
    }
    return "/dev/ttyS" + std::to_string(number - 1);
}

OpenError OpenErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return OpenError::None;
        // EBUSY: another holder set TIOCEXCL; EWOULDBLOCK: another holder has the flock.
        case EBUSY:
        case EWOULDBLOCK:
            return OpenError::AlreadyOpen;
        default:
            return OpenError::CannotOpen;
    }
}

bool DeviceGoneErrno(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

PosixCommDevice::PosixCommDevice(PortPathResolver resolvePath)
    : m_resolvePath(std::move(resolvePath)) {}

PosixCommDevice::~PosixCommDevice() {
    Close();
}

OpenError PosixCommDevice::Open(std::string_view portName) {
    if (m_fd >= 0) {
        return OpenError::AlreadyOpen;
    }
    m_path = m_resolvePath ? m_resolvePath(portName) : std::string();
    const std::string& path = m_path;
    if (path.empty()) {
        return OpenError::CannotOpen;
    }
    // O_NONBLOCK: neither the open (waiting for carrier) nor any later read may block.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return OpenErrorFromErrno(errno);
    }
    const auto fail = [fd](OpenError error) {
        ::close(fd);
        return error;
    };
    // Only a terminal device is a port: a regular file, a fifo or /dev/null would take the
    // bytes and never answer.
    struct stat st {};
    termios current{};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || ::tcgetattr(fd, &current) != 0) {
        return fail(OpenError::CannotOpen);
    }
    // Two locks, because neither is enough alone. flock settles the race between two
    // programs opening at the same moment (both get through open() before either could set
    // TIOCEXCL); only one gets the lock. TIOCEXCL then makes every further open() of the tty
    // fail with EBUSY, also for terminal programs that know nothing of flock (root passes
    // it, but not the flock). Taken after the flock, so a refused open never leaves the
    // flag on someone else's port.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(OpenErrorFromErrno(errno));
    }
    ::ioctl(fd, TIOCEXCL);

    m_fd = fd;
    m_gone = false;
    m_state.Reset();
    m_timeouts = {};
    // A comm port is a byte line from the start, whatever the last user left behind; the
    // result is not examined (a pty, for one, drops settings it has no use for).
    MakeRawLine(current);
    ::tcsetattr(m_fd, TCSANOW, &current);
    ::tcgetattr(m_fd, &current);
    // The kernel raises DTR and RTS when it opens a serial port; the multiplexer needs both
    // down until it is addressed. (A pty has no modem lines: ENOTTY, ignored.)
    ChangeModemLines(TIOCM_DTR | TIOCM_RTS, false);
    m_lastDcb = DcbFromTermios(current, Dcb{});
    // Line errors count from here; a pty has no counters, so it never reports any.
    m_haveCounters = ReadCounters(m_counters);
    return OpenError::None;
}

void PosixCommDevice::Close() {
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
    m_state.Reset();
    m_lastDcb = {};
    m_haveCounters = false;
}

bool PosixCommDevice::PurgeComm(uint32_t flags) {
    if (m_fd < 0) {
        return false;
    }
    bool ok = true;
    if ((flags & comm::PURGE_RXCLEAR) != 0) {
        m_state.Purge(flags);
        ok = ::tcflush(m_fd, TCIFLUSH) == 0 && ok;
    }
    if ((flags & comm::PURGE_TXCLEAR) != 0) {
        ok = ::tcflush(m_fd, TCOFLUSH) == 0 && ok;
    }
    return ok;
}

bool PosixCommDevice::SetCommTimeouts(const CommTimeouts& timeouts) {
    // Reads never wait in this layer (they take what is queued); only writes use them.
    if (m_fd < 0) {
        return false;
    }
    m_timeouts = timeouts;
    return true;
}

bool PosixCommDevice::GetCommConfig(CommConfig& config, uint32_t& size) {
    if (m_fd < 0) {
        return false;
    }
    const uint32_t room = size;
    size = comm::COMMCONFIG_SIZE;
    termios t{};
    if (room < comm::COMMCONFIG_SIZE || ::tcgetattr(m_fd, &t) != 0) {
        return false;
    }
    config.dcb = DcbFromTermios(t, m_lastDcb);
    return true;
}

bool PosixCommDevice::SetCommConfig(const CommConfig& config, uint32_t size) {
    termios current{};
    if (m_fd < 0 || size < comm::COMMCONFIG_SIZE || ::tcgetattr(m_fd, &current) != 0) {
        return false;
    }
    const std::optional<termios> wanted = TermiosFromDcb(config.dcb, current);
    if (!wanted) {
        return false;
    }
    // What the layer keeps itself applies whatever the kernel makes of the rest.
    m_lastDcb = config.dcb;
    m_state.SetEventChar(config.dcb.evtChar);

    if (::tcsetattr(m_fd, TCSANOW, &*wanted) != 0 && errno == EINVAL) {
        // Some kernels refuse parity on a pty outright; the byte line must still be raw,
        // or line editing and signal characters would eat the receiver's bytes.
        termios withoutParity = *wanted;
        withoutParity.c_cflag &= ~(PARENB | PARODD | CMSPAR);
        ::tcsetattr(m_fd, TCSANOW, &withoutParity);
    }
    // Leaving the hang-up speed B0 makes the kernel raise DTR and RTS; put them where the
    // Dcb says.
    ApplyModemLineControl(config.dcb);
    termios actual{};
    return ::tcgetattr(m_fd, &actual) == 0 && SameLineSettings(*wanted, actual);
}

bool PosixCommDevice::SetCommMask(uint32_t eventMask) {
    if (m_fd < 0) {
        return false;
    }
    m_state.SetCommMask(eventMask);
    return true;
}

bool PosixCommDevice::CreateReadEvent() {
    if (m_fd < 0) {
        return false;
    }
    m_state.CreateReadEvent();
    return true;
}

bool PosixCommDevice::WaitCommEvent(uint32_t& eventMask) {
    // An event character that is still in the kernel has arrived all the same.
    if (m_fd < 0 || !Pull()) {
        return false;
    }
    return m_state.WaitCommEvent(eventMask);
}

WaitResult PosixCommDevice::WaitForReadEvent(uint32_t timeoutMs) {
    if (m_fd < 0 || !m_state.HasReadEvent()) {
        return WaitResult::Failed;
    }
    // A set event is set whatever the kernel holds: no wait is pending then, and the poll's
    // next ClearCommError takes in the bytes (one read(2) a tick, not two).
    if (m_state.ReadEventSet()) {
        return WaitResult::Signaled;
    }
    if (!Pull()) {
        return WaitResult::Failed;
    }
    const Deadline deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_state.ReadEventSet()) {
        // Bytes the kernel keeps because the queue is full would make POLLIN return at once
        // for ever; then only a hang-up or the deadline can end the wait.
        const short events = m_state.FreeSpace() > 0 || KernelQueued() == 0 ? POLLIN : 0;
        switch (WaitFor(events, deadline)) {
            case Readiness::TimedOut:
                return WaitResult::TimedOut;
            case Readiness::HungUp:
                m_gone = true;
                return WaitResult::Failed;
            case Readiness::Failed:
                return WaitResult::Failed;
            case Readiness::Ready:
                break;
        }
        if (!Pull()) {
            return WaitResult::Failed;
        }
    }
    return WaitResult::Signaled;
}

bool PosixCommDevice::ClearCommError(uint32_t& errors, uint32_t& inQueue) {
    if (m_fd < 0) {
        errors = 0;
        inQueue = 0;
        return false;
    }
    const bool ok = Pull();
    m_state.ClearCommError(errors, inQueue);
    return ok;
}

bool PosixCommDevice::ReadFile(uint8_t* buffer, uint32_t count, uint32_t& read) {
    read = 0;
    // Reads what ClearCommError counted: the bytes are in the queue already, and what came
    // since is taken in by the next ClearCommError.
    if (m_fd < 0 || m_gone) {
        return false;
    }
    read = m_state.Read(buffer, count);
    return true;
}

bool PosixCommDevice::WriteFile(std::span<const uint8_t> bytes) {
    if (m_fd < 0 || m_gone) {
        return false;
    }
    uint64_t limitMs = uint64_t{m_timeouts.writeTotalTimeoutMultiplier} * bytes.size() +
                       m_timeouts.writeTotalTimeoutConstant;
    if (limitMs == 0) {
        limitMs = kUnboundedWriteLimitMs;
    }
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
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
            const Readiness r = WaitFor(POLLOUT, deadline);
            if (r == Readiness::HungUp) {
                m_gone = true;
            }
            if (r != Readiness::Ready) {
                return false;
            }
            continue;
        }
        m_gone = m_gone || DeviceGoneErrno(error) || HungUp();
        return false;
    }
    return true;
}

bool PosixCommDevice::EscapeCommFunction(EscapeCode code) {
    if (m_fd < 0) {
        return false;
    }
    return ChangeModemLines(LinesOf(code), SetsLine(code));
}

bool PosixCommDevice::Pull() {
    if (m_gone) {
        return false;
    }
    std::array<uint8_t, 1024> chunk{};
    // Stop when the queue is full: what does not fit stays in the kernel for later reads.
    while (m_state.FreeSpace() > 0) {
        const std::size_t room = std::min(chunk.size(), m_state.FreeSpace());
        const ssize_t n = ::read(m_fd, chunk.data(), room);
        if (n > 0) {
            m_state.Deliver(std::span<const uint8_t>(chunk.data(), static_cast<std::size_t>(n)));
            // A short read took all the tty had; asking again would only return EAGAIN, one
            // system call more on every tick. What comes meanwhile waits for the next pull.
            if (static_cast<std::size_t>(n) < room) {
                break;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        // A hung-up tty reads as end of file (a USB adapter pulled, a pty whose master
        // closed); some drivers give EIO instead. An empty read of a live line (VMIN 0,
        // left by a configuration that did not take) is not a hang-up.
        if (n == 0 && !HungUp()) {
            break;
        }
        m_gone = n == 0 || DeviceGoneErrno(errno);
        return false;
    }
    // The queue is full and more is waiting in the kernel. Nothing is lost, so this is no
    // overflow: the bytes are taken as the polls make room. But a WaitCommEvent pending on the
    // ETX would never end if its ETX is among the bytes the kernel still keeps, and nothing
    // reads the queue while the read event is clear: end it with an empty mask, which lets
    // the polls read again.
    if (m_state.WaitPending() && m_state.FreeSpace() == 0 && KernelQueued() > 0) {
        m_state.EndPendingWait();
    }
    CollectLineErrors();
    return true;
}

std::size_t PosixCommDevice::KernelQueued() const {
    int queued = 0;
    return ::ioctl(m_fd, TIOCINQ, &queued) == 0 && queued > 0 ? static_cast<std::size_t>(queued)
                                                              : 0;
}

bool PosixCommDevice::HungUp() const {
    pollfd p{m_fd, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool PosixCommDevice::ReadCounters(LineErrorCounts& counts) const {
    serial_icounter_struct icount{};
    if (::ioctl(m_fd, TIOCGICOUNT, &icount) != 0) {
        return false;
    }
    counts.parity = static_cast<uint32_t>(icount.parity);
    counts.frame = static_cast<uint32_t>(icount.frame);
    counts.overrun = static_cast<uint32_t>(icount.overrun);
    counts.bufOverrun = static_cast<uint32_t>(icount.buf_overrun);
    counts.brk = static_cast<uint32_t>(icount.brk);
    return true;
}

void PosixCommDevice::CollectLineErrors() {
    LineErrorCounts now;
    if (!m_haveCounters || !ReadCounters(now)) {
        return;
    }
    m_state.ReportLineErrors(LineErrorsBetween(m_counters, now));
    m_counters = now;
}

PosixCommDevice::Readiness PosixCommDevice::WaitFor(short events, Deadline deadline) const {
    for (;;) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (remaining.count() <= 0) {
            return Readiness::TimedOut;
        }
        pollfd p{m_fd, events, 0};
        const int r =
            ::poll(&p, 1, static_cast<int>(std::min<int64_t>(remaining.count(), INT_MAX)));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0) {
            return Readiness::Failed;
        }
        if (r == 0) {
            continue;  // the deadline is checked again above
        }
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return Readiness::HungUp;
        }
        return Readiness::Ready;
    }
}

bool PosixCommDevice::ChangeModemLines(int lines, bool set) {
    return ::ioctl(m_fd, set ? TIOCMBIS : TIOCMBIC, &lines) == 0;
}

void PosixCommDevice::ApplyModemLineControl(const Dcb& dcb) {
    // Handshake (and RTS toggle) leave the line to the driver.
    const uint32_t dtr = DtrControl(dcb);
    const uint32_t rts = RtsControl(dcb);
    if (dtr == kLineControlDisable || dtr == kLineControlEnable) {
        ChangeModemLines(TIOCM_DTR, dtr == kLineControlEnable);
    }
    if (rts == kLineControlDisable || rts == kLineControlEnable) {
        ChangeModemLines(TIOCM_RTS, rts == kLineControlEnable);
    }
}

}  // namespace tavrolin
