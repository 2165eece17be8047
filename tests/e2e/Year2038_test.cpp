// SPDX-License-Identifier: GPL-3.0-or-later
// Readings after 03:14:07 UTC on 19 January 2038, where a 32-bit time_t (that of a 32-bit
// Debian, armhf, unless the build asks for 64) ends and wraps to 1901: imported into the
// archive by tavrolin-history, exported in the local time of a zone with summer time, and
// counted into a chart's hours and local days by the machine's own time zone.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "platform/posix/SystemClocks.h"

namespace tavrolin::e2e {
namespace {

using namespace std::chrono_literals;

constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

std::string TimeOf(const std::string& json) {
    return std::string(boost::json::parse(json).as_object().at("time").as_string());
}

TEST(Year2038, ReadingsAfterTheEndOfA32BitTimeAreArchivedExportedAndCharted) {
    // The last second a 32-bit time_t holds, the one after it, a summer's day beyond it, and
    // one beyond the end of an unsigned 32-bit count of seconds (2106).
    const std::vector<std::string> times = {
        "2038-01-19T04:14:07.000+01:00", "2038-01-19T04:14:08.000+01:00",
        "2038-07-01T12:00:00.000+02:00", "2106-07-01T12:00:00.000+02:00"};
    TempDir dir;
    std::string lines;
    for (std::size_t i = 0; i < times.size(); ++i) {
        lines += R"({"time":")" + times[i] +
                 R"(","sensor":"rain-0","interval":180.000,"rain_counter":)" +
                 std::to_string(100 + i) + "}\n";
    }
    testing::WriteBytes(dir.File("in.jsonl"), lines);
    const std::string archive = dir.File("a.sqlite");
    const ChildSetup zone{{std::string("TZ=") + kCentralEurope}, ""};

    History import({"--archive", archive, "import", dir.File("in.jsonl")}, zone);
    ASSERT_EQ(import.Exit(In(60s)), 0) << import.Stderr();
    History all({"--archive", archive, "export", "--sensor", "rain-0", "--format", "json"}, zone);
    ASSERT_EQ(all.Exit(In(60s)), 0) << all.Stderr();
    std::vector<std::string> exported;
    for (const std::string& line : all.StdoutLines()) {
        exported.push_back(TimeOf(line));
    }
    EXPECT_EQ(exported, times);
    // A local day as --from and --to: its midnights by the zone's summer time of 2038.
    History day({"--archive", archive, "export", "--sensor", "rain-0", "--from", "2038-07-01",
                 "--to", "2038-07-01", "--format", "json"},
                zone);
    ASSERT_EQ(day.Exit(In(60s)), 0) << day.Stderr();
    ASSERT_EQ(day.StdoutLines().size(), 1u) << day.Stdout();
    EXPECT_EQ(TimeOf(day.StdoutLines()[0]), times[2]);

    // The chart's local days, by the zone the C library computes (localtime_r).
    const char* previous = std::getenv("TZ");
    ::setenv("TZ", kCentralEurope, 1);
    ::tzset();
    const SystemTimeZone system;
    Archive opened;
    ASSERT_TRUE(opened.Open(archive, Archive::Access::Read, 1000).Ok());
    const SeriesRequest request{{SensorKind::Rain, 0, false},
                                InstantOf({2038, 1, 18, 0, 0, 0, 0, 3600}),
                                InstantOf({2106, 7, 2, 0, 0, 0, 0, 7200}),
                                0,
                                &system};
    Series days;
    ASSERT_TRUE(QueryRain(opened, request, kMsPerDay, days).Ok());
    ASSERT_EQ(days.points.size(), 3u);
    EXPECT_EQ(days.points[0].time, InstantOf({2038, 1, 19, 0, 0, 0, 0, 3600}));
    EXPECT_EQ(days.points[0].count, 2);
    EXPECT_EQ(days.points[0].rainSteps, 1);
    EXPECT_EQ(days.points[1].time, InstantOf({2038, 7, 1, 0, 0, 0, 0, 7200}));
    EXPECT_EQ(days.points[2].time, InstantOf({2106, 7, 1, 0, 0, 0, 0, 7200}));
    EXPECT_EQ(days.points[2].rainSteps, 1);
    previous != nullptr ? ::setenv("TZ", previous, 1) : ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace tavrolin::e2e
