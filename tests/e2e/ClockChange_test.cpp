// SPDX-License-Identifier: GPL-3.0-or-later
// The change to and from summer time, as a logger that runs for months meets it twice a year:
// tavrolin-log runs on a wall clock that libfaketime sets a few seconds before the change of
// Central European time (the monotonic clock left alone), against the simulator. Nothing but
// the printed local time may change: every interval and Fenster duration stays what passed,
// the rain of the day goes on, and the archive, its export and a chart's buckets keep the
// readings on the day and in the hours they came.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "FakeClocks.h"
#include "Sanitizer.h"
#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "archive/TimeText.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;

constexpr const char* kLibFaketime = "/usr/lib/" TAVROLIN_MULTIARCH "/faketime/libfaketime.so.1";

// Central European time without the machine's zone data.
constexpr const char* kCentralEurope = "TZ=CET-1CEST,M3.5.0,M10.5.0/3";

struct Change {
    const char* name;
    Instant at;         // 01:00 UTC
    int before, after;  // the offsets, seconds
};

double Number(const boost::json::object& o, const char* key) {
    return o.at(key).to_number<double>();
}

// The instant of a --json line's "time", and its offset.
LocalTime TimeOf(const std::string& json) {
    const boost::json::object o = boost::json::parse(json).as_object();
    const std::optional<IsoTime> iso = ParseIsoTime(std::string(o.at("time").as_string()));
    return iso ? iso->time : LocalTime{};
}

// The interval or duration a protocol-file line says, in seconds.
double SecondsOf(const std::string& line) {
    double seconds = 0;
    const std::size_t fenster = line.find("Fenster ");
    if (fenster != std::string::npos) {
        std::sscanf(line.c_str() + line.find(' ', fenster + 8), " %lf", &seconds);
    } else if (line.find(") : (") != std::string::npos) {
        std::sscanf(line.c_str() + line.find(") : (") + 5, "%lf", &seconds);
    }
    return seconds;
}

TEST(ClockChange, NothingButThePrintedLocalTimeChangesAcrossBothChangesOfSummerTime) {
    if (!std::filesystem::exists(kLibFaketime)) {
        GTEST_SKIP() << "no libfaketime (Debian package libfaketime) at " << kLibFaketime;
    }
#if defined(__USE_TIME_BITS64) && __TIMESIZE == 32
    // A 32-bit program with a 64-bit time_t (armhf) asks the C library for the time by its
    // 64-bit calls (__clock_gettime64), which Debian 12's libfaketime does not take over: the
    // logger would see the real clock. Year2038_test covers the local time there.
    GTEST_SKIP() << "libfaketime does not set the 64-bit clock of a 32-bit program";
#endif
    // A program built with AddressSanitizer hangs in its start when libfaketime is preloaded
    // (the two wrap the clock and symbol lookup of each other).
    if (kAddressSanitizer) {
        GTEST_SKIP() << "libfaketime and AddressSanitizer cannot share a process";
    }
    const Change changes[] = {
        {"autumn", InstantOf({2026, 10, 25, 1, 0, 0, 0}), 7200, 3600},
        {"spring", InstantOf({2026, 3, 29, 1, 0, 0, 0}), 3600, 7200},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        TempDir dir;
        Simulator sim(dir.File("ttySIM"), {"--speed", "60"});
        ASSERT_TRUE(sim.Ready()) << sim.Stderr();
        WriteProfile(dir.File("p.INI"), "Filename=" + dir.File("log.dat"), dir.File("ttySIM"));
        testing::WriteBytes(dir.File("p.INI"),
                            testing::ReadBytes(dir.File("p.INI")) + "[Regen]\r\nrain-0=0.25\r\n");
        // The logger's wall clock starts six seconds before the change.
        const auto now = std::chrono::system_clock::now();
        const auto shift = std::chrono::duration_cast<std::chrono::seconds>(
            change.at - std::chrono::seconds(6) - now);
        const std::string archive = dir.File("a.sqlite");
        Logger logger({"--profile", dir.File("p.INI"), "--archive", archive, "--json"},
                      ChildSetup{{kCentralEurope, std::string("LD_PRELOAD=") + kLibFaketime,
                                  "FAKETIME=" + std::to_string(shift.count()) + "s",
                                  "FAKETIME_DONT_FAKE_MONOTONIC=1"},
                                 ""});
        // Some seconds on either side of the change.
        ASSERT_TRUE(logger.WaitForStdoutLines(1, In(10s))) << logger.Stderr();
        for (const auto deadline = In(40s); TestClock::now() < deadline;) {
            const std::size_t lines = logger.StdoutLines().size();
            if (InstantOf(TimeOf(logger.StdoutLines().back())) > change.at + 6s) {
                break;
            }
            logger.WaitForStdoutLines(lines + 1, In(2s));
        }
        EXPECT_EQ(logger.Terminate(In(10s)), 0);
        EXPECT_EQ(AfterStart(logger.Stderr()), "");
        EXPECT_EQ(sim.Terminate(In(5s)), 0);

        // JSON Lines (and so MQTT): intervals as they passed, the offset as the clock was,
        // the rain of the day counted on through the change.
        int before = 0, after = 0;
        double rainToday = 0;
        std::vector<std::string> printed = logger.StdoutLines();
        for (const std::string& line : printed) {
            const boost::json::object o = boost::json::parse(line).as_object();
            const LocalTime time = TimeOf(line);
            const bool beforeChange = InstantOf(time) < change.at;
            EXPECT_EQ(time.utcOffsetSeconds, beforeChange ? change.before : change.after) << line;
            (beforeChange ? before : after) += 1;
            if (o.contains("interval")) {
                EXPECT_GE(Number(o, "interval"), 0.0) << line;
                EXPECT_LT(Number(o, "interval"), 10.0) << line;
            }
            if (o.contains("rain_today_mm")) {
                EXPECT_GE(Number(o, "rain_today_mm"), rainToday) << line;
                rainToday = Number(o, "rain_today_mm");
            }
        }
        EXPECT_GT(before, 20);
        EXPECT_GT(after, 20);
        // The protocol file: the local time jumps, the intervals and durations do not.
        const std::vector<std::string> file = FileLines(testing::ReadBytes(dir.File("log.dat")));
        EXPECT_EQ(file.size(), printed.size());
        int fenster = 0;
        for (const std::string& line : file) {
            EXPECT_GE(SecondsOf(line), 0.0) << line;
            EXPECT_LT(SecondsOf(line), 10.0) << line;
            fenster += line.find("Fenster") != std::string::npos ? 1 : 0;
        }
        EXPECT_GT(fenster, 2);

        // The archive and its export: the same readings, the same intervals.
        History exported({"--profile", dir.File("p.INI"), "--archive", archive, "export",
                          "--sensor", "rain-0", "--format", "json"},
                         ChildSetup{{kCentralEurope}, ""});
        EXPECT_EQ(exported.Exit(In(20s)), 0) << exported.Stderr();
        std::vector<std::string> rain;
        for (const std::string& line : printed) {
            if (line.find("\"rain-0\"") != std::string::npos) {
                rain.push_back(line);
            }
        }
        EXPECT_EQ(exported.StdoutLines(), rain);

        // A chart's buckets: the hours as they passed (both 02:00 hours in autumn), and one
        // local day that holds every reading.
        Archive opened;
        ASSERT_TRUE(opened.Open(archive, Archive::Access::Read, 1000).Ok());
        const testing::CentralEuropeZone zone;
        const SeriesRequest request{{SensorKind::Rain, 0, false},
                                    change.at - Milliseconds(kMsPerHour),
                                    change.at + Milliseconds(kMsPerHour),
                                    0,
                                    &zone};
        Series hours, days;
        ASSERT_TRUE(QueryRain(opened, request, kMsPerHour, hours).Ok());
        ASSERT_TRUE(QueryRain(opened, request, kMsPerDay, days).Ok());
        ASSERT_EQ(hours.points.size(), 2u);
        EXPECT_EQ(hours.points[0].time, change.at - Milliseconds(kMsPerHour));
        EXPECT_EQ(hours.points[1].time, change.at);
        ASSERT_EQ(days.points.size(), 1u);
        const LocalTime start = LocalTimeIn(zone, days.points[0].time);
        EXPECT_EQ(start.hour, 0);
        EXPECT_EQ(days.points[0].count, hours.points[0].count + hours.points[1].count);
        EXPECT_EQ(days.points[0].rainSteps, hours.points[0].rainSteps + hours.points[1].rainSteps);
        EXPECT_EQ(days.points[0].count, static_cast<int64_t>(rain.size()));
    }
}

}  // namespace
}  // namespace tavrolin::e2e
