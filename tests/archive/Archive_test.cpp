// SPDX-License-Identifier: GPL-3.0-or-later
// The archive on real SQLite files: what goes in comes back as it was received, the
// summaries agree with the readings, older formats are brought up to date, and files that
// are no archive are left alone.
#include "archive/Archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ArchiveFixtures.h"
#include "TempDir.h"
#include "archive/ArchiveMigration.h"
#include "archive/ArchiveQuery.h"
#include "archive/ArchiveSchema.h"
#include "decode/TelegramDecoder.h"

namespace tavrolin {
namespace {

using testing::CheckFindings;
using testing::JsonLine;
using testing::JsonLines;
using testing::kT0;
using testing::Outdoor;
using testing::TempDir;

int64_t IntOf(Archive& archive, const char* query) {
    sql::Statement st = archive.Db().Prepare(query);
    return st.Valid() && st.Step() == sql::kRow ? st.Int(0) : -1;
}

TEST(Archive, EveryKindComesBackAsItWasReceivedInAnyTimeZone) {
    TempDir dir;
    // Nepal's +05:45, Newfoundland's -03:30 and CET: the local time of each reading is kept.
    for (const int offset : {3600, 5 * 3600 + 2700, -(3 * 3600 + 1800)}) {
        SCOPED_TRACE(offset);
        const std::string path = dir.File("a" + std::to_string(offset) + ".sqlite");
        const std::vector<Reading> readings = testing::EveryKind(offset);
        {
            Archive archive;
            ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 100).Ok());
            Archive::Counts counts;
            ASSERT_TRUE(archive.Write(readings, &counts).Ok());
            EXPECT_EQ(counts.added, 12);
            // The same readings again (a second program, an import repeated) add nothing.
            ASSERT_TRUE(archive.Write(readings, &counts).Ok());
            EXPECT_EQ(counts.added, 0);
            EXPECT_EQ(counts.duplicates, 12);
        }
        Archive archive;
        ASSERT_TRUE(archive.Open(path, Archive::Access::Read, 100).Ok());
        for (const Reading& r : readings) {
            const std::vector<std::string> lines = JsonLines(archive, r.Key());
            EXPECT_NE(std::find(lines.begin(), lines.end(), JsonLine(r)), lines.end())
                << JsonLine(r);
        }
        EXPECT_EQ(JsonLines(archive, {SensorKind::Special, 0, true}).size(), 2u);
        EXPECT_EQ(JsonLines(archive, {SensorKind::Special, 0, false}).size(), 2u);
        EXPECT_EQ(CheckFindings(archive), "");
    }
}

TEST(Archive, FoldedAndNewReadingsReadAsOneAndTheSummariesCountThemOnce) {
    TempDir dir;
    Archive archive;
    ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 100).Ok());
    const SensorKey garden{SensorKind::Outdoor, 1, false};
    std::vector<Reading> readings;
    for (int i = 0; i < 2500; ++i) {
        readings.push_back(Outdoor(1, kT0 + i * 60000LL, static_cast<int32_t>(i % 300 - 100)));
    }
    // Two polls' worth: the second brings the new ones past the fold.
    const std::size_t half = 1250;
    ASSERT_TRUE(archive.Write(std::span(readings).first(half)).Ok());
    EXPECT_EQ(IntOf(archive, "SELECT count(*) FROM recent"), 1250);
    ASSERT_TRUE(archive.Write(std::span(readings).subspan(half)).Ok());
    EXPECT_EQ(IntOf(archive, "SELECT count(*) FROM recent"), 0);
    EXPECT_EQ(IntOf(archive, "SELECT count(*) FROM reading"), 2500);

    // New ones wait in `recent`; a folded one written again is still known.
    std::vector<Reading> more;
    for (int i = 2500; i < 2510; ++i) {
        more.push_back(Outdoor(1, kT0 + i * 60000LL, 42));
    }
    more.push_back(readings[7]);
    Archive::Counts counts;
    ASSERT_TRUE(archive.Write(more, &counts).Ok());
    EXPECT_EQ(counts.added, 10);
    EXPECT_EQ(counts.duplicates, 1);
    EXPECT_EQ(IntOf(archive, "SELECT count(*) FROM recent"), 10);

    const std::vector<std::string> lines = JsonLines(archive, garden);
    ASSERT_EQ(lines.size(), 2510u);
    EXPECT_EQ(lines.front(), JsonLine(readings.front()));
    EXPECT_EQ(lines[2499], JsonLine(readings.back()));
    EXPECT_EQ(lines.back(), JsonLine(more[9]));
    EXPECT_EQ(CheckFindings(archive), "");

    // The check sees a summary that disagrees, and a reading kept twice.
    archive.Db().Exec("UPDATE hourly SET max1 = max1 + 1 WHERE hour % 5 = 0");
    archive.Db().Exec("UPDATE daily SET n = n + 1");
    archive.Db().Exec("INSERT INTO recent SELECT t * 64 + sensor, * FROM reading LIMIT 2");
    const std::string findings = CheckFindings(archive);
    EXPECT_NE(findings.find("Die Stundenwerte stimmen bei "), std::string::npos) << findings;
    EXPECT_NE(findings.find("Die Tageswerte stimmen bei 3 Tagen nicht"), std::string::npos)
        << findings;
    EXPECT_NE(findings.find("Doppelt im Archiv: 2 Messungen."), std::string::npos) << findings;
}

// A stream as a receiver gives it: polls 50 ms apart, in each 0..4 readings of each of three
// sensors, those after a sensor's first in the same millisecond (interval 0); now and then
// a poll's second half a millisecond later.
std::vector<Reading> PollsWithRepeatedSensors(std::mt19937& random, int polls) {
    std::vector<Reading> stream;
    std::array<int64_t, 3> last{};
    for (int p = 0; p < polls; ++p) {
        for (int address = 0; address < 3; ++address) {
            const int count = static_cast<int>(random() % 5);
            for (int k = 0; k < count; ++k) {
                const int64_t t = kT0 + p * 50LL + (k >= 2 && p % 3 == 0 ? 1 : 0);
                Reading r = Outdoor(address, t, static_cast<int32_t>(random() % 400));
                r.interval = Milliseconds(last[address] == 0 ? 180000 : t - last[address]);
                last[address] = t;
                stream.push_back(r);
            }
        }
    }
    return stream;
}

// Writes the readings in transactions cut at random places, as polls and import batches
// cut them; the counts summed.
Archive::Counts WriteCut(Archive& archive, std::span<const Reading> readings,
                         std::mt19937& random) {
    Archive::Counts total;
    while (!readings.empty()) {
        const std::size_t n = std::min<std::size_t>(readings.size(), 1 + random() % 700);
        Archive::Counts counts;
        EXPECT_TRUE(archive.Write(readings.first(n), &counts).Ok());
        total.added += counts.added;
        total.duplicates += counts.duplicates;
        readings = readings.subspan(n);
    }
    return total;
}

TEST(Archive, ReadingsOfOneSensorAndMillisecondAreAllKeptInOrderAndWrittenAgainAddNothing) {
    TempDir dir;
    const std::string path = dir.File("a.sqlite");
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        std::filesystem::remove(path);
        std::mt19937 random(seed);
        const std::vector<Reading> stream = PollsWithRepeatedSensors(random, 1500);
        const auto n = static_cast<int64_t>(stream.size());
        {
            Archive archive;
            ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 100).Ok());
            EXPECT_EQ(WriteCut(archive, stream, random).added, n);
            // Again on the same connection, as a file given twice to one import.
            EXPECT_EQ(WriteCut(archive, stream, random).duplicates, n);
        }
        // And by another program later: an import of the --json lines.
        Archive archive;
        ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 100).Ok());
        EXPECT_EQ(WriteCut(archive, stream, random).duplicates, n);
        EXPECT_EQ(CheckFindings(archive), "");
        for (int address = 0; address < 3; ++address) {
            std::vector<std::string> expected;
            for (const Reading& r : stream) {
                if (r.address == address) {
                    expected.push_back(JsonLine(r));
                }
            }
            EXPECT_EQ(
                JsonLines(archive, {SensorKind::Outdoor, static_cast<uint8_t>(address), false}),
                expected);
        }
    }
}

TEST(Archive, MoreReadingsOfOneMillisecondThanItTellsApartStayWithinTheirSensor) {
    TempDir dir;
    Archive archive;
    ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 100).Ok());
    std::vector<Reading> burst(kSameTimeReadings + 5, Outdoor(1, kT0, 100));
    for (std::size_t i = 1; i < burst.size(); ++i) {
        burst[i].interval = Milliseconds(0);
    }
    burst.push_back(Outdoor(2, kT0, 200));  // the next sensor's key follows the last seq
    Archive::Counts counts;
    ASSERT_TRUE(archive.Write(burst, &counts).Ok());
    EXPECT_EQ(counts.added, kSameTimeReadings + 1);
    EXPECT_EQ(counts.duplicates, 5);
    EXPECT_EQ(JsonLines(archive, {SensorKind::Outdoor, 2, false}),
              std::vector<std::string>{JsonLine(burst.back())});
}

TEST(Archive, AFileOfTheFirstFormatIsBroughtUpToDateWithItsReadingsSummed) {
    TempDir dir;
    const std::string path = dir.File("v1.sqlite");
    {
        // The first format as it was written: the readings alone.
        sql::Database db;
        ASSERT_EQ(db.Open(path, true), sql::kOk);
        ASSERT_EQ(MigrateArchiveTo(db, 0, 1), sql::kOk);
        ASSERT_EQ(db.Exec("INSERT INTO reading VALUES"
                          "(9, 1796650980000, 8, 180000, 123, 67, NULL),"
                          "(9, 1796651160000, 8, 180000, -5, 70, NULL),"
                          "(9, 1796654880000, 8, 180000, 50, 80, NULL),"
                          "(57, 1796651000000, 8, 4000, 2, NULL, NULL),"
                          // wind-3 and brightness-0: their summaries derive from two values
                          "(27, 1796650980000, 8, 180000, 50, 344, 2),"
                          "(27, 1796651160000, 8, 180000, 50, 10, 3),"
                          "(40, 1796650980000, 8, 60000, 7600, 1, NULL),"
                          "(40, 1796651160000, 8, 60000, 780, 10, NULL)"),
                  sql::kOk);
    }
    Archive archive;
    ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 100).Ok());
    EXPECT_EQ(IntOf(archive, "PRAGMA user_version"), kArchiveFormat);
    EXPECT_EQ(CheckFindings(archive), "");

    std::vector<SensorSummary> sensors;
    ASSERT_TRUE(ListSensors(archive, sensors).Ok());
    ASSERT_EQ(sensors.size(), 4u);
    EXPECT_EQ(SensorIdOf(sensors[0].key), "outdoor-1");
    EXPECT_EQ(sensors[0].count, 3);
    EXPECT_EQ(UnixMs(sensors[0].firstSeen), 1796650980000);
    EXPECT_EQ(sensors[0].firstSeenLocal.hour, 14);  // CET
    EXPECT_TRUE(JsonLine(sensors[0].last).starts_with(R"({"time":"2026-12-07T15:48:00.000+01:00")"))
        << JsonLine(sensors[0].last);
    EXPECT_EQ(SensorIdOf(sensors[3].key), "window-event");
    EXPECT_EQ(sensors[3].last.event, FensterEvent::Low);

    // Three hours in one bucket: two readings in one hour, one in the next.
    Series series;
    ASSERT_TRUE(QuerySeries(archive,
                            testing::Request(sensors[0].key, 1796644800000, 1796655600000, 1),
                            series)
                    .Ok());
    EXPECT_EQ(series.bucketMs, 3 * kMsPerHour);
    ASSERT_EQ(series.points.size(), 1u);
    EXPECT_EQ(series.points[0].count, 3);
    EXPECT_DOUBLE_EQ(series.points[0].min[0], -0.5);
    EXPECT_DOUBLE_EQ(series.points[0].max[0], 12.3);
    EXPECT_DOUBLE_EQ(series.points[0].avg[1], 217.0 / 3);
    // What the wind and the brightness make of two values is summed too.
    ASSERT_TRUE(QuerySeries(archive,
                            testing::Request(sensors[1].key, 1796644800000, 1796655600000, 1),
                            series)
                    .Ok());
    ASSERT_EQ(series.points.size(), 1u);
    EXPECT_NEAR(series.points[0].avg[1], 357.0, 0.01);
    ASSERT_TRUE(QuerySeries(archive,
                            testing::Request(sensors[2].key, 1796644800000, 1796655600000, 1),
                            series)
                    .Ok());
    ASSERT_EQ(series.points.size(), 1u);
    EXPECT_DOUBLE_EQ(series.points[0].scaledAvg, 7700);
}

TEST(Archive, NewReadingsOfTheSecondFormatAndThoseAnotherProgramFoldedAreKeptOnce) {
    TempDir dir;
    const std::string path = dir.File("v2.sqlite");
    std::vector<Reading> readings;
    for (int i = 0; i < 2100; ++i) {
        readings.push_back(Outdoor(1, kT0 + i * 60000LL, static_cast<int32_t>(i % 50)));
    }
    {
        // The second format kept its new readings in a table keyed by (t, sensor).
        sql::Database db;
        ASSERT_EQ(db.Open(path, true), sql::kOk);
        ASSERT_EQ(MigrateArchiveTo(db, 0, 2), sql::kOk);
        ASSERT_EQ(db.Exec("INSERT INTO recent VALUES(9, 1796650980000, 8, 180000, 123, 67, NULL),"
                          "(9, 1796651160000, 8, 180000, -5, 70, NULL)"),
                  sql::kOk);
    }
    Archive first, second;
    ASSERT_TRUE(first.Open(path, Archive::Access::Write, 100).Ok());
    ASSERT_TRUE(second.Open(path, Archive::Access::Write, 100).Ok());
    EXPECT_EQ(IntOf(first, "SELECT count(*) FROM reading"), 2);
    EXPECT_EQ(IntOf(first, "SELECT count(*) FROM recent"), 0);

    // The second program has looked at its sensor; the first then writes and folds newer
    // readings, which the second must still know when it receives one of them again.
    ASSERT_TRUE(second.Write(std::span(readings).first(1)).Ok());
    ASSERT_TRUE(first.Write(std::span(readings).subspan(1)).Ok());
    ASSERT_EQ(IntOf(first, "SELECT count(*) FROM recent"), 0);
    Archive::Counts counts;
    ASSERT_TRUE(second.Write(std::span(readings).subspan(2000, 1), &counts).Ok());
    EXPECT_EQ(counts.duplicates, 1);
    EXPECT_EQ(IntOf(second, "SELECT count(*) FROM reading"), 2102);
    EXPECT_EQ(CheckFindings(second), "");
}

TEST(Archive, AFileOfTheThirdFormatKeepsEveryReadingAndItsSummariesWhenItsKeysGainSeq) {
    TempDir dir;
    const std::string path = dir.File("v3.sqlite");
    std::vector<Reading> readings;
    for (int i = 0; i < 300; ++i) {
        readings.push_back(Outdoor(i % 3, kT0 + i * 60000LL, static_cast<int32_t>(i % 70)));
    }
    {
        // Written by the third format: folded readings, new ones keyed t * 64 + sensor, and a
        // row of a sensor number no kind has (the check names it; it is kept all the same).
        sql::Database db;
        ASSERT_EQ(db.Open(path, true), sql::kOk);
        ASSERT_EQ(MigrateArchiveTo(db, 0, 3), sql::kOk);
        const std::string rows =
            "WITH RECURSIVE i(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM i WHERE n < 299)"
            " SELECT n % 3 + 8 AS s, " +
            std::to_string(kT0) + " + n * 60000 AS t, 8, 180000, n % 70, 60, NULL FROM i";
        ASSERT_EQ(db.Exec(("INSERT INTO reading " + rows + " WHERE n < 200; INSERT INTO recent" +
                           " SELECT t * 64 + s, * FROM (" + rows + " WHERE n >= 200)")
                              .c_str()),
                  sql::kOk);
        ASSERT_EQ(db.Exec("INSERT INTO reading VALUES(60, 1796650980000, 8, 1000, 1, 2, 3)"),
                  sql::kOk);
        // The third format's summaries: the values' own, nothing derived.
        const std::string localDay = LocalDaySql();
        for (const auto& [table, period] :
             {std::pair{"hourly", "t / 3600000"}, std::pair{"daily", localDay.c_str()}}) {
            std::string sums =
                std::string("INSERT INTO ") + table + " SELECT " + period + ", sensor, count(*)";
            for (const char* slot : {"a", "b", "c"}) {
                for (const char* f : {"min", "max", "sum"}) {
                    sums += std::string(", ") + f + "(CASE WHEN sensor < 56 THEN " + slot + " END)";
                }
            }
            sums += " FROM reading GROUP BY 1, 2";
            ASSERT_EQ(db.Exec(sums.c_str()), sql::kOk);
        }
    }
    Archive archive;
    ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 100).Ok());
    EXPECT_EQ(IntOf(archive, "PRAGMA user_version"), kArchiveFormat);
    EXPECT_EQ(IntOf(archive, "SELECT count(*) FROM reading WHERE seq = 0"), 301);
    EXPECT_EQ(CheckFindings(archive), "Ohne gültige Sensornummer oder Zeitzone: 1 Messung.\n");
    Archive::Counts counts;
    ASSERT_TRUE(archive.Write(readings, &counts).Ok());
    EXPECT_EQ(counts.duplicates, 300);
    EXPECT_EQ(JsonLines(archive, {SensorKind::Outdoor, 2, false}).back(),
              JsonLine(readings.back()));
}

TEST(Archive, FilesThatAreNoArchiveAreLeftAlone) {
    TempDir dir;
    testing::WriteBytes(dir.File("text.sqlite"), "Dies ist eine Textdatei, keine Datenbank.\n");
    {
        sql::Database other;
        other.Open(dir.File("other.sqlite"), true);
        other.Exec("CREATE TABLE notes(x); INSERT INTO notes VALUES(1)");
        sql::Database newer;
        newer.Open(dir.File("newer.sqlite"), true);
        DefineArchiveFunctions(newer);
        ASSERT_EQ(MigrateArchive(newer, 0), sql::kOk);
        newer.Exec("PRAGMA user_version=7");
    }
    struct Case {
        std::string file;
        Archive::Access access;
        ArchiveProblem problem;
    };
    const std::vector<Case> cases = {
        {"text.sqlite", Archive::Access::Write, ArchiveProblem::NotAnArchive},
        {"other.sqlite", Archive::Access::Write, ArchiveProblem::NotAnArchive},
        {"newer.sqlite", Archive::Access::Write, ArchiveProblem::NewerFormat},
        {"newer.sqlite", Archive::Access::Read, ArchiveProblem::NewerFormat},
        {"missing.sqlite", Archive::Access::Read, ArchiveProblem::NoFile},
        {"no/folder.sqlite", Archive::Access::Write, ArchiveProblem::NoFolder},
    };
    const std::string text = testing::ReadBytes(dir.File("text.sqlite"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Archive archive;
        const ArchiveStatus status = archive.Open(dir.File(c.file), c.access, 100);
        EXPECT_EQ(status.problem, c.problem);
        EXPECT_FALSE(archive.IsOpen());
    }
    EXPECT_EQ(ArchiveStatus({ArchiveProblem::NewerFormat, "7"}).Describe(),
              ": Es stammt von einer neueren Version von Tavrolin (Format 7).");
    EXPECT_EQ(testing::ReadBytes(dir.File("text.sqlite")), text);
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing.sqlite")));
    sql::Database other;
    other.Open(dir.File("other.sqlite"), false);
    sql::Statement tables = other.Prepare("SELECT group_concat(name) FROM sqlite_schema");
    ASSERT_EQ(tables.Step(), sql::kRow);
    EXPECT_EQ(tables.Text(0), "notes");
}

TEST(Archive, EachKindsQuantitiesAreThoseTheDecoderGivesIt) {
    for (const Reading& r : testing::EveryKind(0)) {
        const std::span<const Quantity> quantities = QuantitiesOf(r.kind);
        ASSERT_EQ(quantities.size(), r.valueCount) << r.SensorId();
        for (std::size_t i = 0; i < quantities.size(); ++i) {
            EXPECT_EQ(quantities[i], r.values[i].quantity) << r.SensorId();
        }
    }
}

}  // namespace
}  // namespace tavrolin
