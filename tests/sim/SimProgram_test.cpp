// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator program itself on a pseudo-terminal, driven from the program's side of the
// line. Every wait is a poll(2) with a deadline; a child that misbehaves is killed.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TelegramFields.h"
#include "TempDir.h"

namespace tavrolin::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using tavrolin::testing::In;
using tavrolin::testing::TempDir;
using tavrolin::testing::WaitReadable;

const Bytes kStart = {0x01, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x04};
const Bytes kStop = {0x01, 0xFE, 0, 0, 0, 0, 0, 0x81, 0x04};
const Bytes kAck = {0x02, 0x06, 0x03};
const Bytes kNak = {0x02, 0x15, 0x03};

// tavrolin-sim as a child process with its stdout and stderr on pipes.
class SimProcess : public tavrolin::testing::ChildProcess {
public:
    explicit SimProcess(std::vector<std::string> args)
        : ChildProcess(TAVROLIN_SIM_PROGRAM, std::move(args)) {}
};

// The program's end of the line: the pty's slave opened like a serial port.
class ProgramSide {
public:
    explicit ProgramSide(const std::string& path) {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(m_fd, TCSANOW, &t);
        }
    }
    ~ProgramSide() { Close(); }
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    void Close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

    void Send(const Bytes& bytes) {
        ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Reads until `done` holds for what was read, or the time is up.
    Bytes ReadUntil(const std::function<bool(const Bytes&)>& done, Clock::time_point deadline) {
        Bytes got;
        while (!done(got) && WaitReadable(m_fd, deadline)) {
            uint8_t buffer[4096];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                got.insert(got.end(), buffer, buffer + n);
            }
        }
        return got;
    }
    // Everything until nothing more has come for `quiet`.
    Bytes ReadUntilQuiet(std::chrono::milliseconds quiet, Clock::time_point deadline) {
        Bytes got;
        while (Clock::now() < deadline) {
            const Bytes more = ReadFor(quiet);
            if (more.empty()) {
                break;
            }
            got.insert(got.end(), more.begin(), more.end());
        }
        return got;
    }
    // Everything that comes within `time`.
    Bytes ReadFor(std::chrono::milliseconds time) {
        return ReadUntil([](const Bytes&) { return false; }, Clock::now() + time);
    }

private:
    int m_fd = -1;
};

std::function<bool(const Bytes&)> AtLeast(std::size_t n) {
    return [n](const Bytes& b) { return b.size() >= n; };
}
std::function<bool(const Bytes&)> EndsWith(const Bytes& tail) {
    return [tail](const Bytes& b) {
        return b.size() >= tail.size() &&
               std::equal(tail.begin(), tail.end(),
                          b.end() - static_cast<std::ptrdiff_t>(tail.size()));
    };
}

// Cuts a stream that must be nothing but whole telegrams into them.
std::vector<Bytes> Telegrams(const Bytes& stream, std::size_t from, std::size_t to) {
    std::vector<Bytes> telegrams;
    EXPECT_EQ((to - from) % 8, 0u) << "a torn telegram";
    for (std::size_t i = from; i + 8 <= to; i += 8) {
        EXPECT_EQ(stream[i], 0x02) << "at " << i;
        EXPECT_EQ(stream[i + 7], 0x03) << "at " << i;
        telegrams.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(i),
                               stream.begin() + static_cast<std::ptrdiff_t>(i + 8));
    }
    return telegrams;
}

std::string SlaveOf(const std::string& readyLine) {
    const std::string prefix = "tavrolin-sim: ready on ";
    if (!readyLine.starts_with(prefix)) {
        return "";
    }
    const std::string rest = readyLine.substr(prefix.size());
    return rest.substr(0, rest.find(' '));
}

TEST(SimProgram, AnswersStartAndStopAndSendsTelegramsInBetween) {
    TempDir dir;
    const std::string link = dir.File("ttySIM");
    SimProcess sim({"--link", link, "--speed", "60"});
    const std::string ready = sim.ReadyLine(In(5s));
    const std::string slave = SlaveOf(ready);
    ASSERT_FALSE(slave.empty()) << ready;
    EXPECT_EQ(ready, "tavrolin-sim: ready on " + slave + " (link " + link + ")");
    EXPECT_EQ(std::filesystem::read_symlink(link), slave);

    ProgramSide line(link);
    ASSERT_TRUE(line.IsOpen());
    line.Send(kStart);
    // The answer, then at least one round of the station: 14 telegrams.
    const Bytes started = line.ReadUntil(AtLeast(3 + 14 * 8), In(5s));
    ASSERT_GE(started.size(), 3u + 14 * 8);
    EXPECT_EQ(Bytes(started.begin(), started.begin() + 3), kAck);
    std::set<int> kinds;
    std::set<int> specials;
    const auto firstRound = Telegrams(started, 3, started.size());
    for (const Bytes& t : firstRound) {
        const auto f = testing::ReadTelegram(t);
        kinds.insert(f.kind);
        if (f.kind == 7) {
            specials.insert(f.lowNibble);
        }
    }
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(specials, (std::set<int>{0, 1, 15}));

    line.Send(kStop);
    const Bytes stopped = line.ReadUntil(EndsWith(kAck), In(5s));
    ASSERT_TRUE(EndsWith(kAck)(stopped));
    const auto beforeStop = Telegrams(stopped, 0, stopped.size() - 3);
    EXPECT_TRUE(line.ReadFor(300ms).empty()) << "nothing after the stop";

    const std::size_t telegrams = firstRound.size() + beforeStop.size();
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
    EXPECT_NE(sim.Stderr().find("tavrolin-sim: " + std::to_string(telegrams) +
                                " Telegramme gesendet, 2 Befehle empfangen (1 Start, 1 Stopp)\n"),
              std::string::npos)
        << sim.Stderr();
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link goes at exit";
}

TEST(SimProgram, SilentThenRefusedThenAcknowledged) {
    TempDir dir;
    const std::string link = dir.File("ttySIM");
    SimProcess sim({"--link", link, "--speed", "60", "--silent", "1", "--nak", "1"});
    ASSERT_FALSE(SlaveOf(sim.ReadyLine(In(5s))).empty());
    ProgramSide line(link);
    ASSERT_TRUE(line.IsOpen());

    line.Send(kStart);
    EXPECT_TRUE(line.ReadFor(300ms).empty()) << "the first command goes unanswered";
    line.Send(kStart);
    EXPECT_EQ(line.ReadUntil(AtLeast(3), In(5s)), kNak);
    EXPECT_TRUE(line.ReadFor(300ms).empty()) << "a refused start starts nothing";
    line.Send(kStart);
    const Bytes started = line.ReadUntil(AtLeast(3 + 8), In(5s));
    ASSERT_GE(started.size(), 3u + 8);
    EXPECT_EQ(Bytes(started.begin(), started.begin() + 3), kAck);
    EXPECT_EQ(started[3], 0x02);

    EXPECT_EQ(sim.Terminate(In(5s)), 0);
    EXPECT_NE(sim.Stderr().find("3 Befehle empfangen (3 Starts, 0 Stopps)"), std::string::npos)
        << sim.Stderr();
}

TEST(SimProgram, TheNextProgramFindsAClearLine) {
    TempDir dir;
    const std::string link = dir.File("ttySIM");
    SimProcess sim({"--link", link, "--rate", "200", "--verbose"});
    const std::string slave = SlaveOf(sim.ReadyLine(In(5s)));
    ASSERT_FALSE(slave.empty());

    {
        // A program that takes the port exclusively and goes without a stop command while
        // telegrams flow.
        ProgramSide first(link);
        ASSERT_TRUE(first.IsOpen());
        ASSERT_EQ(::ioctl(first.Fd(), TIOCEXCL), 0);
        first.Send(kStart);
        ASSERT_GE(first.ReadUntil(AtLeast(3 + 80), In(5s)).size(), 3u + 80);
    }
    ASSERT_TRUE(sim.WaitForStderr("Das letzte Programm hat die Leitung geschlossen", In(5s)))
        << sim.Stderr();

    // TIOCEXCL stays on a tty until it is cleared, and root is not bound by it: look at
    // the line as an ordinary user.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(slave.c_str(), 0666), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(2);
            }
            const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            ::_exit(fd >= 0 ? 0 : errno == EBUSY ? 1 : 3);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: refused as busy";
    }

    // The receiver is still started: the next program gets whole telegrams from the first
    // byte on, nothing half-sent before it came.
    ProgramSide second(link);
    ASSERT_TRUE(second.IsOpen()) << std::strerror(errno);
    const Bytes got = second.ReadUntil(AtLeast(80), In(5s));
    ASSERT_GE(got.size(), 80u);
    Telegrams(got, 0, got.size() / 8 * 8);
    second.Send(kStop);
    EXPECT_TRUE(EndsWith(kAck)(second.ReadUntil(EndsWith(kAck), In(5s))));
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

TEST(SimProgram, RecordsWhatItSendsAndReplaysItByteForByte) {
    TempDir dir;
    const std::string capture = dir.File("capture.bin");
    Bytes sent;
    {
        SimProcess sim({"--link", dir.File("ttyA"), "--speed", "600", "--count", "20", "--noise",
                        "--record", capture});
        ASSERT_FALSE(SlaveOf(sim.ReadyLine(In(5s))).empty());
        ProgramSide line(dir.File("ttyA"));
        line.Send(kStart);
        // --count 20 at this speed: all of it within a few tenths of a second, then quiet.
        const Bytes got = line.ReadUntilQuiet(300ms, In(5s));
        ASSERT_GE(got.size(), 3u);
        EXPECT_EQ(Bytes(got.begin(), got.begin() + 3), kAck);
        // Noise never holds an STX, and a telegram is taken whole once its STX is seen.
        int telegrams = 0;
        for (std::size_t i = 3; i < got.size();) {
            if (got[i] == 0x02) {
                ASSERT_LE(i + 8, got.size());
                EXPECT_EQ(got[i + 7], 0x03);
                ++telegrams;
                i += 8;
            } else {
                ++i;
            }
        }
        EXPECT_EQ(telegrams, 20);
        line.Send(kStop);
        const Bytes stopped = line.ReadUntil(AtLeast(3), In(5s));
        sent = got;
        sent.insert(sent.end(), stopped.begin(), stopped.end());
        EXPECT_EQ(sim.Terminate(In(5s)), 0);
        EXPECT_NE(sim.Stderr().find("20 Telegramme gesendet"), std::string::npos) << sim.Stderr();
    }
    const std::string recorded = tavrolin::testing::ReadBytes(capture);
    ASSERT_EQ(Bytes(recorded.begin(), recorded.end()), sent);

    SimProcess sim({"--link", dir.File("ttyB"), "--replay", capture});
    ASSERT_FALSE(SlaveOf(sim.ReadyLine(In(5s))).empty());
    ProgramSide line(dir.File("ttyB"));
    line.Send(kStart);
    const Bytes replayed = line.ReadUntil(AtLeast(3 + sent.size()), In(5s));
    EXPECT_TRUE(line.ReadFor(200ms).empty());
    Bytes expected = kAck;
    expected.insert(expected.end(), sent.begin(), sent.end());
    EXPECT_EQ(replayed, expected);
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

TEST(SimProgram, ReplacesAStaleLinkButNoOtherFile) {
    TempDir dir;
    const std::string link = dir.File("ttySIM");
    std::filesystem::create_symlink("/nonexistent/pts", link);
    {
        SimProcess sim({"--link", link});
        const std::string slave = SlaveOf(sim.ReadyLine(In(5s)));
        ASSERT_FALSE(slave.empty());
        EXPECT_EQ(std::filesystem::read_symlink(link), slave);
        EXPECT_EQ(sim.Terminate(In(5s)), 0);
        EXPECT_NE(sim.Stderr().find("0 Telegramme gesendet, 0 Befehle empfangen"),
                  std::string::npos);
    }

    tavrolin::testing::WriteBytes(link, "keep me");
    SimProcess sim({"--link", link});
    EXPECT_EQ(sim.Exit(In(5s)), 1);
    EXPECT_NE(sim.Stderr().find("kein symbolischer Link"), std::string::npos) << sim.Stderr();
    EXPECT_EQ(tavrolin::testing::ReadBytes(link), "keep me");
}

TEST(SimProgram, WrongOptionsEndWithStatus2) {
    SimProcess sim({"--rate", "fast"});
    EXPECT_EQ(sim.Exit(In(5s)), 2);
    EXPECT_NE(sim.Stderr().find("--rate braucht eine ganze Zahl"), std::string::npos);
}

}  // namespace
}  // namespace tavrolin::sim
