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

}  // namespace
}  // namespace tavrolin
