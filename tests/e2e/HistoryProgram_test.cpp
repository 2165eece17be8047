// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-history as a process: import, the sensor list, export in both forms, the check,
// and what it says about bad input; two imports into one archive at once; reading an archive
// the user may only read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "archive/Sqlite.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;

const std::string kT = R"({"time":"2026-12-07T14:0)";
const std::vector<std::string> kOutdoor = {
    kT +
        R"(3:08.956+01:00","sensor":"outdoor-1","kind":1,"address":1,"v12":false,"interval":1.500,"temperature":12.3,"humidity":67})",
    kT +
        R"(6:08.956+01:00","sensor":"outdoor-1","kind":1,"address":1,"v12":false,"interval":180.000,"temperature":-0.5,"humidity":70})",
    kT +
        R"(9:08.956+01:00","sensor":"outdoor-1","kind":1,"address":1,"v12":true,"interval":180.000,"temperature":0.0,"humidity":71})",
};
const std::string kRemote = kT + R"(4:00.000+01:00","sensor":"remote-control","text":"A\",B"})";
const std::string kWindow =
    kT + R"(5:00.000+01:00","sensor":"window-event","interval":3.000,"event":"low"})";

// Runs tavrolin-history to its end; its exit status. Imports take seconds under the
// sanitizers on a busy machine.
std::optional<int> Finished(ChildProcess& history) {
    return history.Exit(In(60s));
}

TEST(HistoryProgram, ImportedReadingsAreListedExportedAndChecked) {
    TempDir dir;
    const std::string archive = dir.File("archiv.sqlite");
    // The archive from the profile, with a friendly name.
    testing::WriteBytes(dir.File("p.INI"), "[Archiv]\r\nDatei=" + archive +
                                               "\r\n[Sensornamen]\r\noutdoor-1=Garten\r\n");
    // Line 3 is broken, line 5 holds a humidity no telegram can carry.
    std::string wet = kOutdoor[1];
    wet.replace(wet.find("\"humidity\":70"), 13, "\"humidity\":250");
    testing::WriteBytes(dir.File("in.jsonl"), kOutdoor[0] + "\n" + kRemote + "\r\n" +
                                                  "{\"time\":1}\n\n" + wet + "\n" + kOutdoor[1] +
                                                  "\n" + kWindow + "\n" + kOutdoor[2]);
    const std::vector<std::string> profile = {"--profile", dir.File("p.INI")};
    const auto with = [&profile](std::vector<std::string> args) {
        args.insert(args.begin(), profile.begin(), profile.end());
        return args;
    };

    History import(with({"import", dir.File("in.jsonl")}));
    EXPECT_EQ(Finished(import), 1) << "a line was skipped";
    EXPECT_EQ(import.Stderr(),
              "tavrolin-history: Zeile 3: \"time\" fehlt; übersprungen.\n"
              "tavrolin-history: Zeile 5: \"humidity\" liegt außerhalb dessen, was ein Telegramm "
              "tragen kann (0 bis 127); übersprungen.\n");
    EXPECT_EQ(import.Stdout(),
              "Übernommen: 5 Messungen, schon im Archiv: 0, übersprungene Zeilen: 2.\n");
    History again(with({"import", dir.File("in.jsonl")}));
    EXPECT_EQ(Finished(again), 1);
    EXPECT_EQ(again.Stdout(),
              "Übernommen: 0 Messungen, schon im Archiv: 5, übersprungene Zeilen: 2.\n");

    History sensors(with({"sensors"}));
    EXPECT_EQ(Finished(sensors), 0) << sensors.Stderr();
    const std::vector<std::string> table = sensors.StdoutLines();
    ASSERT_EQ(table.size(), 4u) << sensors.Stdout();
    EXPECT_TRUE(table[0].starts_with("Sensor")) << table[0];
    // Dates as the windows write them; every sensor by the name the views show.
    EXPECT_EQ(table[1],
              "outdoor-1       Garten         07.12.2026 14:03:08  07.12.2026 14:09:08  3       -  "
              "      0,0 °C, 71 %, Taupunkt -4,6 °C");
    EXPECT_TRUE(table[2].starts_with("remote-control  Fernbedienung  ")) << table[2];
    EXPECT_TRUE(table[3].starts_with("window-event    Fenster  ")) << table[3];
    EXPECT_TRUE(table[3].ends_with("  Low")) << table[3];

    History csv({"--archive", archive, "export", "--sensor", "outdoor-1"});
    EXPECT_EQ(Finished(csv), 0) << csv.Stderr();
    // With the dew point the receiving programs give.
    EXPECT_EQ(csv.Stdout(),
              "time,sensor,v12,interval,temperature,humidity,dew_point\r\n"
              "2026-12-07T14:03:08.956+01:00,outdoor-1,false,1.500,12.3,67,6.3\r\n"
              "2026-12-07T14:06:08.956+01:00,outdoor-1,false,180.000,-0.5,70,-5.3\r\n"
              "2026-12-07T14:09:08.956+01:00,outdoor-1,true,180.000,0.0,71,-4.6\r\n");
    // The sensor by its friendly name.
    History garden(with({"export", "--sensor", "Garten"}));
    EXPECT_EQ(Finished(garden), 0) << garden.Stderr();
    EXPECT_EQ(garden.Stdout(), csv.Stdout());
    // And by the name the views show of one without a friendly name.
    History fenster(with({"export", "--sensor", "Fenster"}));
    EXPECT_EQ(Finished(fenster), 0) << fenster.Stderr();
    EXPECT_EQ(fenster.StdoutLines().size(), 2u) << fenster.Stdout();

    History quoted({"--archive", archive, "export", "--sensor=remote-control"});
    EXPECT_EQ(Finished(quoted), 0);
    EXPECT_EQ(quoted.Stdout(),
              "time,sensor,text\r\n2026-12-07T14:04:00.000+01:00,remote-control,\"A\"\",B\"\r\n");

    History json({"--archive", archive, "export", "--sensor", "outdoor-1", "--format", "json"});
    EXPECT_EQ(Finished(json), 0);
    std::vector<std::string> exported = kOutdoor;
    for (const auto& [line, dewPoint] :
         {std::pair{&exported[0], "6.3"}, {&exported[1], "-5.3"}, {&exported[2], "-4.6"}}) {
        line->insert(line->size() - 1, std::string(",\"dew_point\":") + dewPoint);
    }
    EXPECT_EQ(json.StdoutLines(), exported);

    // Local times in the zone of the environment; a date alone as --to takes the whole day.
    const ChildSetup berlin{{"TZ=CET-1CEST,M3.5.0,M10.5.0/3"}, ""};
    History range({"--archive", archive, "export", "--sensor", "outdoor-1", "--from",
                   "2026-12-07 14:04", "--to", "2026-12-07T14:09:08.956", "--format", "json"},
                  berlin);
    EXPECT_EQ(Finished(range), 0);
    EXPECT_EQ(range.StdoutLines(), std::vector<std::string>{exported[1]});
    History day({"--archive", archive, "export", "--sensor", "outdoor-1", "--from", "2026-12-07",
                 "--to", "2026-12-07", "--format", "json"},
                berlin);
    EXPECT_EQ(Finished(day), 0);
    EXPECT_EQ(day.StdoutLines().size(), 3u);
    History none({"--archive", archive, "export", "--sensor", "wind-0"});
    EXPECT_EQ(Finished(none), 0);
    EXPECT_EQ(none.Stdout(),
              "time,sensor,v12,interval,wind_speed,wind_direction,wind_b,wind_compass\r\n");
    EXPECT_EQ(none.Stderr(),
              "tavrolin-history: Vom Sensor wind-0 enthält das Archiv in dieser Zeit keine "
              "Messungen.\n");

    History check({"--archive", archive, "check"});
    EXPECT_EQ(Finished(check), 0);
    EXPECT_EQ(check.Stdout(),
              "Das Archiv " + archive + " ist in Ordnung: 5 Messungen von 3 Sensoren.\n");
}

// A month's report and the records as a script reads them, and what a wrong month and a
// wrong main sensor make the program say.
TEST(HistoryProgram, AReportAndTheRecordsGiveTheDaysFiguresWithTheirTimes) {
    TempDir dir;
    const std::string archive = dir.File("archiv.sqlite");
    testing::WriteBytes(dir.File("in.jsonl"),
                        kOutdoor[0] + "\n" + kOutdoor[1] + "\n" + kOutdoor[2]);
    testing::WriteBytes(dir.File("p.INI"),
                        "[Archiv]\r\nDatei=" + archive + "\r\n[Station]\r\nWind=outdoor-1\r\n");
    History import({"--archive", archive, "import", dir.File("in.jsonl")});
    ASSERT_EQ(Finished(import), 0) << import.Stderr();
    const ChildSetup berlin{{"TZ=CET-1CEST,M3.5.0,M10.5.0/3"}, ""};

    // Without --sensor the station's main sensors: here the outdoor one alone, and the wind
    // entry that names it is said.
    History report(
        {"--profile", dir.File("p.INI"), "report", "--month", "2026-12", "--format", "json"},
        berlin);
    EXPECT_EQ(Finished(report), 0) << report.Stderr();
    EXPECT_EQ(report.Stderr(),
              "tavrolin-history: Der Eintrag Wind=outdoor-1 im Abschnitt [Station] nennt "
              "outdoor-1, aber Wind braucht einen Windsensor (wind-0 bis wind-7); es gilt der "
              "passende Sensor mit der kleinsten Nummer im Archiv.\n");
    const std::vector<std::string> lines = report.StdoutLines();
    ASSERT_EQ(lines.size(), 1u) << report.Stdout();
    const std::string& json = lines[0];
    EXPECT_TRUE(
        json.starts_with(R"({"sensor":"outdoor-1","name":"Außen 1","from":"2026-12-01",)"
                         R"("to":"2026-12-31","days":[{"date":"2026-12-01","complete":false,)"
                         R"("readings":0,"temperature":null,)"))
        << json;
    // One hour of readings: no mean; the extremes with the times of their readings.
    EXPECT_NE(json.find(R"({"date":"2026-12-07","complete":false,"readings":3,"temperature":)"
                        R"({"mean":null,"min":-0.5,"minAt":"2026-12-07T14:06:08.956+01:00",)"
                        R"("max":12.3,"maxAt":"2026-12-07T14:03:08.956+01:00"},"humidity":)"
                        R"({"mean":null,"min":67,"minAt":"2026-12-07T14:03:08.956+01:00",)"
                        R"("max":71,"maxAt":"2026-12-07T14:09:08.956+01:00"},"dew_point":)"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("summary":{"month":"2026-12","complete":false,"readings":3,)"
                        R"("days_with_readings":1,"complete_days":0,)"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("counts":{"frost_days":1,"ice_days":0,"summer_days":0,)"),
              std::string::npos);

    History text({"--archive", archive, "report", "--year", "2026", "--sensor", "outdoor-1"},
                 berlin);
    EXPECT_EQ(Finished(text), 0) << text.Stderr();
    EXPECT_NE(text.Stdout().find("\nDezember*      –    -0,5  07.12. 14:06    12,3  07.12. 14:03"),
              std::string::npos)
        << text.Stdout();

    History records({"--archive", archive, "records", "--sensor", "outdoor-1", "--format", "json"},
                    berlin);
    EXPECT_EQ(Finished(records), 0) << records.Stderr();
    const std::string all = records.Stdout();
    EXPECT_TRUE(all.starts_with(R"({"sensor":"outdoor-1","name":"Außen 1","records":[)"
                                R"({"record":"highest","quantity":"temperature","scope":"all",)"
                                R"("value":12.3,"at":"2026-12-07T14:03:08.956+01:00"},)"))
        << all;
    EXPECT_NE(all.find(R"({"record":"lowestDailyMax","quantity":"temperature",)"
                       R"("scope":"month-12","value":12.3,"at":"2026-12-07"})"),
              std::string::npos)
        << all;

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"report", "--month", "2026-13"},
          {"report", "--year", "2026", "--month", "2026-12"},
          {"report"},
          {"records", "--month", "2026-12"},
          {"export", "--sensor", "outdoor-1", "--format", "text"}}) {
        std::vector<std::string> args{"--archive", archive};
        args.insert(args.end(), wrong.begin(), wrong.end());
        History bad(args);
        EXPECT_EQ(Finished(bad), 2) << wrong[0];
        EXPECT_TRUE(bad.Stderr().starts_with("tavrolin-history: ")) << bad.Stderr();
        EXPECT_TRUE(bad.Stdout().empty());
    }
}

TEST(HistoryProgram, ADamagedArchiveAndWrongCommandLinesAreSaid) {
    TempDir dir;
    const std::string archive = dir.File("a.sqlite");
    // 3000 readings, one a second.
    {
        std::ofstream lines(dir.File("in.jsonl"));
        for (int i = 0; i < 3000; ++i) {
            lines << R"({"time":"2026-12-07T1)" << 4 + i / 3600 << ":" << (i / 60 % 60) / 10
                  << (i / 60 % 60) % 10 << ":" << (i % 60) / 10 << (i % 60) % 10
                  << R"(.000+01:00","sensor":"outdoor-)" << i % 8
                  << R"(","interval":1,"temperature":)" << i % 400 << R"(,"humidity":50})"
                  << "\n";
        }
    }
    History import({"--archive", archive, "import", dir.File("in.jsonl")});
    ASSERT_EQ(Finished(import), 0) << import.Stderr();
    // Garbage in the last part of the file, where the readings are (the first part holds
    // the pages the new readings had before they were folded, free now).
    ASSERT_GT(std::filesystem::file_size(archive), 150u * 1024);
    {
        std::fstream file(archive, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(100 * 1024);
        const std::string garbage(40 * 1024, '\x5A');
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    History check({"--archive", archive, "check"});
    EXPECT_EQ(Finished(check), 1);
    EXPECT_NE(check.Stderr().find("läßt sich nicht prüfen: Die Datei ist beschädigt (SQLite: "),
              std::string::npos)
        << check.Stdout() << check.Stderr();

    testing::WriteBytes(dir.File("text.sqlite"), "Protokoll\r\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string stderrText;
    };
    const std::vector<Case> cases = {
        {{"--archive", dir.File("text.sqlite"), "sensors"},
         1,
         "Die Datei ist kein Tavrolin-Archiv."},
        {{"--archive", dir.File("none.sqlite"), "sensors"}, 1, "Die Datei existiert nicht."},
        {{"sensors", "--profile", dir.File("none.INI")}, 2, "Das Profil"},
        {{}, 2, "ein Befehl fehlt"},
        {{"list"}, 2, "unbekannter Befehl list"},
        {{"export"}, 2, "export braucht --sensor ID"},
        {{"check", "--sensor", "outdoor-1"}, 2, "gehören zu export"},
        {{"--archive", archive, "export", "--sensor", "outdoor-8"},
         2,
         "Einen Sensor outdoor-8 gibt es nicht"},
        {{"--archive", archive, "export", "--sensor", "outdoor-1", "--from", "7.12.2026"},
         2,
         "Die Zeit 7.12.2026 ist keine Zeit"},
        {{"--archive", archive, "export", "--sensor", "outdoor-1", "--format", "xml"},
         2,
         "--format ist text, csv oder json"},
        {{"--archive", archive, "export", "--sensor", "Garten"},
         2,
         "Einen Sensor Garten gibt es nicht"},
        {{"--archive", archive, "export", "--sensor", "outdoor-1", "--from", "2026-12-08", "--to",
          "2026-12-01"},
         2,
         "Der Zeitraum von --from 2026-12-08 bis --to 2026-12-01 ist leer: der Anfang muß vor "
         "dem Ende liegen."},
        {{"--archive", archive, "import", dir.File("none.jsonl")}, 1, "läßt sich nicht lesen"},
    };
    for (const Case& c : cases) {
        History history(c.args);
        EXPECT_EQ(Finished(history), c.status) << c.stderrText;
        EXPECT_NE(history.Stderr().find(c.stderrText), std::string::npos) << history.Stderr();
    }
    History help({"--help"});
    EXPECT_EQ(Finished(help), 0);
    EXPECT_TRUE(help.Stdout().starts_with("Aufruf: tavrolin-history [--archive DATEI]"));
}

TEST(HistoryProgram, TwoImportsIntoOneArchiveAtOnceBothSucceed) {
    TempDir dir;
    const std::string archive = dir.File("a.sqlite");
    for (const char* sensor : {"outdoor-1", "outdoor-2"}) {
        std::ofstream lines(dir.File(std::string(sensor) + ".jsonl"));
        for (int i = 0; i < 12000; ++i) {
            const int s = i % 86400;
            lines << R"({"time":"2026-12-)" << 10 + i / 86400 << "T" << s / 36000 << s / 3600 % 10
                  << ":" << s / 600 % 6 << s / 60 % 10 << ":" << s % 60 / 10 << s % 10
                  << R"(.000Z","sensor":")" << sensor << R"(","interval":1.000,"temperature":)"
                  << i % 300 << R"(,"humidity":40})"
                  << "\n";
        }
    }
    History first({"--archive", archive, "import", dir.File("outdoor-1.jsonl")});
    History second({"--archive", archive, "import", dir.File("outdoor-2.jsonl")});
    EXPECT_EQ(Finished(first), 0) << first.Stderr();
    EXPECT_EQ(Finished(second), 0) << second.Stderr();
    EXPECT_EQ(first.Stdout(),
              "Übernommen: 12000 Messungen, schon im Archiv: 0, übersprungene Zeilen: 0.\n");
    EXPECT_EQ(second.Stdout(), first.Stdout());
    History check({"--archive", archive, "check"});
    EXPECT_EQ(Finished(check), 0);
    EXPECT_EQ(check.Stdout(),
              "Das Archiv " + archive + " ist in Ordnung: 24000 Messungen von 2 Sensoren.\n");
}

// tavrolin-history as the user nobody, who may read the archive and nothing more, with a
// home of its own (no profile there) and the root as its working folder.
class HistoryAsNobody : public ChildProcess {
public:
    HistoryAsNobody(const TempDir& home, std::vector<std::string> args)
        : ChildProcess("/usr/bin/setpriv", With(std::move(args)),
                       ChildSetup{{"HOME=" + home.Path().string(),
                                   "XDG_CONFIG_HOME=" + home.Path().string()},
                                  "/"}) {}

private:
    static std::vector<std::string> With(std::vector<std::string> args) {
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                   TAVROLIN_HISTORY_PROGRAM});
        return args;
    }
};

std::set<std::string> FolderListing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// A copy on read-only media (file 0444 in a folder 0555, nothing beside it) and the archive a
// logger is writing right now (another user's, with read permission only on the file, its
// -wal and -shm and the folder): sensors, export and check read both and leave nothing
// beside them. An archive of an older format is not brought up to date but said.
TEST(HistoryProgram, AnArchiveTheUserMayOnlyReadIsReadAndLeftAsItWas) {
    using std::filesystem::perms;
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to read as another user than the writer (setpriv to nobody)";
    }
    TempDir dir;
    std::filesystem::permissions(dir.Path(), perms(0755));
    {
        HistoryAsNobody probe(dir, {"--version"});
        if (probe.Exit(In(10s)) != 0) {
            GTEST_SKIP() << "nobody cannot run " << TAVROLIN_HISTORY_PROGRAM
                         << " from where it was built: " << probe.Stderr();
        }
    }
    testing::WriteBytes(dir.File("in.jsonl"),
                        kOutdoor[0] + "\n" + kOutdoor[1] + "\n" + kOutdoor[2]);
    const auto archiveIn = [&dir](const std::string& folder) {
        std::filesystem::create_directory(dir.File(folder));
        const std::string archive = dir.File(folder + "/a.sqlite");
        History import({"--archive", archive, "import", dir.File("in.jsonl")});
        EXPECT_EQ(Finished(import), 0) << import.Stderr();
        std::filesystem::permissions(archive, perms(0644));
        return archive;
    };
    const std::vector<std::vector<std::string>> commands = {
        {"sensors"}, {"export", "--sensor", "outdoor-1"}, {"check"}};

    // What the owner reads, before the copy goes on read-only media.
    const std::string copy = archiveIn("media");
    std::vector<std::string> owners;
    for (const std::vector<std::string>& command : commands) {
        std::vector<std::string> args = {"--archive", copy};
        args.insert(args.end(), command.begin(), command.end());
        History owner(args);
        EXPECT_EQ(Finished(owner), 0) << owner.Stderr();
        owners.push_back(owner.Stdout());
    }
    EXPECT_NE(owners[2].find("ist in Ordnung: 3 Messungen von 1 Sensor."), std::string::npos);
    const std::string bytes = testing::ReadBytes(copy);
    std::filesystem::permissions(copy, perms(0444));
    std::filesystem::permissions(dir.File("media"), perms(0555));
    for (std::size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(commands[i][0]);
        std::vector<std::string> args = {"--archive", copy};
        args.insert(args.end(), commands[i].begin(), commands[i].end());
        HistoryAsNobody reader(dir, args);
        EXPECT_EQ(Finished(reader), 0) << reader.Stderr();
        EXPECT_EQ(reader.Stdout(), owners[i]);
        EXPECT_EQ(reader.Stderr(), "");
        EXPECT_EQ(FolderListing(dir.File("media")), std::set<std::string>{"a.sqlite"});
    }
    EXPECT_EQ(testing::ReadBytes(copy), bytes);

    // The logger's archive while it writes: the readings it brought are read too.
    const std::string live = archiveIn("live");
    Simulator sim(dir.File("ttySIM"), {"--rate", "200"});
    ASSERT_TRUE(sim.Ready()) << sim.Stderr();
    WriteProfile(dir.File("p.INI"),
                 "Filename=" + dir.File("live/log.dat") + "\n[Archiv]\nSchreibintervall=1",
                 dir.File("ttySIM"));
    Logger logger({"--profile", dir.File("p.INI"), "--archive", live});
    // Some commits of the logger's, a second apart.
    ASSERT_TRUE(WaitForFileLines(dir.File("live/log.dat"), 600, In(30s))) << logger.Stderr();
    const std::set<std::string> beside = {"a.sqlite", "a.sqlite-shm", "a.sqlite-wal", "log.dat"};
    ASSERT_EQ(FolderListing(dir.File("live")), beside);
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command[0]);
        std::vector<std::string> args = {"--archive", live};
        args.insert(args.end(), command.begin(), command.end());
        HistoryAsNobody reader(dir, args);
        EXPECT_EQ(Finished(reader), 0) << reader.Stderr();
        EXPECT_EQ(reader.Stderr(), "");
        const std::vector<std::string> lines = reader.StdoutLines();
        if (command[0] == "sensors") {
            EXPECT_GT(lines.size(), 3u) << "the simulator's sensors beside the imported one";
        } else if (command[0] == "export") {
            EXPECT_GT(lines.size(), 4u) << "the header, 3 imported readings and the logger's";
        } else {
            ASSERT_EQ(lines.size(), 1u) << reader.Stdout();
            EXPECT_TRUE(lines[0].starts_with("Das Archiv " + live + " ist in Ordnung: "))
                << lines[0];
            EXPECT_FALSE(lines[0].ends_with(": 3 Messungen von 1 Sensor.")) << lines[0];
        }
        EXPECT_EQ(FolderListing(dir.File("live")), beside);
    }
    EXPECT_EQ(logger.Terminate(In(10s)), 0);
    EXPECT_EQ(AfterStart(logger.Stderr()), "");

    // An older format, on read-only media: said with what brings it up to date.
    const std::string older = archiveIn("older");
    {
        sql::Database db;
        ASSERT_EQ(db.Open(older, false), sql::kOk);
        ASSERT_EQ(db.Exec("PRAGMA user_version=4"), sql::kOk);
    }
    const std::string olderBytes = testing::ReadBytes(older);
    std::filesystem::permissions(older, perms(0444));
    std::filesystem::permissions(dir.File("older"), perms(0555));
    HistoryAsNobody reader(dir, {"--archive", older, "sensors"});
    EXPECT_EQ(Finished(reader), 1);
    EXPECT_EQ(reader.Stderr(),
              "tavrolin-history: Das Archiv " + older +
                  " läßt sich nicht öffnen: Es hat noch das ältere Format 4, das erst ein "
                  "Programm erneuert, das es schreibt: tavrolin oder tavrolin-log, sobald sie es "
                  "öffnen. Gleich erneuert es: tavrolin-history --archive " +
                  older +
                  " import /dev/null (ein Archiv auf einem schreibgeschützten Datenträger zuvor "
                  "an einen beschreibbaren Ort kopieren).\n");
    EXPECT_EQ(testing::ReadBytes(older), olderBytes);
    EXPECT_EQ(FolderListing(dir.File("older")), std::set<std::string>{"a.sqlite"});
    // The test's folder goes again: its own folders writable once more.
    for (const char* folder : {"media", "older"}) {
        std::filesystem::permissions(dir.File(folder), perms(0755));
    }
}

}  // namespace
}  // namespace tavrolin::e2e

namespace tavrolin::e2e {
namespace {

// At a terminal it names the archive and the profile first; into a pipe (a script, a timer,
// every other test here) it does not.
TEST(HistoryProgram, NamesItsArchiveAndProfileOnlyToATerminal) {
    TempDir dir;
    const ChildSetup setup{{"XDG_CONFIG_HOME=" + dir.File("config")}, {}};
    const std::string archive = dir.File("archiv.sqlite");
    const std::string said = "tavrolin-history: Archiv " + archive + " (--archive); Profil " +
                             dir.File("config/tavrolin.INI") +
                             " gibt es nicht, es gelten die Vorgaben.";
    // script(1) gives the program a pseudo-terminal for its stdin, stdout and stderr.
    ChildProcess terminal(
        "/usr/bin/script",
        {"-qec",
         std::string(TAVROLIN_HISTORY_PROGRAM) + " --archive " + archive + " import /dev/null",
         "/dev/null"},
        setup);
    EXPECT_EQ(terminal.Exit(In(60s)), 0) << terminal.Stdout();
    EXPECT_NE(terminal.Stdout().find(said), std::string::npos) << terminal.Stdout();

    History piped({"--archive", archive, "import", "/dev/null"}, setup);
    EXPECT_EQ(Finished(piped), 0) << piped.Stderr();
    EXPECT_EQ(piped.Stderr().find("Archiv "), std::string::npos) << piped.Stderr();
}

}  // namespace
}  // namespace tavrolin::e2e
