// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-log as a process against tavrolin-sim on a pseudo-terminal: the commands on the
// line, the second attempt, the end by a signal, and the ways a start can go wrong.

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "SmallDisk.h"
#include "base/Win1252.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;

const std::string kStartLogged = "Startbefehl 01 FF 00 00 00 00 00 80 04, mit ACK beantwortet";
const std::string kStopLogged = "Stoppbefehl 01 FE 00 00 00 00 00 81 04, mit ACK beantwortet";

// A profile at dir/p.INI logging into dir/log.dat from the simulator's link dir/ttySIM.
std::vector<std::string> ProfileArgs(const TempDir& dir, const std::string& extra = "") {
    WriteProfile(dir.File("p.INI"), extra + "Filename=" + dir.File("log.dat"), dir.File("ttySIM"));
    return {"--profile", dir.File("p.INI")};
}

TEST(LoggerProgram, StartsTheReceiverAndStopsItOnSigtermLeavingACompleteFile) {
    TempDir dir;
    // At the line's limit, so that the signal comes while telegrams arrive.
    Simulator sim(dir.File("ttySIM"), {"--rate", "200", "--verbose"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    Logger logger(ProfileArgs(dir));
    EXPECT_TRUE(sim.WaitForStderr(kStartLogged, In(5s))) << sim.Stderr();
    ASSERT_TRUE(logger.WaitForStdoutLines(100, In(10s))) << logger.Stderr();

    EXPECT_EQ(logger.Terminate(In(5s)), 0) << logger.Stderr();
    EXPECT_TRUE(sim.WaitForStderr(kStopLogged, In(5s))) << sim.Stderr();
    EXPECT_TRUE(sim.WaitForStderr("Das letzte Programm hat die Leitung geschlossen", In(5s)));
    EXPECT_EQ(AfterStart(logger.Stderr()), "");

    const std::string file = testing::ReadBytes(dir.File("log.dat"));
    ASSERT_TRUE(file.ends_with("\r\n")) << "a torn last line";
    const std::vector<std::string> lines = FileLines(file);
    EXPECT_GE(lines.size(), 100u);
    // Every line is a whole record, the same as printed (where stdout kept up).
    const std::regex record(R"(\(\d\d:\d\d:\d\d\.\d\) : .{8,60})");
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, record)) << line;
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

TEST(LoggerProgram, AnUnansweredOrRefusedStartIsSentASecondTime) {
    struct Case {
        const char* option;
        std::string firstAnswer;
    };
    for (const Case& c :
         {Case{"--nak", "mit NAK beantwortet"}, Case{"--silent", "unbeantwortet"}}) {
        SCOPED_TRACE(c.option);
        TempDir dir;
        Simulator sim(dir.File("ttySIM"), {c.option, "1", "--speed", "60", "--verbose"});
        ASSERT_TRUE(sim.Ready()) << sim.Stderr();
        Logger logger(ProfileArgs(dir));
        EXPECT_TRUE(
            sim.WaitForStderr("Startbefehl 01 FF 00 00 00 00 00 80 04, " + c.firstAnswer, In(5s)))
            << sim.Stderr();
        EXPECT_TRUE(sim.WaitForStderr(kStartLogged, In(5s))) << sim.Stderr();
        EXPECT_TRUE(logger.WaitForStdoutLines(14, In(10s))) << "the receiver was started";
        EXPECT_EQ(logger.Terminate(In(5s)), 0);
        EXPECT_EQ(sim.Terminate(In(5s)), 0);
    }
}

TEST(LoggerProgram, APortThatCannotBeOpenedEndsItWithStatus1) {
    TempDir dir;
    // The link points at nothing: no simulator.
    Logger logger(ProfileArgs(dir));
    EXPECT_EQ(logger.Exit(In(5s)), 1);
    // The window's words, then the device they are about, why, and what there is instead.
    const std::string said = AfterStart(logger.Stderr());
    EXPECT_TRUE(said.starts_with(
        "Fehler beim Öffnen der Schnittstelle: Die Schnittstelle läßt sich nicht öffnen\n"
        "tavrolin-log: Gerät " +
        dir.File("ttySIM") +
        ": Das Gerät gibt es nicht. Ist der Empfänger (oder sein USB-Adapter) angeschlossen, und "
        "ist es die richtige Schnittstelle?\n"))
        << said;
    std::error_code none;
    if (std::filesystem::is_empty("/dev/serial/by-id", none) || none) {
        EXPECT_TRUE(
            said.ends_with("tavrolin-log: In /dev/serial/by-id/ ist kein USB-Adapter zu "
                           "sehen.\n"))
            << said;
    } else {
        EXPECT_NE(said.find("Angeschlossene Adapter (/dev/serial/by-id/):"), std::string::npos)
            << said;
    }
    EXPECT_EQ(StartLines(logger.Stderr()),
              std::vector<std::string>{"Start: Profil " + dir.File("p.INI") + "."});
    EXPECT_EQ(logger.Stdout(), "");

    Logger wrongCom(ProfileArgs(dir, "COM=7\n"));
    EXPECT_EQ(wrongCom.Exit(In(5s)), 1);
    EXPECT_EQ(AfterStart(wrongCom.Stderr()),
              "Fehler beim Öffnen der Schnittstelle: Ungültiger COM-Port\n");
}

// What a logger does is said once at its start, on stderr: the profile, the device and where
// its name came from, the receiver's answer to the start command, and where the readings go.
TEST(LoggerProgram, SaysAtItsStartWhatItOpenedWhetherTheReceiverAnsweredAndWhereItWrites) {
    struct Case {
        const char* name;
        std::vector<std::string> simArgs;
        std::string profileLines;
        bool portOption;
        std::vector<std::string> loggerArgs;
        std::vector<std::string> lines;  // after the profile and the device
    };
    TempDir dir;
    const std::string device = dir.File("ttySIM");
    const std::string live = "Start: Live-Daten für tavrolin-web und tavrolin-upload auf ";
    const Case cases[] = {
        {"acknowledged, from [Ports]",
         {},
         "",
         false,
         {},
         {"Start: Schnittstelle " + device + " geöffnet (COM1 aus [Ports] im Profil).",
          "Start: Der Empfänger hat den Startbefehl bestätigt.",
          "Start: Protokolldatei " + dir.File("log.dat") + ".",
          "Start: Empfangsdaten auf der Standardausgabe, als Text.",
          "Start: Archiv " + dir.File("a.sqlite") +
              ", geschrieben alle 60 s ([Archiv] Schreibintervall)."}},
        {"unanswered, from --port",
         {"--silent", "2"},
         "[Archiv]\nAktiv=0\n",
         true,
         {"--json"},
         {"Start: Schnittstelle " + device + " geöffnet (mit --port genannt).",
          "Start: Der Empfänger hat den Startbefehl nicht bestätigt (keine Antwort, auch beim "
          "zweiten Mal). tavrolin-log hört trotzdem weiter zu. Meist heißt das: an dieser "
          "Schnittstelle hängt kein Empfänger, er hat keinen Strom, es ist die falsche "
          "Schnittstelle, oder der Multiplexer davor ist anders eingestellt.",
          "Start: Protokolldatei " + dir.File("log.dat") + ".",
          "Start: Empfangsdaten auf der Standardausgabe, als JSON Lines.",
          "Start: Kein Archiv ([Archiv] Aktiv=0)."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Simulator sim(device, c.simArgs);
        ASSERT_TRUE(sim.Ready()) << sim.Stderr();
        WriteProfile(dir.File("p.INI"), "Filename=" + dir.File("log.dat"),
                     c.portOption ? "" : device);
        std::ofstream(dir.File("p.INI"), std::ios::app)
            << (c.profileLines.empty()
                    ? "[Archiv]\nDatei=" + dir.File("a.sqlite") + "\nSchreibintervall=60\n"
                    : c.profileLines);
        std::vector<std::string> args = {"--profile", dir.File("p.INI")};
        if (c.portOption) {
            args.insert(args.end(), {"--port", device});
        }
        args.insert(args.end(), c.loggerArgs.begin(), c.loggerArgs.end());
        Logger logger(args);
        ASSERT_TRUE(logger.WaitForStderr("Start: Empfangsdaten", In(10s))) << logger.Stderr();
        EXPECT_EQ(logger.Terminate(In(10s)), 0);
        std::vector<std::string> expected = {"Start: Profil " + dir.File("p.INI") + "."};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        expected.push_back(live + logger.LivePath() + ".");
        EXPECT_EQ(StartLines(logger.Stderr()), expected);
        EXPECT_EQ(AfterStart(logger.Stderr()), "");
        EXPECT_EQ(sim.Terminate(In(5s)), 0);
    }
}

// Run on the defaults instead, it would open COM1 (often the console) and write to it.
TEST(LoggerProgram, AProfileThatIsThereButCannotBeReadEndsItWithStatus2) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("config/tavrolin.INI"));
    WriteProfile(dir.File("big.INI"), "COM=1", "");
    std::filesystem::resize_file(dir.File("big.INI"), (std::size_t{64} << 20) + 1);
    struct Case {
        std::vector<std::string> args;
        std::string reason;
        std::string path;
    };
    const Case cases[] = {
        {{}, "Das ist ein Ordner.", dir.File("config/tavrolin.INI")},
        {{"--profile", dir.File("big.INI")}, "Es ist größer als 64 MiB.", dir.File("big.INI")},
        {{"--profile", "/dev/null"}, "Das ist keine gewöhnliche Datei.", "/dev/null"},
    };
    for (const Case& c : cases) {
        Logger logger(c.args, ChildSetup{{"XDG_CONFIG_HOME=" + dir.File("config")}, {}});
        EXPECT_EQ(logger.Exit(In(5s)), 2) << c.path;
        EXPECT_EQ(logger.Stderr(), "tavrolin-log: Das Profil " + c.path +
                                       " läßt sich nicht lesen: " + c.reason + "\n");
        EXPECT_EQ(logger.Stdout(), "");
    }
}

TEST(LoggerProgram, ASecondLoggerOnTheSamePortIsTurnedAway) {
    TempDir dir;
    Simulator sim(dir.File("ttySIM"), {"--speed", "60", "--verbose"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    Logger first(ProfileArgs(dir));
    ASSERT_TRUE(sim.WaitForStderr(kStartLogged, In(5s))) << sim.Stderr();

    WriteProfile(dir.File("second.INI"), "Filename=" + dir.File("second.dat"), dir.File("ttySIM"));
    Logger second({"--profile", dir.File("second.INI")});
    EXPECT_EQ(second.Exit(In(5s)), 1);
    // Named with the program that holds the line.
    EXPECT_TRUE(AfterStart(second.Stderr())
                    .starts_with("Fehler beim Öffnen der Schnittstelle: Die Schnittstelle ist "
                                 "bereits geöffnet\n"
                                 "tavrolin-log: Gerät " +
                                 dir.File("ttySIM") +
                                 ": Ein anderes Programm hat es geöffnet (tavrolin-log, PID " +
                                 std::to_string(first.Pid()) + ")."))
        << second.Stderr();
    // The first goes on undisturbed.
    EXPECT_TRUE(first.WaitForStdoutLines(14, In(10s)));
    EXPECT_EQ(first.Terminate(In(5s)), 0);
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

TEST(LoggerProgram, WithoutItsProtocolFileItSaysSoAndLogsToStdout) {
    TempDir dir;
    // A pipe nobody reads: opening it made the logger hang, deaf to SIGTERM.
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    Simulator sim(dir.File("ttySIM"), {"--speed", "60"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    WriteProfile(dir.File("p.INI"), "Filename=" + dir.File("fifo"), dir.File("ttySIM"));
    Logger logger({"--profile", dir.File("p.INI")});
    EXPECT_TRUE(logger.WaitForStdoutLines(14, In(10s)));
    EXPECT_EQ(logger.Terminate(In(5s)), 0);
    EXPECT_EQ(AfterStart(logger.Stderr()),
              "Tavrolin: Die Protokolldatei " + dir.File("fifo") +
                  " läßt sich nicht öffnen: Das ist keine gewöhnliche Datei. Die "
                  "Empfangsdaten werden nur auf der Standardausgabe ausgegeben.\n");
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

TEST(LoggerProgram, OnAFullDiskTheFileKeepsWholeLinesAndTheRecordsGoOnToStdout) {
    testing::SmallDisk disk(64 * 1024);
    if (!disk.Mounted()) {
        GTEST_SKIP() << disk.Why();
    }
    // Room for some 40 lines.
    testing::WriteBytes(disk.File("filler"), std::string(60 * 1024 - 1, 'x'));
    TempDir dir;
    Simulator sim(dir.File("ttySIM"), {"--rate", "200"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    WriteProfile(dir.File("p.INI"), "Filename=" + disk.File("log.dat"), dir.File("ttySIM"));
    Logger logger({"--profile", dir.File("p.INI")});
    const std::string told = "Tavrolin: Beim Zugriff auf " + disk.File("log.dat") +
                             " wurde ein voller Datenträger gemeldet. Die Empfangsdaten werden "
                             "jetzt nur auf der Standardausgabe ausgegeben; einmal in der Minute "
                             "wird versucht, die Protokolldatei wieder zu öffnen.\n";
    ASSERT_TRUE(logger.WaitForStderr(told, In(20s))) << logger.Stderr();
    const std::size_t printed = logger.StdoutLines().size();
    EXPECT_TRUE(logger.WaitForStdoutLines(printed + 100, In(10s)));
    EXPECT_EQ(logger.Terminate(In(5s)), 0);
    EXPECT_EQ(AfterStart(logger.Stderr()), told) << "said once";

    const std::string file = testing::ReadBytes(disk.File("log.dat"));
    EXPECT_TRUE(file.ends_with("\r\n")) << "a torn last line";
    const std::vector<std::string> lines = FileLines(file);
    EXPECT_GT(lines.size(), 10u);
    const std::vector<std::string> out = logger.StdoutLines();
    ASSERT_GE(out.size(), lines.size());
    // The file has every record up to the full disk, the same as printed (in UTF-8).
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(Masked(Win1252ToUtf8(lines[i])), Masked(out[i])) << i;
    }
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

TEST(LoggerProgram, AReaderOfStdoutThatGoesAwayDoesNotStopTheLogging) {
    TempDir dir;
    Simulator sim(dir.File("ttySIM"), {"--replay", TAVROLIN_E2E_DATA "/replay.bin"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    // The device named on the command line counts, whatever COM and [Ports] say.
    WriteProfile(dir.File("p.INI"), "COM=3\nFilename=" + dir.File("log.dat"), "");
    Logger logger({"--profile", dir.File("p.INI"), "--port", dir.File("ttySIM")});
    logger.CloseStdout();
    EXPECT_TRUE(WaitForFileLines(dir.File("log.dat"), 21, In(10s)))
        << testing::ReadBytes(dir.File("log.dat")) << logger.Stderr();
    EXPECT_EQ(logger.Terminate(In(5s)), 0) << "SIGPIPE must not end it";
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

TEST(LoggerProgram, TheDesktopProgramsProfileAndARelativeFileName) {
    TempDir dir;
    Simulator sim(dir.File("ttySIM"), {"--speed", "60"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    std::filesystem::create_directory(dir.File("config"));
    std::filesystem::create_directory(dir.File("work"));
    WriteProfile(dir.File("config/tavrolin.INI"), "Filename=wetter.dat", dir.File("ttySIM"));
    const std::string before = testing::ReadBytes(dir.File("config/tavrolin.INI"));
    Logger logger({}, ChildSetup{{"XDG_CONFIG_HOME=" + dir.File("config")}, dir.File("work")});
    EXPECT_TRUE(logger.WaitForStdoutLines(14, In(10s))) << logger.Stderr();
    EXPECT_EQ(logger.Terminate(In(5s)), 0);
    EXPECT_EQ(FileLines(testing::ReadBytes(dir.File("work/wetter.dat"))).size(),
              logger.StdoutLines().size());
    EXPECT_EQ(testing::ReadBytes(dir.File("config/tavrolin.INI")), before)
        << "the logger writes no settings";
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
}

TEST(LoggerProgram, WithExitOnLossAReceiverThatGoesAwayEndsItWithStatus1) {
    TempDir dir;
    Simulator sim(dir.File("ttySIM"), {"--speed", "60"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    std::vector<std::string> args = ProfileArgs(dir);
    args.push_back("--exit-on-loss");
    Logger logger(args);
    ASSERT_TRUE(logger.WaitForStdoutLines(14, In(10s))) << logger.Stderr();
    // The pseudo-terminal goes with the simulator, as a USB adapter goes when pulled.
    EXPECT_EQ(sim.Terminate(In(5s)), 0);
    EXPECT_EQ(logger.Exit(In(10s)), 1);
    EXPECT_EQ(AfterStart(logger.Stderr()),
              "Fehler beim Lesen der Schnittstelle: Der Empfänger ist nicht mehr erreichbar: die "
              "Schnittstelle meldet seit einer Sekunde nur Fehler.\n");
    EXPECT_TRUE(testing::ReadBytes(dir.File("log.dat")).ends_with("\r\n"));
}

TEST(LoggerProgram, HelpAndAWrongCommandLine) {
    Logger help({"--help"});
    EXPECT_EQ(help.Exit(In(5s)), 0);
    EXPECT_TRUE(help.Stdout().starts_with("Aufruf: tavrolin-log [OPTIONEN]\n"));

    Logger wrong({"--speed", "60"});
    EXPECT_EQ(wrong.Exit(In(5s)), 2);
    EXPECT_EQ(wrong.Stderr(), "tavrolin-log: unbekannte Option --speed (siehe --help)\n");

    Logger noProfile({"--profile", "/nonexistent/tavrolin.INI"});
    EXPECT_EQ(noProfile.Exit(In(5s)), 2);
    EXPECT_EQ(noProfile.Stderr(),
              "tavrolin-log: Das Profil /nonexistent/tavrolin.INI gibt es nicht.\n");
}

}  // namespace
}  // namespace tavrolin::e2e
