// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of the logger's run on the system: the tick loop, the signal pipe and the
// output lines.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "platform/posix/NonBlockingWriter.h"
#include "platform/posix/SignalPipe.h"
#include "platform/posix/TickLoop.h"

namespace tavrolin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Pipe {
public:
    Pipe() { EXPECT_EQ(::pipe2(m_fds, O_CLOEXEC), 0); }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    int Read() const { return m_fds[0]; }
    int Write() const { return m_fds[1]; }
    void CloseRead() { Close(m_fds[0]); }
    void CloseWrite() { Close(m_fds[1]); }
    std::string Take() {
        ::fcntl(m_fds[0], F_SETFL, O_NONBLOCK);
        std::string got;
        char buffer[4096];
        for (ssize_t n; (n = ::read(m_fds[0], buffer, sizeof buffer)) > 0;) {
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    static void Close(int& fd) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    int m_fds[2] = {-1, -1};
};

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

TEST(TickLoop, TicksOnItsGridUntilTheStopDescriptorIsReadable) {
    Pipe stop;
    const auto period = 3ms;
    std::vector<Clock::time_point> ticks;
    const Clock::time_point start = Clock::now();
    const TickLoopEnd end = RunTicks(period, stop.Read(), [&] {
        ticks.push_back(Clock::now());
        if (ticks.size() == 5) {
            EXPECT_EQ(::write(stop.Write(), "x", 1), 1);
        }
        return true;
    });
    EXPECT_EQ(end, TickLoopEnd::Stopped);
    ASSERT_EQ(ticks.size(), 5u) << "no tick after the stop";
    // A tick never comes before its place on the grid: the loop waits, it does not spin.
    for (std::size_t k = 0; k < ticks.size(); ++k) {
        EXPECT_GE(ticks[k] - start, period * static_cast<int>(k + 1)) << "tick " << k;
    }
}

TEST(TickLoop, AStopThatIsThereAlreadyEndsItWithoutATick) {
    Pipe stop;
    ASSERT_EQ(::write(stop.Write(), "x", 1), 1);
    int ticks = 0;
    const auto count = [&] {
        ++ticks;
        return true;
    };
    EXPECT_EQ(RunTicks(1ms, stop.Read(), count), TickLoopEnd::Stopped);
    EXPECT_EQ(ticks, 0);

    errno = 0;
    EXPECT_EQ(RunTicks(0ms, stop.Read(), count), TickLoopEnd::Failed);
    EXPECT_EQ(errno, EINVAL);
}

TEST(TickLoop, ThePeriodCanChangeAfterATick) {
    Pipe stop;
    std::vector<Clock::time_point> ticks;
    const auto tick = [&] {
        ticks.push_back(Clock::now());
        return ticks.size() < 5;
    };
    // 1 ms, then 20 ms from the second tick on.
    EXPECT_EQ(RunTicks(1ms, stop.Read(), tick, [&] { return ticks.size() < 2 ? 1ms : 20ms; }),
              TickLoopEnd::Ended);
    ASSERT_EQ(ticks.size(), 5u);
    // The new grid starts after the second tick.
    for (std::size_t k = 2; k < ticks.size(); ++k) {
        EXPECT_GE(ticks[k] - ticks[1], 20ms * static_cast<int>(k - 1)) << "tick " << k;
    }
}

TEST(TickLoop, ATickCanEndIt) {
    Pipe stop;
    int ticks = 0;
    EXPECT_EQ(RunTicks(1ms, stop.Read(), [&] { return ++ticks < 3; }), TickLoopEnd::Ended);
    EXPECT_EQ(ticks, 3);
}

TEST(SignalPipe, ASignalBecomesInputAndTheOldHandlingComesBack) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGUSR1, &ignore, nullptr), 0);
    {
        SignalPipe signals;
        ASSERT_TRUE(signals.Install({SIGUSR1, SIGUSR2}));
        EXPECT_FALSE(Readable(signals.Fd()));
        EXPECT_EQ(signals.Take(), 0);
        ASSERT_EQ(::raise(SIGUSR2), 0);
        ASSERT_EQ(::raise(SIGUSR1), 0);
        EXPECT_TRUE(Readable(signals.Fd()));
        EXPECT_EQ(signals.Take(), SIGUSR2);
        EXPECT_EQ(signals.Take(), SIGUSR1);
        EXPECT_EQ(signals.Take(), 0);

        SignalPipe second;
        errno = 0;
        EXPECT_FALSE(second.Install({SIGUSR1}));
        EXPECT_EQ(errno, EBUSY);
    }
    struct sigaction now {};
    ASSERT_EQ(::sigaction(SIGUSR1, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
}

TEST(NonBlockingWriter, ThePollsLinesGoOutWholeInOneWrite) {
    Pipe out;
    NonBlockingWriter writer(out.Write());
    writer.WriteLines("(14:03:07.4) : (1.50s)  Außen (2)   12.3°  67%\n\n");
    writer.WriteLines("");
    EXPECT_EQ(out.Take(), "(14:03:07.4) : (1.50s)  Außen (2)   12.3°  67%\n\n");
    EXPECT_EQ(writer.Dropped(), 0u);
}

TEST(NonBlockingWriter, AReaderThatLagsLosesLinesInsteadOfHoldingUpTheWriter) {
    Pipe out;
    // Fill the pipe, then make it blocking again, as a stdout would be.
    ::fcntl(out.Write(), F_SETFL, O_NONBLOCK);
    const std::string chunk(4096, 'x');
    while (::write(out.Write(), chunk.data(), chunk.size()) > 0) {
    }
    ::fcntl(out.Write(), F_SETFL, 0);

    NonBlockingWriter writer(out.Write());
    const Clock::time_point before = Clock::now();
    writer.WriteLines("a record\nanother\n");
    writer.WriteLines("a third\n");
    EXPECT_LT(Clock::now() - before, 1s) << "the writer waited for the reader";
    EXPECT_EQ(writer.Dropped(), 3u);
    EXPECT_FALSE(writer.Gone());

    // Once the reader catches up, lines flow again.
    const std::string backlog = out.Take();
    EXPECT_EQ(backlog.find("record"), std::string::npos);
    writer.WriteLines("fourth\n");
    EXPECT_EQ(out.Take(), "fourth\n");

    // The same on a socket (the journal's stdout), which the writer asks not to wait.
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ::fcntl(pair[1], F_SETFL, O_NONBLOCK);
    while (::write(pair[1], chunk.data(), chunk.size()) > 0) {
    }
    ::fcntl(pair[1], F_SETFL, 0);
    NonBlockingWriter toSocket(pair[1]);
    const Clock::time_point start = Clock::now();
    toSocket.WriteLines("a record\n");
    EXPECT_LT(Clock::now() - start, 1s) << "the writer waited for the socket's reader";
    EXPECT_EQ(toSocket.Dropped(), 1u);
    ::close(pair[0]);
    ::close(pair[1]);
}

TEST(NonBlockingWriter, AfterTheReaderHasGoneNothingMoreIsTried) {
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &previous), 0);
    Pipe out;
    out.CloseRead();
    NonBlockingWriter writer(out.Write());
    writer.WriteLines("lost\n");
    EXPECT_TRUE(writer.Gone());
    writer.WriteLines("not tried\n");
    EXPECT_EQ(writer.Dropped(), 1u);
    ::sigaction(SIGPIPE, &previous, nullptr);
}

}  // namespace
}  // namespace tavrolin
