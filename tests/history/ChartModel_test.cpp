// SPDX-License-Identifier: GPL-3.0-or-later
// What the chart draws, without the widgets: the ranges asked of the archive, the readings
// taken in while the chart is open, the breaks of a line, and the texts.
#include <gtest/gtest.h>

#include <cmath>

#include "ArchiveFixtures.h"
#include "history/ChartModel.h"

namespace tavrolin {
namespace {

using testing::kCet;
using testing::kGarden;
using testing::kMinute;
using testing::kT0;
using testing::Outdoor;

ChartModel Model() {
    return ChartModel([](int64_t) { return kCet; });
}

TEST(ChartModel, RangesEndNowAndTheWholeArchiveBeginsAtTheFirstReading) {
    ChartModel chart = Model();
    chart.Choose(kGarden, ChartRange::Year, kT0, kT0 - 3000 * kMsPerDay);
    EXPECT_EQ(chart.ToMs() - chart.FromMs(), 365 * kMsPerDay);
    const SeriesRequest year = chart.Request();
    EXPECT_EQ(year.toMs, kT0 + 1);
    EXPECT_EQ(year.alignOffsetSeconds, kCet);
    EXPECT_EQ(year.maxPoints, ChartModel::kMaxLongPoints);

    chart.Choose(kGarden, ChartRange::All, kT0, kT0 - 3000 * kMsPerDay);
    EXPECT_EQ(chart.FromMs(), kT0 - 3000 * kMsPerDay);
    chart.Choose(kGarden, ChartRange::All, kT0, std::nullopt);
    EXPECT_EQ(chart.FromMs(), kT0 - kMsPerDay);
    EXPECT_EQ(chart.Data().quantities.size(), 2u);
}

TEST(ChartModel, ALiveRangeTakesItsSensorsReadingsIntoItsBuckets) {
    ChartModel chart = Model();
    chart.Choose(kGarden, ChartRange::Week, kT0, std::nullopt);
    Series series;
    series.quantities = QuantitiesOf(SensorKind::Outdoor);
    series.bucketMs = 10 * kMinute;
    SeriesPoint p;
    // The bucket of kT0 (14:43:07 CET): 14:40 local.
    p.timeMs = kT0 - 3 * kMinute - 7456;
    p.count = 2;
    p.min = {10.0, 50, 0};
    p.avg = {11.0, 55, 0};
    p.max = {12.0, 60, 0};
    series.points = {p};
    chart.SetSeries(series);

    EXPECT_TRUE(chart.Add(Outdoor(1, kT0 + kMinute, 140, 40)));  // 14:44: the same bucket
    EXPECT_TRUE(chart.Add(Outdoor(1, kT0 + 8 * kMinute, 90)));   // 14:51: the next
    EXPECT_FALSE(chart.Add(Outdoor(2, kT0 + 9 * kMinute, 90)));  // another sensor
    const std::vector<SeriesPoint>& points = chart.Data().points;
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].count, 3);
    EXPECT_DOUBLE_EQ(points[0].min[1], 40);
    EXPECT_DOUBLE_EQ(points[0].max[0], 14.0);
    EXPECT_DOUBLE_EQ(points[0].avg[0], (11.0 * 2 + 14.0) / 3);
    EXPECT_EQ(points[1].timeMs, p.timeMs + 10 * kMinute);
    EXPECT_EQ(chart.ToMs(), kT0 + 8 * kMinute + 1) << "the range moves on with the readings";
    EXPECT_EQ(chart.ToMs() - chart.FromMs(), 7 * kMsPerDay);

    chart.Choose(kGarden, ChartRange::Year, kT0, std::nullopt);
    EXPECT_FALSE(chart.Add(Outdoor(1, kT0 + 20 * kMinute, 90))) << "a year is not live";
}

TEST(ChartModel, LinesBreakWhereTheSensorWasSilentAndReadOutInGerman) {
    ChartModel chart = Model();
    chart.Choose(kGarden, ChartRange::Day, kT0 + 60 * kMinute, std::nullopt);
    for (const int64_t minute : {0, 3, 6, 9, 45, 48}) {
        ASSERT_TRUE(chart.Add(Outdoor(1, kT0 + minute * kMinute, -5 + minute, 70)));
    }
    const std::vector<ChartLine> lines = chart.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].label, "Temperatur (°C)");
    EXPECT_EQ(lines[1].label, "Feuchte (%)");
    ASSERT_EQ(lines[0].keys.size(), 7u);
    EXPECT_TRUE(std::isnan(lines[0].avg[4]));
    EXPECT_GT(lines[0].keys[4], lines[0].keys[3]);
    EXPECT_LT(lines[0].keys[4], lines[0].keys[5]);
    EXPECT_DOUBLE_EQ(lines[0].keys[0], static_cast<double>(kT0) / 1000.0);
    EXPECT_EQ(chart.Summary(), "6 Messungen");

    const std::optional<std::size_t> near = chart.Nearest(static_cast<double>(kT0) / 1000 + 60);
    ASSERT_TRUE(near.has_value());
    EXPECT_EQ(*near, 0u);
    EXPECT_EQ(chart.Readout(*near), "Mo 07.12.2026 14:43 · Temperatur -0,5 °C · Feuchte 70 %");
    EXPECT_EQ(chart.Nearest(static_cast<double>(kT0) / 1000 + 44 * 60), 4u);

    Series buckets;
    buckets.quantities = QuantitiesOf(SensorKind::Outdoor);
    buckets.bucketMs = 6 * 3600000;
    SeriesPoint p;
    p.timeMs = kT0 - 163 * kMinute - 7456;  // 12:00 local
    p.count = 72;
    p.min = {-1.26, 40, 0};
    p.avg = {0.04, 55.56, 0};
    p.max = {2.5, 71, 0};
    buckets.points = {p};
    chart.SetSeries(buckets);
    EXPECT_EQ(chart.Readout(0),
              "Mo 07.12.2026 12:00–18:00 · Temperatur Ø 0,04 °C (-1,3 … 2,5) · Feuchte Ø "
              "55,6 % (40 … 71)");
    EXPECT_EQ(chart.Summary(), "1 Wert zu je 6 Stunden: Mittel, Minimum und Maximum");
    buckets.bucketMs = kMsPerDay;
    chart.SetSeries(buckets);
    EXPECT_EQ(chart.Readout(0).rfind("Mo 07.12.2026 · Temperatur Ø", 0), 0u) << chart.Readout(0);
    buckets.bucketMs = 14 * kMsPerDay;
    chart.SetSeries(buckets);
    EXPECT_EQ(chart.Readout(0).rfind("07.12.2026 – 20.12.2026 · Temperatur", 0), 0u)
        << chart.Readout(0);
}

TEST(ChartModel, AxisTexts) {
    struct Row {
        int64_t rangeMs;
        const char* format;
    } rows[] = {{kMsPerDay, "HH:mm\ndd.MM."},
                {7 * kMsPerDay, "ddd\ndd.MM."},
                {30 * kMsPerDay, "dd.MM."},
                {365 * kMsPerDay, "MMM\nyyyy"},
                {3650 * kMsPerDay, "yyyy"}};
    for (const Row& row : rows) {
        EXPECT_EQ(TimeTickFormat(row.rangeMs), row.format) << row.rangeMs;
    }
    EXPECT_EQ(AxisLabel(Quantity::RainCounter), "Regenzähler");
    EXPECT_EQ(AxisLabel(Quantity::WindSpeed), "Windgeschwindigkeit\n(km/h)");
    EXPECT_EQ(AxisLabel(Quantity::WindDirection), "Windrichtung (°)");
    EXPECT_EQ(BucketText(10 * kMinute), "10 Minuten");
    EXPECT_EQ(BucketText(kMsPerDay), "1 Tag");
    EXPECT_EQ(GermanNumber(-0.04, 1), "0,0");
    EXPECT_EQ(GermanNumber(1013.0, 0), "1013");
}

}  // namespace
}  // namespace tavrolin
