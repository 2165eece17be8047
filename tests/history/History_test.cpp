// SPDX-License-Identifier: GPL-3.0-or-later
// The window's reading of the archive: an archive that is not there yet is said, and looked
// for again a minute later, not at every reading.
#include <gtest/gtest.h>

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
// readings it does not hold yet from those the window has heard, each once.
TEST(History, AChartOfReadingsEndsWithThoseNotYetInTheArchive) {
    testing::TempDir dir;
    const std::string path = dir.File("archiv.sqlite");
    testing::FakeWallClock clock(LocalTimeAt(FromUnixMs(kT0), kCet));
    SensorTracker tracker;
    History history(SensorNames(), tracker, path, clock, clock, {}, Milliseconds{300000});
    const std::vector<Reading> heard = {
        Outdoor(1, kT0 - 900000, 100), Outdoor(1, kT0 - 400000, 110), Outdoor(1, kT0 - 200000, 120),
        Outdoor(2, kT0 - 100000, 50), Outdoor(1, kT0 - 50000, 130)};
    {
        Archive archive;
        ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 1000).Ok());
        ASSERT_TRUE(archive.Write(std::span(heard).first(3)).Ok());
    }
    for (const Reading& r : heard) {
        history.Sink().Accept(r);
    }
    ChartModel chart(clock);
    history.ShowChart(chart, {SensorKind::Outdoor, 1, false}, ChartRange::Day);
    std::vector<double> shown;
    for (const SeriesPoint& p : chart.Data().points) {
        shown.push_back(p.avg[0]);
    }
    EXPECT_EQ(shown, (std::vector<double>{10.0, 11.0, 12.0, 13.0}));
}

}  // namespace
}  // namespace tavrolin
