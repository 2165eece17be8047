// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PosixCommDevice.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <thread>
#include <vector>

#include "FakeClocks.h"
#include "RecordingMessageSink.h"
#include "TempDir.h"
#include "decode/TelegramDecoder.h"
#include "mux/MultiplexerDialog.h"
#include "serial/ReceiverPort.h"

namespace tavrolin {

// Readable failure messages (found by argument-dependent lookup).
static void PrintTo(OpenError e, std::ostream* os) {
    constexpr const char* kNames[] = {"None", "AlreadyOpen", "CannotOpen"};
    *os << kNames[static_cast<int>(e)];
}
static void PrintTo(WaitResult r, std::ostream* os) {
    constexpr const char* kNames[] = {"Signaled", "TimedOut", "Failed"};
    *os << kNames[static_cast<int>(r)];
}

namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::steady_clock;
using testing::TempDir;

constexpr uint8_t kEtx = 0x03;

// The far end of the line: a pseudo-terminal master, raw so that bytes pass unchanged.
class PseudoTerminal {
public:
    PseudoTerminal() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
            ::ptsname_r(m_master, name, sizeof name) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return;
        }
        m_slavePath = name;
        termios t{};
        ::tcgetattr(m_master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_master, TCSANOW, &t);
    }
    ~PseudoTerminal() { CloseMaster(); }

    const std::string& SlavePath() const { return m_slavePath; }

    void Send(const Bytes& bytes) {
        ASSERT_EQ(::write(m_master, bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    // Writes what the pty takes now, without waiting; how much that was.
    std::size_t Offer(std::span<const uint8_t> bytes) {
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        const ssize_t n = ::write(m_master, bytes.data(), bytes.size());
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    // Collects count bytes, or what came until the deadline.
    Bytes Receive(std::size_t count, std::chrono::milliseconds within) {
        Bytes got;
        const auto deadline = steady_clock::now() + within;
        while (got.size() < count && steady_clock::now() < deadline) {
            pollfd p{m_master, POLLIN, 0};
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now());
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0 || !(p.revents & POLLIN)) {
                continue;
            }
            uint8_t chunk[512];
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n > 0) {
                got.insert(got.end(), chunk, chunk + n);
            }
        }
        return got;
    }

    void CloseMaster() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

private:
    int m_master = -1;
    std::string m_slavePath;
};

PosixCommDevice::PortPathResolver Com3Is(const std::string& path) {
    return [path](std::string_view name) { return name == "COM3" ? path : std::string(); };
}

// Opens and configures the port the way the receiver link does.
void OpenLikeTheReceiver(PosixCommDevice& port) {
    ASSERT_EQ(port.Open("COM3"), OpenError::None);
    port.PurgeComm(comm::PURGE_TXABORT | comm::PURGE_RXABORT | comm::PURGE_TXCLEAR |
                   comm::PURGE_RXCLEAR);
    port.SetCommTimeouts({5000, 10, 2000, 10, 1000});
    CommConfig config;
    uint32_t size = comm::COMMCONFIG_SIZE;
    ASSERT_TRUE(port.GetCommConfig(config, size));
    EXPECT_EQ(size, comm::COMMCONFIG_SIZE);
    config.dcb.flags = (config.dcb.flags & 0xFFFF8000u) | comm::DCB_BINARY | comm::DCB_PARITY;
    config.dcb.baudRate = 19200;
    config.dcb.byteSize = 8;
    config.dcb.parity = comm::ODDPARITY;
    config.dcb.stopBits = comm::TWOSTOPBITS;
    config.dcb.evtChar = kEtx;
    // The result is not examined: a pty drops the parity.
    port.SetCommConfig(config, size);
    port.SetCommMask(comm::EV_RXFLAG | comm::EV_ERR);
    port.CreateReadEvent();
}

Bytes ReadAll(PosixCommDevice& port) {
    uint32_t errors = 0;
    uint32_t queued = 0;
    port.ClearCommError(errors, queued);
    EXPECT_EQ(errors, 0u);  // a pty has no error counters
    Bytes buffer(queued + 1);
    uint32_t read = 0;
    EXPECT_TRUE(port.ReadFile(buffer.data(), queued, read));
    buffer.resize(read);
    return buffer;
}

// Tries to open the device in a child process, as an ordinary user if asked; the result
// comes back as the exit code.
OpenError OpenInOtherProcess(const std::string& path, bool asOrdinaryUser) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (asOrdinaryUser && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(100);
        }
        PosixCommDevice other(Com3Is(path));
        const OpenError result = other.Open("COM3");
        other.Close();
        ::_exit(static_cast<int>(result));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) > static_cast<int>(OpenError::CannotOpen)) {
        ADD_FAILURE() << "child failed, status " << status;
        return OpenError::None;
    }
    return static_cast<OpenError>(WEXITSTATUS(status));
}

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

TEST(PosixCommDevice, PortNamesAndOpenErrorsMapOnce) {
    EXPECT_EQ(DefaultPortPath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(DefaultPortPath("COM4"), "/dev/ttyS3");
    EXPECT_EQ(DefaultPortPath("COM255"), "/dev/ttyS254");
    for (const char* name : {"COM0", "COM256", "COM01", "COM", "COM1x", "com1", "LPT1", ""}) {
        EXPECT_EQ(DefaultPortPath(name), "") << name;
    }
    EXPECT_EQ(OpenErrorFromErrno(EBUSY), OpenError::AlreadyOpen);
    EXPECT_EQ(OpenErrorFromErrno(EWOULDBLOCK), OpenError::AlreadyOpen);
    for (const int error : {ENOENT, EACCES, EIO, ENXIO, ENODEV, EISDIR, ENOTTY}) {
        EXPECT_EQ(OpenErrorFromErrno(error), OpenError::CannotOpen) << error;
    }
    // Of a read or write on an open port, only these say that the device has gone.
    for (const int error : {EIO, ENXIO, ENODEV}) {
        EXPECT_TRUE(DeviceGoneErrno(error)) << error;
    }
    for (const int error : {0, EAGAIN, EINTR, EINVAL, EBADF, ENOSPC}) {
        EXPECT_FALSE(DeviceGoneErrno(error)) << error;
    }
}

TEST(PosixCommDevice, OpensThePtyTheResolverNamesAlsoThroughASymlink) {
    PseudoTerminal pty;
    TempDir dir;
    const std::string link = dir.File("receiver");
    std::filesystem::create_symlink(pty.SlavePath(), link);
    for (const std::string& path : {pty.SlavePath(), link}) {
        PosixCommDevice port(Com3Is(path));
        EXPECT_EQ(port.Open("COM1"), OpenError::CannotOpen);  // the resolver has no path
        ASSERT_EQ(port.Open("COM3"), OpenError::None) << path;
        EXPECT_TRUE(port.IsOpen());
        EXPECT_EQ(port.Open("COM3"), OpenError::AlreadyOpen);
        port.Close();
        EXPECT_FALSE(port.IsOpen());
        port.Close();  // harmless
    }
}

TEST(PosixCommDevice, WhatIsNotASerialPortCannotBeOpened) {
    TempDir dir;
    const std::string file = dir.File("plain.txt");
    testing::WriteBytes(file, "not a port");
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // None of these may hang: the fifo has no writer, /dev/null takes every byte.
    for (const std::string& path :
         {dir.File("missing"), dir.Path().string(), file, fifo, std::string("/dev/null")}) {
        PosixCommDevice port(Com3Is(path));
        EXPECT_EQ(port.Open("COM3"), OpenError::CannotOpen) << path;
        EXPECT_FALSE(port.IsOpen());
        uint32_t read = 7;
        uint8_t byte = 0;
        EXPECT_FALSE(port.ReadFile(&byte, 1, read));
        EXPECT_EQ(read, 0u);
        EXPECT_EQ(port.WaitForReadEvent(50), WaitResult::Failed);
    }
}

TEST(PosixCommDevice, ASecondOpenIsRefusedUntilTheFirstCloses) {
    PseudoTerminal pty;
    if (::geteuid() == 0) {
        // So that an ordinary user may open the slave at all; root passes TIOCEXCL.
        ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
    }
    PosixCommDevice first(Com3Is(pty.SlavePath()));
    PosixCommDevice second(Com3Is(pty.SlavePath()));
    ASSERT_EQ(first.Open("COM3"), OpenError::None);
    EXPECT_EQ(second.Open("COM3"), OpenError::AlreadyOpen);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(OpenInOtherProcess(pty.SlavePath(), false), OpenError::AlreadyOpen);
    EXPECT_EQ(OpenInOtherProcess(pty.SlavePath(), true), OpenError::AlreadyOpen);

    first.Close();
    // The pty outlives our descriptor, and with it TIOCEXCL unless the port gave it back.
    EXPECT_EQ(OpenInOtherProcess(pty.SlavePath(), true), OpenError::None);
    EXPECT_EQ(OpenInOtherProcess(pty.SlavePath(), false), OpenError::None);
    EXPECT_EQ(second.Open("COM3"), OpenError::None);
    EXPECT_EQ(first.Open("COM3"), OpenError::AlreadyOpen);
}

TEST(PosixCommDevice, BytesAreQueuedReadInOrderAndTheReadEventFollowsTheRules) {
    PseudoTerminal pty;
    PosixCommDevice port(Com3Is(pty.SlavePath()));
    OpenLikeTheReceiver(port);
    EXPECT_EQ(port.WaitForReadEvent(0), WaitResult::TimedOut);  // not set after open

    // A wait with no ETX on the line stays pending; the event is not set within the time.
    pty.Send({0x02, 0x10, 0x20});
    uint32_t mask = 0xFFFF;
    port.WaitCommEvent(mask);
    EXPECT_EQ(port.WaitForReadEvent(200), WaitResult::TimedOut);

    // The ETX completes it; everything before it is queued in arrival order.
    pty.Send({0x30, 0x40, kEtx});
    ASSERT_EQ(port.WaitForReadEvent(10000), WaitResult::Signaled);
    EXPECT_EQ(mask, comm::EV_RXFLAG);
    EXPECT_EQ(ReadAll(port), (Bytes{0x02, 0x10, 0x20, 0x30, 0x40, kEtx}));
    // After a completed read the event stays set, also for a read of nothing.
    EXPECT_EQ(port.WaitForReadEvent(0), WaitResult::Signaled);
    EXPECT_EQ(ReadAll(port), Bytes{});
    EXPECT_EQ(port.WaitForReadEvent(0), WaitResult::Signaled);

    // A wait pending while the answer arrives from another thread.
    mask = 0;
    EXPECT_FALSE(port.WaitCommEvent(mask));
    EXPECT_EQ(port.WaitForReadEvent(0), WaitResult::TimedOut);
    std::thread receiver([&pty] { pty.Send({0x02, 0x06, kEtx}); });
    EXPECT_EQ(port.WaitForReadEvent(10000), WaitResult::Signaled);
    receiver.join();
    EXPECT_EQ(mask, comm::EV_RXFLAG);

    // Purged bytes are gone, from the queue and from the kernel.
    pty.Send({0x55, kEtx});
    mask = 0;
    port.WaitCommEvent(mask);
    ASSERT_EQ(port.WaitForReadEvent(10000), WaitResult::Signaled);
    EXPECT_TRUE(port.PurgeComm(comm::PURGE_RXABORT | comm::PURGE_RXCLEAR));
    EXPECT_EQ(ReadAll(port), Bytes{});
}

TEST(PosixCommDevice, EveryByteValuePassesUnchangedBothWays) {
    PseudoTerminal pty;
    PosixCommDevice port(Com3Is(pty.SlavePath()));
    OpenLikeTheReceiver(port);
    CommConfig config;
    uint32_t size = comm::COMMCONFIG_SIZE;
    ASSERT_TRUE(port.GetCommConfig(config, size));
    EXPECT_EQ(config.dcb.baudRate, 19200u);
    EXPECT_EQ(config.dcb.byteSize, 8);
    EXPECT_EQ(config.dcb.stopBits, comm::TWOSTOPBITS);
    EXPECT_EQ(config.dcb.evtChar, kEtx);

    // In: every value, ETX last so that its arrival means all have arrived. Signal
    // characters (0x03, 0x1C), XON/XOFF, CR, NL and 0xFF must not be eaten or changed.
    Bytes in;
    for (int b = 0; b < 256; ++b) {
        if (b != kEtx) {
            in.push_back(static_cast<uint8_t>(b));
        }
    }
    in.push_back(kEtx);
    pty.Send(in);
    uint32_t mask = 0;
    port.WaitCommEvent(mask);
    ASSERT_EQ(port.WaitForReadEvent(10000), WaitResult::Signaled);
    EXPECT_EQ(ReadAll(port), in);

    // Out: the same values backwards through WriteFile. An echo of what came in would
    // arrive first.
    const Bytes out(in.rbegin(), in.rend());
    EXPECT_TRUE(port.WriteFile(out));
    EXPECT_EQ(pty.Receive(out.size(), std::chrono::milliseconds(10000)), out);

    // A pty has no modem lines; the failed ioctl is reported.
    EXPECT_FALSE(port.EscapeCommFunction(EscapeCode::SetDtr));
    port.Close();
    EXPECT_FALSE(port.EscapeCommFunction(EscapeCode::ClrRts));
    EXPECT_FALSE(port.WriteFile(in));
}

TEST(PosixCommDevice, AFullQueueEndsAPendingWaitWithoutAnErrorAndTheKernelKeepsTheRest) {
    PseudoTerminal pty;
    PosixCommDevice port(Com3Is(pty.SlavePath()));
    OpenLikeTheReceiver(port);
    uint32_t mask = 0xFFFF;
    port.WaitCommEvent(mask);
    // Noise without an ETX, more than the queue holds. The wait must end, or nothing would
    // read the queue again; but nothing was lost, so no error is reported.
    pty.Send(Bytes(CommPortState::kDefaultCapacity + 900, 0x55));
    ASSERT_EQ(port.WaitForReadEvent(10000), WaitResult::Signaled);
    EXPECT_EQ(mask, 0u);
    uint32_t errors = 0;
    uint32_t queued = 0;
    port.ClearCommError(errors, queued);
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(queued, CommPortState::kDefaultCapacity);
    Bytes buffer(CommPortState::kDefaultCapacity);
    uint32_t read = 0;
    ASSERT_TRUE(port.ReadFile(buffer.data(), queued, read));
    EXPECT_EQ(buffer, Bytes(CommPortState::kDefaultCapacity, 0x55));

    // The rest comes with the next bytes.
    mask = 0;
    port.WaitCommEvent(mask);
    pty.Send({kEtx});
    ASSERT_EQ(port.WaitForReadEvent(10000), WaitResult::Signaled);
    EXPECT_EQ(mask, comm::EV_RXFLAG);
    Bytes rest(900, 0x55);
    rest.push_back(kEtx);
    EXPECT_EQ(ReadAll(port), rest);
}

TEST(PosixCommDevice, ABacklogBeyondTheQueueGivesEveryRecordInOrder) {
    // What the decoder made of each telegram: address, temperature and humidity.
    struct Collect : ReadingSink {
        void Accept(const Reading& r, std::string_view) override {
            got.push_back({r.address, r.values[0].raw, r.values[1].raw});
        }
        std::vector<std::array<int32_t, 3>> got;
    };
    for (const std::size_t size : {6000u, 8000u, 32000u}) {
        SCOPED_TRACE(size);
        PseudoTerminal pty;
        PosixCommDevice device(Com3Is(pty.SlavePath()));
        testing::FakeCoarseClock coarse;
        MultiplexerDialog mux(coarse);
        testing::RecordingMessageSink messages;
        testing::FakeLocalClock clock;
        ReceiverPort port(device, mux, messages, clock);
        ASSERT_EQ(port.Connect(2, 0, 0), 1);
        // The answer to a start command: the first completed read lets the polls read.
        pty.Send({0x02, 0x06, kEtx});
        ASSERT_EQ(port.WaitForAck(), LinkResult::kAcknowledged);

        // Outdoor telegrams, back to back, each with its own values.
        Bytes backlog;
        Collect expected;
        TelegramDecoder decoder(clock);
        for (std::size_t i = 0; backlog.size() < size; ++i) {
            const std::array<uint8_t, 7> data = {static_cast<uint8_t>(0x10 | (i % 8)),
                                                 static_cast<uint8_t>(0x10 + i / 100 % 100),
                                                 static_cast<uint8_t>(0x10 + i % 100),
                                                 static_cast<uint8_t>(0x10 + i % 90),
                                                 0x00,
                                                 0x00,
                                                 kEtx};
            backlog.push_back(0x02);
            backlog.insert(backlog.end(), data.begin(), data.end());
            decoder.DecodeTelegram(data, expected);
        }
        // At once, as far as the pty takes it (it holds about 14 KiB); the rest as the polls
        // make room, as a line that delivers faster than it is read would.
        Collect sink;
        std::span<const uint8_t> unsent(backlog);
        int failedPolls = 0;
        const auto deadline = steady_clock::now() + std::chrono::seconds(20);
        while (sink.got.size() < expected.got.size() && steady_clock::now() < deadline) {
            unsent = unsent.subspan(pty.Offer(unsent));
            failedPolls += port.Poll(sink) != LinkResult::kNothing ? 1 : 0;
        }
        EXPECT_EQ(failedPolls, 0);
        EXPECT_EQ(sink.got, expected.got);
    }
}

TEST(PosixCommDevice, AWriteTheLineCannotTakeGivesUpWithinTheWriteTimeouts) {
    PseudoTerminal pty;  // nobody reads the master: the pty's buffer fills up
    PosixCommDevice port(Com3Is(pty.SlavePath()));
    OpenLikeTheReceiver(port);
    port.SetCommTimeouts({0, 0, 0, 0, 100});
    const Bytes lots(1 << 20, 0x55);
    EXPECT_FALSE(port.WriteFile(lots));
}

TEST(PosixCommDevice, ALineThatGoesAwayFailsEveryCallAtOnce) {
    PseudoTerminal pty;
    PosixCommDevice port(Com3Is(pty.SlavePath()));
    OpenLikeTheReceiver(port);
    uint32_t mask = 0;
    port.WaitCommEvent(mask);
    pty.Send(Bytes{0x02, 0x41});
    uint32_t errors = 0;
    uint32_t queued = 0;
    EXPECT_TRUE(port.ClearCommError(errors, queued));
    EXPECT_FALSE(port.Gone());

    // The master closes while the port waits: the wait ends as failed, long before its time.
    const auto start = steady_clock::now();
    std::thread unplug([&pty] { pty.CloseMaster(); });
    EXPECT_EQ(port.WaitForReadEvent(30000), WaitResult::Failed);
    unplug.join();
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(10));

    // And so does everything after it, without waiting.
    const auto again = steady_clock::now();
    EXPECT_EQ(port.WaitForReadEvent(30000), WaitResult::Failed);
    uint8_t buffer[16];
    uint32_t read = 5;
    EXPECT_FALSE(port.ReadFile(buffer, sizeof buffer, read));
    EXPECT_EQ(read, 0u);
    EXPECT_FALSE(port.ClearCommError(errors, queued));
    EXPECT_FALSE(port.WaitCommEvent(mask));
    EXPECT_FALSE(port.WriteFile(Bytes{0x01, 0x04}));
    EXPECT_LT(steady_clock::now() - again, std::chrono::seconds(10));
    EXPECT_TRUE(port.Gone()) << "a hang-up, not a passing failure";

    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Gone());
    EXPECT_EQ(port.Open("COM3"), OpenError::CannotOpen);  // the slave is gone with its master
}

TEST(PosixCommDevice, OpeningAndClosingLeavesNoDescriptorBehind) {
    PseudoTerminal pty;
    TempDir dir;
    const std::string file = dir.File("plain.txt");
    testing::WriteBytes(file, "x");
    const std::size_t before = OpenDescriptors();
    {
        PosixCommDevice port(Com3Is(pty.SlavePath()));
        for (int i = 0; i < 1000; ++i) {
            ASSERT_EQ(port.Open("COM3"), OpenError::None) << i;
            port.Close();
        }
        // Failed opens at every stage: no path, open() fails, not a tty, flock refused.
        PosixCommDevice holder(Com3Is(pty.SlavePath()));
        ASSERT_EQ(holder.Open("COM3"), OpenError::None);
        for (int i = 0; i < 25; ++i) {
            EXPECT_EQ(port.Open("COM9"), OpenError::CannotOpen);
            EXPECT_EQ(PosixCommDevice(Com3Is(dir.File("missing"))).Open("COM3"),
                      OpenError::CannotOpen);
            EXPECT_EQ(PosixCommDevice(Com3Is(file)).Open("COM3"), OpenError::CannotOpen);
            EXPECT_EQ(port.Open("COM3"), OpenError::AlreadyOpen);
        }
        // The destructor closes what is still open.
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace tavrolin
