// SPDX-License-Identifier: GPL-3.0-or-later
// What a chart gets of the values two quantities make together: the wind's mean direction
// and the brightness sensors' value × factor, the same whether a bucket is summed from the
// new readings, from the folded ones' summaries, or from both.
#include "archive/ArchiveQuery.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "ArchiveFixtures.h"
#include "TempDir.h"
#include "archive/ArchiveSchema.h"

namespace tavrolin {
namespace {

using testing::CheckFindings;
using testing::kT0;
using testing::TempDir;

constexpr int64_t kHour = 3600000;

// Readings of one sensor, a minute apart from `t`, each of two values (the third slot 0).
std::vector<Reading> Readings(SensorKind kind, int64_t t,
                              const std::vector<std::pair<int32_t, int32_t>>& values) {
    std::vector<Reading> readings;
    for (const auto& [first, second] : values) {
        Reading r;
        r.time = FromUnixMs(t, 3600);
        r.kind = kind;
        r.hasInterval = true;
        r.intervalTicks = 60000LL * 10000;
        const std::span<const Quantity> quantities = QuantitiesOf(kind);
        r.values[r.valueCount++] = {quantities[0], first};
        r.values[r.valueCount++] = {quantities[1], second};
        if (quantities.size() > 2) {
            r.values[r.valueCount++] = {quantities[2], 0};
        }
        readings.push_back(r);
        t += 60000;
    }
    return readings;
}

// The one bucket of [from, from + length): a quarter hour from the readings, three hours
// from the hourly summaries and the new readings.
SeriesPoint OneBucket(Archive& archive, SensorKind kind, int64_t from, int64_t length) {
    Series series;
    EXPECT_TRUE(QuerySeries(archive, {{kind, 0, false}, from, from + length, 1, 0}, series).Ok());
    EXPECT_EQ(series.points.size(), 1u);
    EXPECT_GT(series.bucketMs, 0);
    return series.points.empty() ? SeriesPoint{} : series.points.front();
}

void Fold(Archive& archive) {
    ASSERT_EQ(archive.Db().Exec("BEGIN"), sql::kOk);
    ASSERT_EQ(FoldRecent(archive.Db()), sql::kOk);
    ASSERT_EQ(archive.Db().Exec("COMMIT"), sql::kOk);
}

TEST(ArchiveQuery, TheWindDirectionOfABucketIsTheMeanOfTheWindsVectorsWeightedBySpeed) {
    struct Case {
        const char* what;
        std::vector<std::pair<int32_t, int32_t>> wind;  // tenths of km/h, degrees
        double direction;                               // NaN: none
    };
    const double none = std::nan("");
    const std::vector<Case> cases = {
        {"around north, not south-west", {{50, 1}, {50, 344}, {50, 325}}, 343.34},
        {"either side of north", {{100, 350}, {100, 10}}, 0.0},
        {"a hair west of north", {{100, 350}, {50, 20}}, 359.90},
        {"a gale outweighs a breeze", {{300, 80}, {10, 260}}, 80.0},
        {"a calm says nothing", {{0, 90}, {0, 180}, {120, 200}}, 200.0},
        {"a negative speed is calm", {{-30, 90}, {20, 180}}, 180.0},
        {"opposite winds cancel", {{100, 90}, {100, 270}}, none},
        {"no wind at all", {{0, 45}, {0, 50}}, none},
    };
    TempDir dir;
    Archive archive;
    ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 100).Ok());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.what);
        const int64_t from = kT0 / (3 * kHour) * (3 * kHour) + static_cast<int64_t>(i) * 12 * kHour;
        const std::vector<Reading> readings = Readings(SensorKind::Wind, from, c.wind);
        ASSERT_TRUE(archive.Write(readings).Ok());

        WindVector sum;
        for (const Reading& r : readings) {
            const WindVector w = WindOf(r.values[0].Value(), r.values[1].Value());
            sum.east += w.east;
            sum.north += w.north;
        }
        const SeriesPoint fromReadings = OneBucket(archive, SensorKind::Wind, from, 10 * 60000);
        const SeriesPoint fromRecent = OneBucket(archive, SensorKind::Wind, from, 3 * kHour);
        Fold(archive);
        const SeriesPoint fromSummaries = OneBucket(archive, SensorKind::Wind, from, 3 * kHour);
        for (const double direction :
             {MeanDirection(sum), fromReadings.avg[1], fromRecent.avg[1], fromSummaries.avg[1]}) {
            if (std::isnan(c.direction)) {
                EXPECT_TRUE(std::isnan(direction)) << direction;
            } else {
                EXPECT_NEAR(direction, c.direction, 0.01);
                EXPECT_LT(direction, 360.0);
            }
        }
        // No minimum and maximum of the angle; the speed has them as before.
        EXPECT_TRUE(std::isnan(fromSummaries.min[1]) && std::isnan(fromSummaries.max[1]));
        EXPECT_EQ(fromSummaries.count, static_cast<int64_t>(c.wind.size()));
    }
    EXPECT_EQ(CheckFindings(archive), "") << "the folded sums are the ones the check computes";
}

TEST(ArchiveQuery, BrightnessIsValueTimesFactorWhateverFactorTheSensorChose) {
    // The same light three times, each time with another factor, and half of it once.
    const std::vector<std::pair<int32_t, int32_t>> light = {
        {7600, 1}, {780, 10}, {79, 100}, {3800, 1}};
    TempDir dir;
    Archive archive;
    ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 100).Ok());
    for (const SensorKind kind : {SensorKind::Brightness, SensorKind::Pyranometer}) {
        const int64_t from = kT0 / (3 * kHour) * (3 * kHour);
        ASSERT_TRUE(archive.Write(Readings(kind, from, light)).Ok());
        std::vector<SeriesPoint> buckets = {OneBucket(archive, kind, from, 10 * 60000),
                                            OneBucket(archive, kind, from, 3 * kHour)};
        Fold(archive);
        buckets.push_back(OneBucket(archive, kind, from, 3 * kHour));
        for (const SeriesPoint& p : buckets) {
            EXPECT_EQ(p.scaledMin, 3800);
            EXPECT_EQ(p.scaledMax, 7900);
            EXPECT_DOUBLE_EQ(p.scaledAvg, (7600 + 7800 + 7900 + 3800) / 4.0);
            EXPECT_EQ(p.max[1], 100) << "the factor stays as it was";
        }
    }
    EXPECT_EQ(CheckFindings(archive), "");
}

}  // namespace
}  // namespace tavrolin
