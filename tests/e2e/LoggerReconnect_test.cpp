// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-log when its receiver goes away and comes back: the simulator ended (its
// pseudo-terminal hangs up, as a pulled USB adapter does) and started again on the same
// link, many times over; and a receiver that answers commands but sends nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "Emulation.h"
#include "Sanitizer.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;

const std::string kReplay = TAVROLIN_E2E_DATA "/replay.bin";
const char* const kLost =
    "Fehler beim Lesen der Schnittstelle: Der Empfänger ist nicht erreichbar. Die Schnittstelle "
    "wird nach 1 s wieder geöffnet, danach in wachsenden Abständen bis zu 30 s.\n";
const char* const kBack = "Tavrolin: Der Empfänger ist wieder verbunden;";

// The masked lines of the expected file for one replay of the capture.
std::vector<std::string> ExpectedReplay() {
    return FileLines(testing::ReadBytes(TAVROLIN_E2E_DATA "/replay-all.expected"));
}

std::vector<std::string> MaskedLines(const std::string& path) {
    std::vector<std::string> lines = FileLines(testing::ReadBytes(path));
    std::transform(lines.begin(), lines.end(), lines.begin(), Masked);
    return lines;
}

// The anonymous part of the resident size, where a leak shows: the mapped files' pages grow
// by themselves as the losses run code of the libraries not run before.
int64_t RssKb(pid_t pid) {
    return std::stoll(ProcessStatus(pid)["RssAnon"]);
}

// The readings of a commit interval wait in memory for the archive: a second's here, so that
// the memory measured over minutes stays flat.
std::vector<std::string> ProfileArgs(const TempDir& dir) {
    WriteProfile(dir.File("p.INI"),
                 "Filename=" + dir.File("log.dat") + "\n[Archiv]\nSchreibintervall=1",
                 dir.File("ttySIM"));
    return {"--profile", dir.File("p.INI")};
}

TEST(LoggerReconnect, ASimulatorStartedAgainIsLoggedOnByTheSameProcessWithNothingLostOrDoubled) {
    TempDir dir;
    NotifySocket notify(dir.File("notify"));
    ASSERT_TRUE(notify.Bound());
    const std::vector<std::string> once = ExpectedReplay();
    ASSERT_EQ(once.size(), 21u);

    auto sim = std::make_unique<Simulator>(dir.File("ttySIM"),
                                           std::vector<std::string>{"--replay", kReplay});
    ASSERT_TRUE(sim->Ready()) << sim->Stderr();
    Logger logger(ProfileArgs(dir),
                  ChildSetup{{"NOTIFY_SOCKET=" + dir.File("notify"), "WATCHDOG_USEC=1000000"}, ""});
    ASSERT_TRUE(WaitForFileLines(dir.File("log.dat"), 21, In(10s))) << logger.Stderr();
    EXPECT_TRUE(notify.WaitFor("READY=1", In(5s)));
    EXPECT_TRUE(notify.WaitFor("STATUS=verbunden mit " + dir.File("ttySIM"), In(5s)));
    EXPECT_TRUE(notify.WaitFor("WATCHDOG=1", In(5s)));

    // Pulled.
    EXPECT_EQ(sim->Terminate(In(5s)), 0);
    sim.reset();
    ASSERT_TRUE(logger.WaitForStderr(kLost, In(5s))) << logger.Stderr();
    EXPECT_TRUE(notify.WaitFor("STATUS=keine Verbindung seit ", In(5s), true));
    EXPECT_TRUE(std::regex_match(notify.Received().back(),
                                 std::regex(R"(STATUS=keine Verbindung seit \d\d:\d\d:\d\d)")))
        << notify.Received().back();

    // While it is gone the logger waits in its timer: nothing more is said, next to no CPU
    // is used (a busy loop would use all 500 ticks), and the watchdog goes on.
    const int64_t cpuBefore = CpuTicks(logger.Pid());
    EXPECT_FALSE(logger.WaitForStderr("\n", In(5s))) << logger.Stderr();
    const int64_t cpuWhileGone = CpuTicks(logger.Pid()) - cpuBefore;
    EXPECT_LE(cpuWhileGone, 25) << "clock ticks in 5 s";
    EXPECT_TRUE(notify.WaitFor("WATCHDOG=1", In(5s)));

    // Plugged in again: within 3 s the records come again, from the same process.
    sim = std::make_unique<Simulator>(dir.File("ttySIM"),
                                      std::vector<std::string>{"--replay", kReplay});
    ASSERT_TRUE(sim->Ready()) << sim->Stderr();
    EXPECT_TRUE(WaitForFileLines(dir.File("log.dat"), 42, In(3s))) << logger.Stderr();
    EXPECT_TRUE(logger.WaitForStderr(kBack, In(1s))) << logger.Stderr();
    EXPECT_TRUE(notify.WaitFor("STATUS=verbunden mit " + dir.File("ttySIM"), In(5s)));

    EXPECT_EQ(logger.Terminate(In(5s)), 0) << "it never ended on its own";
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(MaskedLines(dir.File("log.dat")), twice);
    EXPECT_EQ(logger.StdoutLines().size(), 42u);
    std::cout << "CPU while gone: " << cpuWhileGone << " ticks in 5 s\n";
}

TEST(LoggerReconnect, AHundredLossesLeaveDescriptorsAndMemoryFlatAndEveryRecordOnce) {
    TempDir dir;
    Logger* logger = nullptr;
    std::unique_ptr<Logger> owner;
    int fdsAtStart = 0;
    int64_t rssAtStart = 0;
    std::vector<double> resumeMs;
    constexpr int kCycles = 100;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        Simulator sim(dir.File("ttySIM"), {"--replay", kReplay});
        ASSERT_TRUE(sim.Ready()) << sim.Stderr();
        const auto ready = testing::TestClock::now();
        if (!owner) {
            // Under AddressSanitizer freed memory waits in a quarantine of up to 256 MB, so
            // the resident size would grow without a leak; without it, memory is reused as in
            // a plain build (and LeakSanitizer checks at the end).
            const char* asan = std::getenv("ASAN_OPTIONS");
            const std::string options =
                (asan != nullptr ? std::string(asan) + ":" : "") + "quarantine_size_mb=0";
            owner = std::make_unique<Logger>(ProfileArgs(dir),
                                             ChildSetup{{"ASAN_OPTIONS=" + options}, ""});
            logger = owner.get();
        }
        // The first record after the return, then the rest of the capture.
        ASSERT_TRUE(WaitForFileLines(dir.File("log.dat"), 21u * cycle + 1, In(10s)))
            << logger->Stderr();
        resumeMs.push_back(
            std::chrono::duration<double, std::milli>(testing::TestClock::now() - ready).count());
        ASSERT_TRUE(WaitForFileLines(dir.File("log.dat"), 21u * (cycle + 1), In(10s)))
            << logger->Stderr();
        if (cycle == 1) {
            // After the first loss and return: what a running logger holds.
            fdsAtStart = OpenDescriptors(logger->Pid());
            rssAtStart = RssKb(logger->Pid());
        }
        ASSERT_EQ(sim.Terminate(In(5s)), 0);
        ASSERT_TRUE(logger->WaitForStderr(kLost, In(5s))) << logger->Stderr();
    }
    const int fds = OpenDescriptors(logger->Pid());
    const int64_t rss = RssKb(logger->Pid());
    EXPECT_EQ(fds, fdsAtStart - 1) << "the port's descriptor is closed while it is gone";
    // Under emulation the resident size is qemu's too, whose cache of translated code grows
    // as the losses take the logger down paths it had not run before. AddressSanitizer keeps
    // freed memory in quarantine and maps shadow for every new place, so it grows there without
    // a leak; LeakSanitizer checks for leaks instead when the logger ends (and fails its exit
    // status).
    if (!kAddressSanitizer && !UnderEmulation()) {
        EXPECT_LE(rss, rssAtStart + 256) << "kB";
    }
    EXPECT_EQ(logger->Terminate(In(5s)), 0);

    const std::vector<std::string> once = ExpectedReplay();
    const std::vector<std::string> all = MaskedLines(dir.File("log.dat"));
    ASSERT_EQ(all.size(), once.size() * kCycles);
    for (std::size_t i = 0; i < all.size(); ++i) {
        ASSERT_EQ(all[i], once[i % once.size()]) << i;
    }
    std::sort(resumeMs.begin() + 1, resumeMs.end());
    std::cout << "descriptors " << fdsAtStart << " -> " << fds << ", RssAnon " << rssAtStart
              << " kB -> " << rss
              << " kB; from the device's return to its first record logged: median "
              << resumeMs[1 + (resumeMs.size() - 1) / 2] << " ms\n";
}

TEST(LoggerReconnect, ASilentReceiverIsStartedAnewOncePerSilenceTime) {
    TempDir dir;
    // Answers every command, sends no telegram.
    Simulator sim(dir.File("ttySIM"), {"--count", "0", "--verbose"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    std::vector<std::string> args = ProfileArgs(dir);
    args.insert(args.end(), {"--silence-seconds", "1"});
    const auto start = testing::TestClock::now();
    Logger logger(args);
    const std::string said =
        "Tavrolin: Vom Empfänger kam seit 1 s nichts. Stoppbefehl, Multiplexer-Adresse und "
        "Startbefehl werden neu gesendet.\n";
    for (int time = 1; time <= 3; ++time) {
        ASSERT_TRUE(logger.WaitForStderr(said, In(5s))) << logger.Stderr();
        // Not sooner than one silence time after the start or the last restart.
        EXPECT_GE(testing::TestClock::now() - start, std::chrono::seconds(time));
    }
    EXPECT_EQ(logger.Terminate(In(5s)), 0);
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
    const auto count = [](const std::string& log, const std::string& text) {
        std::size_t n = 0;
        for (std::size_t at = 0; (at = log.find(text, at)) != std::string::npos;
             at += text.size()) {
            ++n;
        }
        return n;
    };
    // The start, three restarts, and the end's stop command.
    const std::string& line = sim.Stderr();
    EXPECT_EQ(count(line, "Startbefehl 01 FF 00 00 00 00 00 80 04, mit ACK beantwortet"), 4u)
        << line;
    EXPECT_EQ(count(line, "Stoppbefehl 01 FE 00 00 00 00 00 81 04, mit ACK beantwortet"), 4u)
        << line;
    EXPECT_EQ(count(logger.Stderr(), said), 3u) << logger.Stderr();
}

}  // namespace
}  // namespace tavrolin::e2e
