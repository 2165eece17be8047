// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-log's archive: every record it logs is kept, and an archive it cannot open stops
// nothing else.
#include <gtest/gtest.h>

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
    EXPECT_EQ(logger.Stderr(), "");
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

}  // namespace
}  // namespace tavrolin::e2e
