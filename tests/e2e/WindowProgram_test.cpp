// SPDX-License-Identifier: GPL-3.0-or-later
// The window program on a pseudo-terminal, offscreen: it offers its readings on the live feed
// as the logger does, and a logout or shutdown (SIGTERM) ends it as its close box does, with
// every reading it received in the archive, not only those of its last commit.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <cstring>
#include <string>

#include "E2eSupport.h"
#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;

#ifdef TAVROLIN_WINDOW_PROGRAM

// The first line a reader of the feed at path gets, within a few seconds.
std::string FeedGreeting(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    std::string got;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const auto deadline = In(5s);
        while (got.find('\n') == std::string::npos && testing::WaitReadable(fd, deadline)) {
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return got.substr(0, got.find('\n'));
}

TEST(WindowProgram, OffersItsFeedAndOnSigtermWritesWhatWaitsForTheArchive) {
    TempDir dir;
    Simulator sim(dir.File("ttySIM"), {"--speed", "30"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    WriteProfile(dir.File("tavrolin.INI"), "Filename=" + dir.File("log.dat"), dir.File("ttySIM"));
    // The default commit interval: five minutes.
    testing::WriteBytes(dir.File("tavrolin.INI"), testing::ReadBytes(dir.File("tavrolin.INI")) +
                                                      "[Archiv]\r\nDatei=" + dir.File("a.sqlite") +
                                                      "\r\nLive=" + dir.File("live.sock") + "\r\n");
    ChildSetup setup;
    setup.environment = {"XDG_CONFIG_HOME=" + dir.Path().string(),
                         "XDG_DATA_HOME=" + dir.Path().string(), "QT_QPA_PLATFORM=offscreen"};
    ChildProcess window(TAVROLIN_WINDOW_PROGRAM, {}, setup);
    ASSERT_TRUE(WaitForFileLines(dir.File("log.dat"), 10, In(20s))) << window.Stderr();
    EXPECT_TRUE(FeedGreeting(dir.File("live.sock")).starts_with("{\"feed\":\"tavrolin\""));

    window.Signal(SIGTERM);
    EXPECT_EQ(window.Exit(In(10s)), 0) << window.Stderr();
    const std::size_t logged = FileLines(testing::ReadBytes(dir.File("log.dat"))).size();
    Archive archive;
    ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Read, 1000).Ok());
    std::vector<KeyedReading> archived;
    ASSERT_TRUE(ReadingsAfter(archive, 0, 100000, archived).Ok());
    EXPECT_EQ(archived.size(), logged) << "every reading received is in the archive";
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

#endif

}  // namespace
}  // namespace tavrolin::e2e
