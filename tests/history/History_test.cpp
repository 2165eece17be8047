// SPDX-License-Identifier: GPL-3.0-or-later
// The window's reading of the archive: an archive that is not there yet is said, and looked
// for again a minute later, not at every reading.
#include <gtest/gtest.h>

#include <algorithm>
#include <span>

#include "ArchiveFixtures.h"
#include "FakeClocks.h"
#include "TempDir.h"
#include "history/History.h"

namespace tavrolin {
namespace {

using testing::kCet;
using testing::kT0;
using testing::Outdoor;

TEST(History, AnArchiveThatIsNotThereIsSaidAndLookedForAgainAMinuteLater) {
    testing::TempDir dir;
    const std::string path = dir.File("archiv.sqlite");
    testing::FakeWallClock clock(LocalTimeAt(FromUnixMs(kT0), kCet));
    SensorTracker tracker;
    History history(SensorNames(), tracker, path, clock, clock, {});
    for (const Reading& heard : {Outdoor(2, kT0 - 1000, 10)}) {
        tracker.Accept(heard);
        history.Sink().Accept(heard);
    }
    const SensorKey garden{SensorKind::Outdoor, 1, false};
    ChartModel chart(clock);
    history.ShowChart(chart, garden, ChartRange::Day);
    EXPECT_EQ(history.Overview().Rows().size(), 1u) << "what was heard is shown all the same";
    EXPECT_NE(history.Problem().find("läßt sich nicht lesen"), std::string::npos)
        << history.Problem();

    {
        Archive archive;
        ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 1000).Ok());
        ASSERT_TRUE(archive.Write(std::vector<Reading>{Outdoor(1, kT0 - 60000, 150)}).Ok());
    }
    clock.AdvanceMs(30000);
    history.ShowChart(chart, garden, ChartRange::Day);
    EXPECT_TRUE(chart.Data().points.empty()) << "not looked for again yet";
    clock.AdvanceMs(31000);
    history.ShowChart(chart, garden, ChartRange::Day);
    EXPECT_EQ(history.Problem(), "");
    ASSERT_EQ(chart.Data().points.size(), 1u);
    EXPECT_DOUBLE_EQ(chart.Data().points[0].avg[0], 15.0);
}

// The archive's writer commits every few minutes: a chart filled from the archive takes the
// readings it does not hold yet from those the receiving program keeps, each once, whether
// it shows readings or buckets of them.
TEST(History, AChartEndsWithTheReadingsNotYetInTheArchive) {
    testing::TempDir dir;
    const std::string path = dir.File("archiv.sqlite");
    testing::FakeWallClock clock(LocalTimeAt(FromUnixMs(kT0), kCet));
    SensorTracker tracker;
    const std::vector<Reading> heard = {
        Outdoor(1, kT0 - 900000, 100), Outdoor(1, kT0 - 400000, 110), Outdoor(1, kT0 - 200000, 120),
        Outdoor(2, kT0 - 100000, 50), Outdoor(1, kT0 - 50000, 130)};
    const std::span<const Reading> uncommitted = std::span(heard).subspan(3);
    History history(SensorNames(), tracker, path, clock, clock, {}, [&](const auto& each) {
        for (const Reading& r : uncommitted) {
            each(r);
        }
    });
    {
        Archive archive;
        ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 1000).Ok());
        ASSERT_TRUE(archive.Write(std::span(heard).first(3)).Ok());
    }
    ChartModel chart(clock);
    history.ShowChart(chart, {SensorKind::Outdoor, 1, false}, ChartRange::Day);
    std::vector<double> shown;
    for (const SeriesPoint& p : chart.Data().points) {
        shown.push_back(p.avg[0]);
    }
    EXPECT_EQ(shown, (std::vector<double>{10.0, 11.0, 12.0, 13.0}));
    // Enough readings for buckets: every two minutes over the five days before.
    std::vector<Reading> before;
    for (int i = 1; i <= 3600; ++i) {
        before.push_back(Outdoor(1, kT0 - 900000 - i * 120000LL, 100));
    }
    std::reverse(before.begin(), before.end());
    {
        Archive archive;
        ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 1000).Ok());
        ASSERT_TRUE(archive.Write(before).Ok());
    }
    for (const ChartRange range : {ChartRange::Week, ChartRange::Month}) {
        history.ShowChart(chart, {SensorKind::Outdoor, 1, false}, range);
        ASSERT_GT(chart.Data().bucketMs, 0);
        int64_t counted = 0;
        double sum = 0;
        for (const SeriesPoint& p : chart.Data().points) {
            counted += p.count;
            sum += p.avg[0] * static_cast<double>(p.count);
        }
        EXPECT_EQ(counted, 3604) << static_cast<int>(range);
        EXPECT_NEAR(sum, 3600 * 10.0 + 46.0, 1e-6) << static_cast<int>(range);
    }
}

// "Heute" of the window: the station's outdoor sensor as [Station] names it (not the lowest
// known), its value now and today's low and high with their times; the rain gauge's rain of
// today and of the month in mm.
TEST(History, TodayIsTheMainSensorsValueNowAndTodaysFiguresWithTheRain) {
    testing::TempDir dir;
    const std::string path = dir.File("archiv.sqlite");
    constexpr int64_t kDecember = 1796079600000;  // 2026-12-01 00:00 CET
    constexpr int64_t kStep = 10 * testing::kMinute;
    const auto at = [](int day, int hour, int minute) {
        return kDecember + ((day - 1) * 24 + hour) * 3600000 + minute * testing::kMinute;
    };
    std::vector<Reading> readings;
    int32_t counter = 100;
    for (int64_t t = kDecember; t <= kT0; t += kStep) {
        for (const int address : {1, 2}) {
            const int32_t tenths = address == 1         ? 40
                                   : t == at(7, 5, 0)   ? -31
                                   : t == at(7, 9, 30)  ? 88
                                   : t == at(7, 14, 40) ? 12
                                                        : 40;
            readings.push_back(Outdoor(address, t, tenths));
            readings.back().interval = Milliseconds(kStep);
        }
        Reading rain;
        rain.time = FromUnixMs(t + 7000);
        rain.utcOffsetSeconds = kCet;
        rain.kind = SensorKind::Rain;
        rain.interval = Milliseconds(kStep);
        counter += t > at(7, 0, 0) ? 1 : 0;  // a step with each reading today, none before
        rain.values[rain.valueCount++] = {Quantity::RainCounter, counter};
        readings.push_back(rain);
    }
    {
        Archive archive;
        ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 1000).Ok());
        ASSERT_TRUE(archive.Write(readings).Ok());
    }
    testing::FakeWallClock clock(LocalTimeAt(FromUnixMs(kT0), kCet));
    WeatherSettings weather;
    weather.rain.mmPerStep[0] = Decimal{25, 2};
    History history(SensorNames(), SensorTracker(), path, clock, clock, weather);
    StationSensors station;
    station.chosen[0] = SensorKey{SensorKind::Outdoor, 2, false};
    history.SetStation(station);
    const std::string today = history.Today();
    EXPECT_EQ(history.Problem(), "");
    EXPECT_EQ(today.find("(outdoor-1)"), std::string::npos) << today;
    EXPECT_NE(today.find("(outdoor-2)\n  Jetzt: 1,2 °C"), std::string::npos) << today;
    EXPECT_NE(today.find("Temperatur heute: tiefst -3,1 °C um 05:00, höchst 8,8 °C um 09:30"),
              std::string::npos)
        << today;
    // 88 steps of 0,25 mm, from 00:10 to 14:40.
    EXPECT_NE(today.find("(rain-0)"), std::string::npos) << today;
    EXPECT_NE(today.find("Regen heute: 22 mm, diesen Monat: 22 mm"), std::string::npos) << today;
}

}  // namespace
}  // namespace tavrolin
