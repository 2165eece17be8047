// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PosixSerialLine.h"

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
#include "mux/MultiplexerLine.h"
#include "serial/ReceiverPort.h"

namespace tavrolin {

// Readable failure messages (found by argument-dependent lookup).
static void PrintTo(LineError e, std::ostream* os) {
    constexpr const char* kNames[] = {"None", "InUse", "CannotOpen", "Gone", "Failed"};
    *os << kNames[static_cast<int>(e)];
}
static void PrintTo(InputWait w, std::ostream* os) {
    constexpr const char* kNames[] = {"Arrived", "TimedOut", "Failed"};
    *os << kNames[static_cast<int>(w)];
}

namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::steady_clock;
using testing::TempDir;

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

PosixSerialLine::PortPathResolver Com3Is(const std::string& path) {
    return [path](int port) { return port == 3 ? path : std::string(); };
}

// Everything that has arrived within the time, read as the link reads.
Bytes ReadFor(PosixSerialLine& line, std::size_t count, std::chrono::milliseconds within) {
    Bytes got;
    std::chrono::milliseconds left = within;
    while (got.size() < count) {
        uint8_t chunk[512];
        const LineRead read = line.Read(chunk);
        EXPECT_EQ(read.error, LineError::None);
        EXPECT_EQ(read.faults, 0);  // a pty has no error counters
        got.insert(got.end(), chunk, chunk + read.count);
        if (got.size() < count && line.WaitForInput(left) != InputWait::Arrived) {
            break;
        }
    }
    return got;
}

// Tries to open the device in a child process, as an ordinary user if asked; the result
// comes back as the exit code.
LineError OpenInOtherProcess(const std::string& path, bool asOrdinaryUser) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (asOrdinaryUser && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(100);
        }
        PosixSerialLine other(Com3Is(path));
        const LineError result = other.Open(3);
        other.Close();
        ::_exit(static_cast<int>(result));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) > static_cast<int>(LineError::Failed)) {
        ADD_FAILURE() << "child failed, status " << status;
        return LineError::None;
    }
    return static_cast<LineError>(WEXITSTATUS(status));
}

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

TEST(PosixSerialLine, PortNamesAndErrorsMapOnce) {
    EXPECT_EQ(DefaultPortPath(1), "/dev/ttyS0");
    EXPECT_EQ(DefaultPortPath(4), "/dev/ttyS3");
    EXPECT_EQ(DefaultPortPath(0), "");
    EXPECT_EQ(OpenErrorFromErrno(EBUSY), LineError::InUse);
    EXPECT_EQ(OpenErrorFromErrno(EWOULDBLOCK), LineError::InUse);
    for (const int error : {ENOENT, EACCES, EIO, ENXIO, ENODEV, EISDIR, ENOTTY}) {
        EXPECT_EQ(OpenErrorFromErrno(error), LineError::CannotOpen) << error;
    }
    // Of a read or write on an open line, only these say that the device has gone.
    for (const int error : {EIO, ENXIO, ENODEV}) {
        EXPECT_TRUE(DeviceGoneErrno(error)) << error;
    }
    for (const int error : {0, EAGAIN, EINTR, EINVAL, EBADF, ENOSPC}) {
        EXPECT_FALSE(DeviceGoneErrno(error)) << error;
    }
}

TEST(PosixSerialLine, OnlyATerminalOpensAlsoThroughASymlinkAndOnlyOnce) {
    PseudoTerminal pty;
    TempDir dir;
    const std::string link = dir.File("receiver");
    std::filesystem::create_symlink(pty.SlavePath(), link);
    for (const std::string& path : {pty.SlavePath(), link}) {
        PosixSerialLine line(Com3Is(path));
        EXPECT_EQ(line.Open(1), LineError::CannotOpen);  // the resolver has no path
        ASSERT_EQ(line.Open(3), LineError::None) << path;
        EXPECT_EQ(line.Open(3), LineError::InUse);
        line.Close();
        EXPECT_FALSE(line.IsOpen());
    }
    const std::string file = dir.File("plain.txt");
    testing::WriteBytes(file, "not a port");
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // None of these may hang: the fifo has no writer, /dev/null takes every byte.
    for (const std::string& path :
         {dir.File("missing"), dir.Path().string(), file, fifo, std::string("/dev/null")}) {
        PosixSerialLine line(Com3Is(path));
        EXPECT_EQ(line.Open(3), LineError::CannotOpen) << path;
        uint8_t byte = 0;
        EXPECT_EQ(line.Read(std::span(&byte, 1)).count, 0u);
        std::chrono::milliseconds left{50};
        EXPECT_EQ(line.WaitForInput(left), InputWait::Failed);
    }
}

TEST(PosixSerialLine, ASecondOpenIsRefusedUntilTheFirstCloses) {
    PseudoTerminal pty;
    if (::geteuid() == 0) {
        // So that an ordinary user may open the slave at all; root passes TIOCEXCL.
        ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
    }
    PosixSerialLine first(Com3Is(pty.SlavePath()));
    PosixSerialLine second(Com3Is(pty.SlavePath()));
    ASSERT_EQ(first.Open(3), LineError::None);
    EXPECT_EQ(second.Open(3), LineError::InUse);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(OpenInOtherProcess(pty.SlavePath(), false), LineError::InUse);
    EXPECT_EQ(OpenInOtherProcess(pty.SlavePath(), true), LineError::InUse);

    first.Close();
    // The pty outlives our descriptor, and with it TIOCEXCL unless the line gave it back.
    EXPECT_EQ(OpenInOtherProcess(pty.SlavePath(), true), LineError::None);
    EXPECT_EQ(OpenInOtherProcess(pty.SlavePath(), false), LineError::None);
    EXPECT_EQ(second.Open(3), LineError::None);
}

TEST(PosixSerialLine, EveryByteValuePassesUnchangedBothWaysAndWaitsEndWithTheirDeadline) {
    PseudoTerminal pty;
    pty.Send({0x55, 0x66});  // before the open: not this run's
    PosixSerialLine line(Com3Is(pty.SlavePath()));
    ASSERT_EQ(line.Open(3), LineError::None);
    uint8_t chunk[16];
    EXPECT_EQ(line.Read(chunk).count, 0u);

    // Nothing comes: the wait takes its time, and no more.
    std::chrono::milliseconds left{100};
    const auto start = steady_clock::now();
    EXPECT_EQ(line.WaitForInput(left), InputWait::TimedOut);
    EXPECT_GE(steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(left.count(), 0);

    // In: every value, from another thread while the line waits. Signal characters (0x03,
    // 0x1C), XON/XOFF, CR, NL and 0xFF must not be eaten or changed.
    Bytes in;
    for (int b = 0; b < 256; ++b) {
        in.push_back(static_cast<uint8_t>(b));
    }
    std::thread sender([&pty, &in] { pty.Send(in); });
    EXPECT_EQ(ReadFor(line, in.size(), std::chrono::milliseconds(10000)), in);
    sender.join();

    // What is thrown away is gone, from the kernel too.
    pty.Send({0x02, 0x06, kEtx});
    left = std::chrono::milliseconds(10000);
    ASSERT_EQ(line.WaitForInput(left), InputWait::Arrived);
    line.DiscardInput();
    EXPECT_EQ(line.Read(chunk).count, 0u);

    // Out: the same values backwards. An echo of what came in would arrive first.
    const Bytes out(in.rbegin(), in.rend());
    EXPECT_TRUE(line.Write(out));
    EXPECT_EQ(pty.Receive(out.size(), std::chrono::milliseconds(10000)), out);

    // A pty has no modem lines; the failed ioctl is reported.
    EXPECT_FALSE(line.SetDtr(true));
    line.Close();
    EXPECT_FALSE(line.SetRts(false));
    EXPECT_FALSE(line.Write(in));
}

TEST(PosixSerialLine, ABacklogBeyondOneReadGivesEveryRecordInOrder) {
    // What the decoder made of each telegram: address, temperature and humidity.
    struct Collect : ReadingSink {
        void Accept(const Reading& r) override {
            got.push_back({r.address, r.values[0].raw, r.values[1].raw});
        }
        std::vector<std::array<int32_t, 3>> got;
    };
    for (const std::size_t size : {6000u, 32000u}) {
        SCOPED_TRACE(size);
        PseudoTerminal pty;
        PosixSerialLine line(Com3Is(pty.SlavePath()));
        testing::FakeCoarseClock coarse;
        MultiplexerLine mux(coarse);
        testing::RecordingMessageSink messages;
        testing::FakeWallClock clock;
        ReceiverPort port(line, mux, messages, clock, clock);
        ASSERT_TRUE(port.Connect(2, 0, false));

        // Outdoor telegrams, back to back, each with its own values.
        Bytes backlog;
        Collect expected;
        TelegramDecoder decoder(clock, clock);
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
        // At once, as far as the pty takes it; the rest as the polls make room, as a line
        // that delivers faster than it is read would.
        Collect sink;
        std::span<const uint8_t> unsent(backlog);
        int failedPolls = 0;
        const auto deadline = steady_clock::now() + std::chrono::seconds(20);
        while (sink.got.size() < expected.got.size() && steady_clock::now() < deadline) {
            unsent = unsent.subspan(pty.Offer(unsent));
            failedPolls += port.Poll(sink) != LinkResult::Nothing ? 1 : 0;
        }
        EXPECT_EQ(failedPolls, 0);
        EXPECT_EQ(sink.got, expected.got);
    }
}

TEST(PosixSerialLine, AWriteTheLineCannotTakeGivesUp) {
    PseudoTerminal pty;  // nobody reads the master: the pty's buffer fills up
    PosixSerialLine line(Com3Is(pty.SlavePath()));
    ASSERT_EQ(line.Open(3), LineError::None);
    EXPECT_FALSE(line.Write(Bytes(1 << 20, 0x55)));
    EXPECT_FALSE(line.Gone());
}

TEST(PosixSerialLine, ALineThatGoesAwayFailsEveryCallAtOnce) {
    PseudoTerminal pty;
    PosixSerialLine line(Com3Is(pty.SlavePath()));
    ASSERT_EQ(line.Open(3), LineError::None);

    // The master closes while the line waits: the wait ends as failed, long before its time.
    const auto start = steady_clock::now();
    std::thread unplug([&pty] { pty.CloseMaster(); });
    std::chrono::milliseconds left{30000};
    EXPECT_EQ(line.WaitForInput(left), InputWait::Failed);
    unplug.join();
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(line.Gone()) << "a hang-up, not a passing failure";

    // And so does everything after it, without waiting.
    left = std::chrono::milliseconds(30000);
    EXPECT_EQ(line.WaitForInput(left), InputWait::Failed);
    uint8_t buffer[16];
    EXPECT_EQ(line.Read(buffer).error, LineError::Gone);
    EXPECT_FALSE(line.Write(Bytes{0x01, 0x04}));
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(10));

    line.Close();
    EXPECT_FALSE(line.Gone());
    EXPECT_EQ(line.Open(3), LineError::CannotOpen);  // the slave is gone with its master

    // A hang-up found by a read rather than a wait.
    PseudoTerminal other;
    PosixSerialLine reader(Com3Is(other.SlavePath()));
    ASSERT_EQ(reader.Open(3), LineError::None);
    other.CloseMaster();
    EXPECT_EQ(reader.Read(buffer).error, LineError::Gone);
    EXPECT_TRUE(reader.Gone());
}

TEST(PosixSerialLine, OpeningAndClosingLeavesNoDescriptorBehind) {
    PseudoTerminal pty;
    TempDir dir;
    const std::string file = dir.File("plain.txt");
    testing::WriteBytes(file, "x");
    const std::size_t before = OpenDescriptors();
    {
        PosixSerialLine line(Com3Is(pty.SlavePath()));
        for (int i = 0; i < 1000; ++i) {
            ASSERT_EQ(line.Open(3), LineError::None) << i;
            line.Close();
        }
        // Failed opens at every stage: no path, open() fails, not a tty, flock refused.
        PosixSerialLine holder(Com3Is(pty.SlavePath()));
        ASSERT_EQ(holder.Open(3), LineError::None);
        for (int i = 0; i < 25; ++i) {
            EXPECT_EQ(line.Open(9), LineError::CannotOpen);
            EXPECT_EQ(PosixSerialLine(Com3Is(dir.File("missing"))).Open(3), LineError::CannotOpen);
            EXPECT_EQ(PosixSerialLine(Com3Is(file)).Open(3), LineError::CannotOpen);
            EXPECT_EQ(line.Open(3), LineError::InUse);
        }
        // The destructor closes what is still open.
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace tavrolin
