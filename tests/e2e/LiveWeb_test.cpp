// SPDX-License-Identifier: GPL-3.0-or-later
// The live feed between real programs: tavrolin-sim, tavrolin-log at the default commit
// interval, and tavrolin-web's event stream read over HTTP. A reading is on the stream
// within a second of the logger printing it; a logger killed and started again costs the
// stream nothing and doubles nothing, and a page that resumes across it gets what the
// others got; a reader of the feed that never reads holds up nothing.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "Emulation.h"
#include "Sanitizer.h"
#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "archive/ArchiveSchema.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;

class Web : public ChildProcess {
public:
    explicit Web(std::vector<std::string> args)
        : ChildProcess(TAVROLIN_WEB_PROGRAM, std::move(args)) {}
    // The port of its ready line ("tavrolin-web: http://127.0.0.1:PORT/ zeigt ...").
    uint16_t Port(TestClock::time_point deadline) {
        const std::string line = ReadyLine(deadline);
        const std::size_t colon = line.find(':', line.find("127.0.0.1"));
        return colon == std::string::npos
                   ? 0
                   : static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
    }
};

// A port nothing listens on now (the view takes no port 0).
uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

// An event stream as a page reads it: every event's id and data, as they come.
class EventStream {
public:
    struct Event {
        int64_t id = 0;
        std::string name;  // "message", "state", ...
        std::string data;
    };

    EventStream(uint16_t port, const std::string& lastEventId = "") {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const std::string request =
                "GET /events HTTP/1.1\r\nHost: x\r\n" +
                (lastEventId.empty() ? "" : "Last-Event-ID: " + lastEventId + "\r\n") + "\r\n";
            (void)!::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL);
        }
    }
    ~EventStream() { Close(); }
    void Close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

    // Reads until an event for which `done` holds has come, or the deadline passes.
    template <class Done>
    bool WaitFor(Done done, TestClock::time_point deadline) {
        for (std::size_t i = m_checked;; ++i) {
            for (; i < events.size(); ++i) {
                if (done(events[i])) {
                    m_checked = i + 1;
                    return true;
                }
            }
            m_checked = i;
            if (!ReadMore(deadline)) {
                return false;
            }
            i = m_checked - 1;
        }
    }
    bool WaitForState(bool live, TestClock::time_point deadline) {
        const std::string text = live ? "\"live\":true" : "\"live\":false";
        return WaitFor(
            [&text](const Event& e) {
                return e.name == "state" && e.data.find(text) != std::string::npos;
            },
            deadline);
    }
    // The readings' ids, in the order they came.
    std::vector<int64_t> Ids() const {
        std::vector<int64_t> ids;
        for (const Event& e : events) {
            if (e.name == "message") {
                ids.push_back(e.id);
            }
        }
        return ids;
    }

    std::vector<Event> events;

private:
    bool ReadMore(TestClock::time_point deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TestClock::now());
        pollfd p{m_fd, POLLIN, 0};
        if (m_fd < 0 || left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[16384];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return false;
        }
        m_bytes.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = m_bytes.find("\n\n")) != std::string::npos;) {
            Event event{0, "message", ""};
            bool any = false;
            for (std::size_t from = 0; from < end;) {
                const std::size_t eol = std::min(m_bytes.find('\n', from), end);
                const std::string line = m_bytes.substr(from, eol - from);
                from = eol + 1;
                if (line.starts_with("id: ")) {
                    event.id = std::stoll(line.substr(4));
                } else if (line.starts_with("event: ")) {
                    event.name = line.substr(7);
                } else if (line.starts_with("data: ")) {
                    event.data = line.substr(6);
                    any = true;
                }
            }
            if (any) {
                events.push_back(std::move(event));
            }
            m_bytes.erase(0, end + 2);
        }
        return true;
    }

    int m_fd = -1;
    std::string m_bytes;
    std::size_t m_checked = 0;
};

// What names a reading in a --json line and in an event's data alike: its time and sensor,
// the line's beginning ({"time":"...","sensor":"outdoor-1").
std::string NameOf(const std::string& json) {
    const std::size_t sensor = json.find("\"sensor\":\"");
    return json.substr(0, json.find('"', sensor + 10) + 1);
}

bool Carries(const EventStream::Event& e, const std::string& name) {
    return e.name == "message" && e.data.find("\"reading\":" + name) != std::string::npos;
}

std::vector<int64_t> ArchiveKeys(const std::string& path) {
    Archive archive;
    EXPECT_TRUE(archive.Open(path, Archive::Access::Read, 1000).Ok());
    std::vector<KeyedReading> readings;
    EXPECT_TRUE(ReadingsAfter(archive, 0, 1000000, readings).Ok());
    std::vector<int64_t> keys;
    for (const KeyedReading& r : readings) {
        keys.push_back(r.key);
    }
    return keys;
}

void WriteLiveProfile(const TempDir& dir) {
    WriteProfile(dir.File("p.INI"), "Filename=" + dir.File("log.dat"), dir.File("ttySIM"));
    // The default commit interval: five minutes.
    testing::WriteBytes(dir.File("p.INI"), testing::ReadBytes(dir.File("p.INI")) +
                                               "[Archiv]\r\nLive=" + dir.File("live.sock") +
                                               "\r\n");
}

TEST(LiveWeb, EveryReadingIsOnTheStreamWithinASecondOnceAndInOrderAcrossAKilledLogger) {
    TempDir dir;
    Simulator sim(dir.File("ttySIM"), {"--rate", "20"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    WriteLiveProfile(dir);
    const std::vector<std::string> args = {"--profile", dir.File("p.INI"), "--archive",
                                           dir.File("a.sqlite"), "--json"};
    auto logger = std::make_unique<Logger>(args);
    ASSERT_TRUE(logger->WaitForStdoutLines(5, In(10s))) << logger->Stderr();
    Web web({"--profile", dir.File("p.INI"), "--archive", dir.File("a.sqlite"), "--listen",
             "127.0.0.1:" + std::to_string(FreePort())});
    const uint16_t port = web.Port(In(10s));
    ASSERT_NE(port, 0) << web.Stderr();
    EventStream page(port);
    EventStream other(port);
    ASSERT_TRUE(page.WaitForState(true, In(5s))) << web.Stderr();
    ASSERT_TRUE(other.WaitForState(true, In(5s)));

    // Within a second of the logger's line, whatever the archive's five minutes.
    std::size_t printed = logger->StdoutLines().size();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(logger->WaitForStdoutLines(printed + 1, In(5s)));
        const auto at = TestClock::now();
        const std::vector<std::string> lines = logger->StdoutLines();
        const std::string name = NameOf(lines[printed]);
        printed = lines.size();
        EXPECT_TRUE(page.WaitFor([&](const auto& e) { return Carries(e, name); }, at + 1s))
            << name << " not on the stream within a second";
    }
    // A page that goes away for a while, to come back after the logger's restart.
    ASSERT_TRUE(other.WaitFor([](const auto& e) { return e.name == "message"; }, In(5s)));
    const std::vector<int64_t> before = other.Ids();
    other.Close();

    logger->Signal(SIGKILL);
    const int64_t killedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    (void)logger->Exit(In(5s));  // reaped: killed, it has no status
    EXPECT_TRUE(page.WaitForState(false, In(5s))) << "the badge says it shows the archive";
    logger = std::make_unique<Logger>(args);
    EXPECT_TRUE(page.WaitForState(true, In(10s))) << web.Stderr();
    ASSERT_TRUE(logger->WaitForStdoutLines(20, In(20s))) << logger->Stderr();
    const std::vector<std::string> afterRestart = logger->StdoutLines();
    ASSERT_TRUE(page.WaitFor([&](const auto& e) { return Carries(e, NameOf(afterRestart.back())); },
                             In(2s)));
    EventStream back(port, std::to_string(before.back()));
    ASSERT_TRUE(back.WaitFor([&](const auto& e) { return Carries(e, NameOf(afterRestart.back())); },
                             In(5s)));
    // A clean end commits what waits.
    EXPECT_EQ(logger->Terminate(In(10s)), 0) << logger->Stderr();
    EXPECT_TRUE(page.WaitForState(false, In(5s)));
    EXPECT_EQ(web.Terminate(In(5s)), 0) << web.Stderr();

    const std::vector<int64_t> ids = page.Ids();
    ASSERT_FALSE(ids.empty());
    EXPECT_TRUE(std::adjacent_find(ids.begin(), ids.end(), std::greater_equal<>()) == ids.end())
        << "every id once, in order";
    const std::set<int64_t> shown(ids.begin(), ids.end());
    const std::vector<int64_t> archived = ArchiveKeys(dir.File("a.sqlite"));
    const std::set<int64_t> kept(archived.begin(), archived.end());
    for (const int64_t key : archived) {
        if (key >= ids.front() && key <= ids.back()) {
            EXPECT_TRUE(shown.contains(key)) << "missed " << key;
        }
    }
    // What the stream showed and the archive has not: the killed logger's last minutes,
    // which it had not committed.
    for (const int64_t key : ids) {
        if (!kept.contains(key)) {
            EXPECT_LE(TimeOfKey(key), killedMs) << key;
        }
    }
    for (const std::string& line : afterRestart) {
        EXPECT_TRUE(std::any_of(page.events.begin(), page.events.end(), [&](const auto& e) {
            return Carries(e, NameOf(line));
        })) << line;
    }
    // The page that came back got what the others got, from where it left off.
    std::vector<int64_t> resumed = before;
    const std::vector<int64_t> rest = back.Ids();
    resumed.insert(resumed.end(), rest.begin(), rest.end());
    const auto from = std::find(ids.begin(), ids.end(), resumed.front());
    ASSERT_NE(from, ids.end());
    const std::vector<int64_t> expected(
        from, from + static_cast<std::ptrdiff_t>(
                         std::min<std::size_t>(resumed.size(), ids.end() - from)));
    EXPECT_EQ(std::vector<int64_t>(resumed.begin(), resumed.begin() + expected.size()), expected)
        << web.Stderr();
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

// The simulator at the line's limit of 200 telegrams a second, into a logger with its feed
// at the default commit interval.
class FeedAtTheLinesLimit : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Ready()) << sim.Stderr();
        WriteLiveProfile(dir);
        logger.emplace(std::vector<std::string>{"--profile", dir.File("p.INI"), "--archive",
                                                dir.File("a.sqlite"), "--json"});
    }
    void TearDown() override {
        if (logger) {
            EXPECT_EQ(logger->Terminate(In(10s)), 0);
        }
        EXPECT_EQ(sim.Terminate(In(5s)), 0);
    }
    // A reader of the feed, connected (or -1).
    int Connect() const {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = dir.File("live.sock");
        std::memcpy(address.sun_path, path.c_str(), path.size());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ADD_FAILURE() << std::strerror(errno);
            ::close(fd);
            return -1;
        }
        return fd;
    }

    TempDir dir;
    Simulator sim{dir.File("ttySIM"), {"--rate", "200"}};
    std::optional<Logger> logger;
};

TEST_F(FeedAtTheLinesLimit, AReaderThatNeverReadsHoldsUpNothingAndIsDropped) {
    ASSERT_TRUE(logger->WaitForStdoutLines(10, In(10s))) << logger->Stderr();
    const int silent = Connect();
    ASSERT_GE(silent, 0);
    // It takes nothing: after what its socket holds, the logger stops giving it more, goes on
    // at the line's pace and lets it go after five seconds.
    const auto start = TestClock::now();
    const std::size_t printed = logger->StdoutLines().size();
    EXPECT_TRUE(logger->WaitForStderr("nimmt seit 5 s nichts ab", In(15s))) << logger->Stderr();
    const double seconds = std::chrono::duration<double>(TestClock::now() - start).count();
    const std::size_t during = logger->StdoutLines().size() - printed;
    EXPECT_GT(static_cast<double>(during), 0.8 * 200 * seconds)
        << during << " lines in " << seconds << " s";
    char byte;
    EXPECT_EQ(::recv(silent, &byte, 1, MSG_DONTWAIT), 1) << "it was sent its greeting";
    ::close(silent);
}

// Sixteen readers that join when thousands of readings wait for the archive get them all,
// and the logger holds no more than a chunk of them at a time for each.
TEST_F(FeedAtTheLinesLimit, ReadersThatJoinBehindThousandsOfReadingsGetThemAllForLittleMemory) {
    ASSERT_TRUE(logger->WaitForStdoutLines(3000, In(30s))) << logger->Stderr();
    const auto peakKib = [this] { return std::stoll(ProcessStatus(logger->Pid())["VmHWM"]); };
    const int64_t before = peakKib();
    const std::size_t waiting = logger->StdoutLines().size();
    std::vector<pollfd> readers;
    for (int i = 0; i < 16; ++i) {
        const int fd = Connect();
        ASSERT_GE(fd, 0);
        readers.push_back({fd, POLLIN, 0});
    }
    std::vector<std::size_t> lines(readers.size());
    const auto deadline = In(20s);
    while (*std::min_element(lines.begin(), lines.end()) < waiting && TestClock::now() < deadline) {
        ::poll(readers.data(), readers.size(), 100);
        for (std::size_t i = 0; i < readers.size(); ++i) {
            char buffer[65536];
            const ssize_t n = ::recv(readers[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
            lines[i] += n > 0 ? static_cast<std::size_t>(std::count(buffer, buffer + n, '\n')) : 0;
        }
    }
    for (const std::size_t got : lines) {
        EXPECT_GE(got, waiting);
    }
    // Each reader's backlog is some 0.7 MB of lines: held whole, the sixteen took 11 MB.
    // AddressSanitizer's redzones and quarantine, and qemu's cache of translated code, add
    // their own.
    if (!kAddressSanitizer && !UnderEmulation()) {
        EXPECT_LT(peakKib() - before, 4096) << "KiB more at the peak, " << waiting << " waiting";
    }
    for (const pollfd& reader : readers) {
        ::close(reader.fd);
    }
}

}  // namespace
}  // namespace tavrolin::e2e
