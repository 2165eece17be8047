// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-log's archive: every record it logs is kept, an archive it cannot open stops
// nothing else, and the rain totals go on from it when the logger is started again.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "E2eSupport.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;

TEST(LoggerArchive, EveryLoggedRecordIsInTheArchive) {
    TempDir dir;
    Simulator sim(dir.File("ttySIM"), {"--rate", "200"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    // Bit 1 unticked: outdoor and temperature sensor 1 are neither logged nor archived.
    WriteProfile(dir.File("p.INI"), "Protokoll=-3\nFilename=" + dir.File("log.dat"),
                 dir.File("ttySIM"));
    Logger logger({"--profile", dir.File("p.INI"), "--archive", dir.File("a.sqlite")});
    ASSERT_TRUE(WaitForFileLines(dir.File("log.dat"), 300, In(20s))) << logger.Stderr();
    EXPECT_EQ(logger.Terminate(In(10s)), 0);
    EXPECT_EQ(AfterStart(logger.Stderr()), "");
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
    const std::size_t logged = FileLines(testing::ReadBytes(dir.File("log.dat"))).size();

    History check({"--archive", dir.File("a.sqlite"), "check"});
    EXPECT_EQ(check.Exit(In(20s)), 0) << check.Stderr();
    EXPECT_NE(check.Stdout().find("ist in Ordnung: " + std::to_string(logged) + " Messungen"),
              std::string::npos)
        << check.Stdout() << " for " << logged << " logged records";
    History kept({"--archive", dir.File("a.sqlite"), "export", "--sensor", "outdoor-2"});
    EXPECT_EQ(kept.Exit(In(20s)), 0);
    EXPECT_GT(kept.StdoutLines().size(), 1u);
    for (const char* masked : {"outdoor-1", "temp-only-1"}) {
        History none({"--archive", dir.File("a.sqlite"), "export", "--sensor", masked});
        EXPECT_EQ(none.Exit(In(20s)), 0);
        EXPECT_EQ(none.StdoutLines().size(), 1u) << none.Stdout();  // the header alone
    }
}

// The local time of a --json line in milliseconds (the offset stays within a test).
int64_t MsOf(const std::string& json) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    std::sscanf(json.c_str(), R"({"time":"%d-%d-%dT%d:%d:%d.%d)", &y, &mo, &d, &h, &mi, &s, &ms);
    const std::chrono::sys_days day = std::chrono::year(y) / mo / d;
    return ((day.time_since_epoch().count() * 24LL + h) * 60 + mi) * 60000 + s * 1000 + ms;
}

// One sensor at the line's 200 telegrams a second: its readings of one poll share a
// millisecond. A logger that ends is followed by an archive of every reading it printed,
// in the order printed; one that is killed by an archive that is in order and misses no
// more than the readings of its commit interval ([Archiv] Schreibintervall), and an import
// of its --json lines brings those and nothing twice.
TEST(LoggerArchive, EveryReadingOfAFastSensorIsKeptAndAKillCostsOnlyTheLastCommitInterval) {
    constexpr int64_t kIntervalMs = 2000;
    for (const int stop : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(stop);
        TempDir dir;
        std::string capture;
        for (int i = 0; i < 1200; ++i) {
            capture += std::string("\x02\x15\x04\x35\x25\x00\x00\x03", 8);  // Außen (5)
        }
        testing::WriteBytes(dir.File("capture"), capture);
        Simulator sim(dir.File("ttySIM"), {"--replay", dir.File("capture"), "--rate", "200"});
        ASSERT_TRUE(sim.Ready()) << sim.Stderr();
        WriteProfile(dir.File("p.INI"),
                     "Filename=" + dir.File("log.dat") +
                         "\n[Archiv]\nSchreibintervall=" + std::to_string(kIntervalMs / 1000),
                     dir.File("ttySIM"));
        const std::string archive = dir.File("a.sqlite");
        Logger logger({"--profile", dir.File("p.INI"), "--archive", archive, "--json"});
        ASSERT_TRUE(logger.WaitForStdoutLines(800, In(30s))) << logger.Stderr();
        logger.Signal(stop);
        EXPECT_EQ(logger.Exit(In(10s)), stop == SIGTERM ? std::optional(0) : std::nullopt);
        ASSERT_EQ(logger.Pid(), -1) << "still running";
        EXPECT_EQ(sim.Terminate(In(5s)), 0);
        const std::vector<std::string> printed = logger.StdoutLines();
        const std::size_t filed = FileLines(testing::ReadBytes(dir.File("log.dat"))).size();
        ASSERT_LE(filed, printed.size());
        // A poll's lines go to stdout, then to the file: a kill between the two writes leaves
        // the file without that last poll (polls are 50 ms apart), and nothing older.
        for (std::size_t i = filed; i < printed.size(); ++i) {
            EXPECT_LE(MsOf(printed.back()) - MsOf(printed[i]), 10)
                << "line " << i << " of " << printed.size() << " not in the file";
        }
        if (stop == SIGTERM) {
            EXPECT_EQ(filed, printed.size());
        }

        History kept({"--archive", archive, "export", "--sensor", "outdoor-5", "--format", "json"});
        ASSERT_EQ(kept.Exit(In(20s)), 0) << kept.Stderr();
        const std::vector<std::string> archived = kept.StdoutLines();
        ASSERT_LE(archived.size(), printed.size());
        EXPECT_TRUE(std::equal(archived.begin(), archived.end(), printed.begin()));
        if (stop == SIGTERM) {
            EXPECT_EQ(archived.size(), printed.size());
        } else {
            // Half a second more for the commit itself.
            const int64_t lastKept = archived.empty() ? 0 : MsOf(archived.back());
            EXPECT_GE(lastKept, MsOf(printed.back()) - kIntervalMs - 500)
                << archived.size() << " of " << printed.size() << " kept";
        }

        testing::WriteBytes(dir.File("printed.jsonl"), logger.Stdout());
        History import({"--archive", archive, "import", dir.File("printed.jsonl")});
        EXPECT_EQ(import.Exit(In(20s)), 0) << import.Stderr();
        EXPECT_EQ(import.Stdout(),
                  "Übernommen: " + std::to_string(printed.size() - archived.size()) +
                      " Messungen, schon im Archiv: " + std::to_string(archived.size()) +
                      ", übersprungene Zeilen: 0.\n");
        History check({"--archive", archive, "check"});
        EXPECT_EQ(check.Exit(In(20s)), 0) << check.Stdout();
    }
}

TEST(LoggerArchive, AnArchiveThatCannotBeOpenedIsSaidOnceAndTheLoggingGoesOn) {
    TempDir dir;
    Simulator sim(dir.File("ttySIM"), {"--speed", "60"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    WriteProfile(dir.File("p.INI"), "Filename=" + dir.File("log.dat"), dir.File("ttySIM"));
    const std::string archive = dir.File("gone/a.sqlite");
    Logger logger({"--profile", dir.File("p.INI"), "--archive", archive});
    const std::string said =
        "Tavrolin: Das Archiv " + archive + " läßt sich nicht öffnen: Der Ordner existiert nicht.";
    EXPECT_TRUE(logger.WaitForStderr(said, In(10s))) << logger.Stderr();
    EXPECT_TRUE(WaitForFileLines(dir.File("log.dat"), 20, In(20s)));
    EXPECT_TRUE(logger.WaitForStdoutLines(20, In(10s)));
    EXPECT_EQ(logger.Terminate(In(10s)), 0);
    const std::string& err = logger.Stderr();
    EXPECT_EQ(err.find(said), err.rfind(said)) << "said once: " << err;
    EXPECT_NE(err.find("Beim Beenden verloren"), std::string::npos) << err;
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

// The number after "key": in a --json line.
std::string JsonValue(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\":");
    if (at == std::string::npos) {
        return "";
    }
    const std::size_t from = at + key.size() + 3;
    return json.substr(from, json.find_first_of(",}", from) - from);
}

// A logger started again goes on from the archive's last reading of the rain sensor: its
// steps and millimetres since the base do not start at 0 again. The counter stood at 139 when
// the first run ended and reads 150 in the second: 11 steps more.
TEST(LoggerArchive, RainTotalsGoOnFromTheArchiveWhenTheLoggerIsStartedAgain) {
    TempDir dir;
    WriteProfile(dir.File("p.INI"), "Filename=" + dir.File("log.dat"), dir.File("ttySIM"));
    testing::WriteBytes(dir.File("p.INI"),
                        testing::ReadBytes(dir.File("p.INI")) + "[Regen]\r\nrain-0=0.5\r\n");
    std::vector<std::vector<std::string>> runs;
    for (const auto& [first, count] : {std::pair{100, 40}, std::pair{150, 10}}) {
        std::string capture;
        for (int counter = first; counter < first + count; ++counter) {
            capture += std::string{'\x02',
                                   '\x20',
                                   static_cast<char>(counter / 128),
                                   static_cast<char>(counter % 128),
                                   0,
                                   0,
                                   0,
                                   '\x03'};
        }
        testing::WriteBytes(dir.File("capture"), capture);
        Simulator sim(dir.File("ttySIM"), {"--replay", dir.File("capture"), "--rate", "200"});
        ASSERT_TRUE(sim.Ready()) << sim.Stderr();
        Logger logger(
            {"--profile", dir.File("p.INI"), "--archive", dir.File("a.sqlite"), "--json"});
        ASSERT_TRUE(logger.WaitForStdoutLines(static_cast<std::size_t>(count), In(20s)))
            << logger.Stderr();
        EXPECT_EQ(logger.Terminate(In(10s)), 0);
        EXPECT_EQ(AfterStart(logger.Stderr()), "");
        EXPECT_EQ(sim.Terminate(In(5s)), 0);
        runs.push_back(logger.StdoutLines());
    }
    ASSERT_EQ(runs[0].size(), 40u);
    ASSERT_EQ(runs[1].size(), 10u);
    EXPECT_EQ(JsonValue(runs[0].front(), "rain_steps"), "0");
    EXPECT_EQ(JsonValue(runs[0].back(), "rain_steps"), "39");
    EXPECT_EQ(JsonValue(runs[0].back(), "rain_mm"), "19.5");
    EXPECT_EQ(JsonValue(runs[1].front(), "rain_steps"), "50");
    EXPECT_EQ(JsonValue(runs[1].front(), "rain_mm"), "25.0");
    EXPECT_EQ(JsonValue(runs[1].back(), "rain_mm"), "29.5");
    // The last hour's and today's rain too, unless the runs fell on both sides of midnight.
    EXPECT_EQ(JsonValue(runs[1].back(), "rain_1h_mm"), "29.5");
    const auto date = [](const std::string& json) { return json.substr(0, 20); };
    if (date(runs[0].front()) == date(runs[1].back())) {
        EXPECT_EQ(JsonValue(runs[1].back(), "rain_today_mm"), "29.5");
    }
}

}  // namespace
}  // namespace tavrolin::e2e
