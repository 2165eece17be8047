// SPDX-License-Identifier: GPL-3.0-or-later
// What the chart draws, without the widgets: the ranges asked of the archive, the readings
// taken in while the chart is open, the breaks of a line, and the texts.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "ArchiveFixtures.h"
#include "FakeClocks.h"
#include "history/ChartModel.h"
#include "weather/WeatherFormulas.h"

namespace tavrolin {
namespace {

using testing::kCet;
using testing::kGarden;
using testing::kMinute;
using testing::kT0;
using testing::Outdoor;

const FixedOffsetZone kCetZone(kCet);

Instant At(int64_t t) {
    return FromUnixMs(t);
}

ChartModel Model() {
    return ChartModel(kCetZone);
}

int64_t From(const ChartModel& chart) {
    return UnixMs(chart.From());
}
int64_t To(const ChartModel& chart) {
    return UnixMs(chart.To());
}

TEST(ChartModel, RangesEndNowAndTheWholeArchiveBeginsAtTheFirstReading) {
    ChartModel chart = Model();
    chart.Choose(kGarden, ChartRange::Year, At(kT0), At(kT0 - 3000 * kMsPerDay));
    EXPECT_EQ(To(chart) - From(chart), 365 * kMsPerDay);
    const SeriesRequest year = chart.Request();
    EXPECT_EQ(UnixMs(year.to), kT0 + 1);
    EXPECT_EQ(year.zone, &kCetZone);
    EXPECT_EQ(year.maxPoints, ChartModel::kMaxLongPoints);

    chart.Choose(kGarden, ChartRange::All, At(kT0), At(kT0 - 3000 * kMsPerDay));
    EXPECT_EQ(From(chart), kT0 - 3000 * kMsPerDay);
    chart.Choose(kGarden, ChartRange::All, At(kT0), std::nullopt);
    EXPECT_EQ(From(chart), kT0 - kMsPerDay);
    EXPECT_EQ(chart.Data().quantities.size(), 2u);
}

TEST(ChartModel, ALiveRangeTakesItsSensorsReadingsIntoItsBuckets) {
    ChartModel chart = Model();
    chart.Choose(kGarden, ChartRange::Week, At(kT0), std::nullopt);
    Series series;
    series.quantities = QuantitiesOf(SensorKind::Outdoor);
    series.bucketMs = 10 * kMinute;
    SeriesPoint p;
    // The bucket of kT0 (14:43:07 CET): 14:40 local.
    p.time = At(kT0 - 3 * kMinute - 7456);
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
    EXPECT_EQ(points[1].time, p.time + Milliseconds(10 * kMinute));
    EXPECT_EQ(To(chart), kT0 + 8 * kMinute + 1) << "the range moves on with the readings";
    EXPECT_EQ(To(chart) - From(chart), 7 * kMsPerDay);

    chart.Choose(kGarden, ChartRange::Year, At(kT0), std::nullopt);
    EXPECT_FALSE(chart.Add(Outdoor(1, kT0 + 20 * kMinute, 90))) << "a year is not live";
}

TEST(ChartModel, LinesBreakWhereTheSensorWasSilentAndReadOutInGerman) {
    ChartModel chart = Model();
    chart.Choose(kGarden, ChartRange::Day, At(kT0 + 60 * kMinute), std::nullopt);
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

    const std::optional<std::size_t> near = chart.PointAt(static_cast<double>(kT0) / 1000 + 60);
    ASSERT_TRUE(near.has_value());
    EXPECT_EQ(*near, 0u);
    // The dew point beside the temperature: -0,5 °C at 70 % by the Magnus formula.
    EXPECT_EQ(chart.Readout(*near),
              "Mo 07.12.2026 14:43 · Temperatur -0,5 °C · Taupunkt -5,3 °C · Feuchte 70 %");
    EXPECT_EQ(lines[0].besideName, "Taupunkt");
    ASSERT_EQ(lines[0].beside.size(), lines[0].keys.size());
    EXPECT_DOUBLE_EQ(lines[0].beside[0], -5.3);
    EXPECT_TRUE(std::isnan(lines[0].beside[4])) << "it breaks where the temperature does";
    EXPECT_TRUE(lines[1].beside.empty());
    EXPECT_EQ(chart.PointAt(static_cast<double>(kT0) / 1000 + 44 * 60), 4u);

    Series buckets;
    buckets.quantities = QuantitiesOf(SensorKind::Outdoor);
    buckets.bucketMs = 6 * 3600000;
    SeriesPoint p;
    p.time = At(kT0 - 163 * kMinute - 7456);  // 12:00 local
    p.count = 72;
    p.min = {-1.26, 40, 0};
    p.avg = {0.04, 55.56, 0};
    p.max = {2.5, 71, 0};
    buckets.points = {p};
    chart.SetSeries(buckets);
    EXPECT_EQ(chart.Readout(0),
              "Mo 07.12.2026 12:00–18:00 · Temperatur Ø 0,0 °C (-1,3 … 2,5) · Feuchte Ø "
              "56 % (40 … 71)");
    // A bucket of one value throughout is that value.
    buckets.points[0].min[1] = buckets.points[0].avg[1] = buckets.points[0].max[1] = 89;
    chart.SetSeries(buckets);
    EXPECT_TRUE(chart.Readout(0).ends_with(" · Feuchte 89 %")) << chart.Readout(0);
    EXPECT_EQ(chart.Summary(), "1 Wert zu je 6 Stunden: Mittel, Minimum und Maximum");
    buckets.bucketMs = kMsPerDay;
    chart.SetSeries(buckets);
    EXPECT_EQ(chart.Readout(0).rfind("Mo 07.12.2026 · Temperatur Ø", 0), 0u) << chart.Readout(0);
    buckets.bucketMs = 14 * kMsPerDay;
    chart.SetSeries(buckets);
    EXPECT_EQ(chart.Readout(0).rfind("07.12.2026 – 20.12.2026 · Temperatur", 0), 0u)
        << chart.Readout(0);
}

// The time axis counts the local clock's hours, days, Mondays, months and years, in German;
// on the day the clocks go back the hour from 2:00 comes twice, and both are ticked.
TEST(ChartModel, TimeTicksFallOnTheLocalClocksHoursDaysMonthsAndYears) {
    const testing::CentralEuropeZone zone;
    const auto labels = [&zone](int64_t from, int64_t to, int count) {
        std::vector<std::string> out;
        for (const AxisTick& tick : TimeTicks(zone, At(from), At(to), count)) {
            out.push_back(tick.label);
        }
        return out;
    };
    const int64_t autumn = UnixMs(InstantOf({2026, 10, 25, 0, 0, 0, 0, 7200}));
    EXPECT_EQ(labels(autumn, autumn + 5 * 3600000, 8),
              (std::vector<std::string>{"00:00\n25.10.", "01:00\n25.10.", "02:00\n25.10.",
                                        "02:00\n25.10.", "03:00\n25.10.", "04:00\n25.10."}));
    EXPECT_EQ(labels(kT0 - kMsPerDay, kT0, 7).front(), "15:00\n06.12.");
    EXPECT_EQ(labels(kT0 - 7 * kMsPerDay, kT0, 7).front(), "Di\n01.12.");
    EXPECT_EQ(labels(kT0 - 30 * kMsPerDay, kT0, 7).front(), "09.11.");
    const std::vector<std::string> year = labels(kT0 - 365 * kMsPerDay, kT0, 7);
    EXPECT_EQ(year.front(), "Jan\n2026");
    EXPECT_EQ(year.back(), "Nov\n2026");
    EXPECT_EQ(labels(kT0 - 3650 * kMsPerDay, kT0, 7),
              (std::vector<std::string>{"2018", "2020", "2022", "2024", "2026"}));
    // Every tick lies in the range, in order.
    for (const int64_t span : {int64_t{3600000}, kMsPerDay, 9 * kMsPerDay, 90 * kMsPerDay,
                               700 * kMsPerDay, 9000 * kMsPerDay}) {
        const std::vector<AxisTick> ticks = TimeTicks(zone, At(kT0 - span), At(kT0));
        ASSERT_FALSE(ticks.empty()) << span;
        EXPECT_LE(ticks.size(), 14u) << span;
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_GE(ticks[i].at * 1000, static_cast<double>(kT0 - span));
            EXPECT_LE(ticks[i].at * 1000, static_cast<double>(kT0));
            EXPECT_TRUE(i == 0 || ticks[i].at > ticks[i - 1].at);
        }
    }
}

TEST(ChartModel, AxisTexts) {
    EXPECT_EQ(AxisLabel(Quantity::RainCounter), "Regenzähler");
    EXPECT_EQ(AxisLabel(Quantity::WindSpeed), "Windgeschwindigkeit\n(km/h)");
    EXPECT_EQ(AxisLabel(Quantity::WindDirection), "Windrichtung (°)");
    EXPECT_EQ(BucketText(10 * kMinute), "10 Minuten");
    EXPECT_EQ(BucketText(kMsPerDay), "1 Tag");
    EXPECT_EQ(GermanNumber(-0.04, 1), "0,0");
    EXPECT_EQ(GermanNumber(1013.0, 0), "1013");
    // Ticks on whole units: about the span over the ticks, rounded up to 1, 2 or 5 times a
    // power of ten.
    const struct {
        double span;
        double step;
    } steps[] = {{2.0, 1},  {4.3, 1},   {7.0, 2},   {14.0, 5},
                 {17.5, 5}, {50.0, 10}, {60.0, 20}, {140.0, 50}};
    for (const auto& step : steps) {
        EXPECT_EQ(WholeTickStep(step.span, 5), step.step) << step.span;
    }
}

Reading Wind(int64_t t, int32_t tenths, int32_t degrees) {
    Reading r = Outdoor(3, t, 0);
    r.kind = SensorKind::Wind;
    r.values[0] = {Quantity::WindSpeed, tenths};
    r.values[1] = {Quantity::WindDirection, degrees};
    r.values[2] = {Quantity::WindB, 2};
    r.valueCount = 3;
    return r;
}

TEST(ChartModel, WindDirectionIsACircleAndLightOneNumber) {
    const SensorKey mast{SensorKind::Wind, 3, false};
    ChartModel chart = Model();
    chart.Choose(mast, ChartRange::Week, At(kT0), std::nullopt);
    Series series;
    series.quantities = QuantitiesOf(SensorKind::Wind);
    series.bucketMs = 10 * kMinute;
    chart.SetSeries(series);
    // The bucket: 1°, 344° and 325° are about north-north-west, not south-west.
    for (const int32_t degrees : {1, 344, 325}) {
        ASSERT_TRUE(chart.Add(Wind(kT0 + kMinute, 50, degrees)));
    }
    std::vector<ChartLine> lines = chart.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].scale, ChartLine::Scale::Compass);
    // Around north: the axis has north in its middle, from south to south, so that the
    // range's wind is not split between the top and the bottom.
    EXPECT_NEAR(lines[1].avg[0], 343.3 - 360, 0.1);
    EXPECT_EQ(lines[1].Axis().lower, -180);
    EXPECT_EQ(lines[1].Axis().upper, 180);
    std::vector<std::string> points;
    for (const AxisTick& tick : lines[1].CompassTicks()) {
        points.push_back(tick.label);
    }
    EXPECT_EQ(points, (std::vector<std::string>{"S", "W", "N", "O", "S"}));
    EXPECT_TRUE(std::isnan(lines[1].min[0]) && std::isnan(lines[1].max[0]));
    EXPECT_EQ(lines[2].label, "B-Ziffer");
    EXPECT_EQ(chart.Readout(0),
              "Mo 07.12.2026 14:40–14:50 · Windgeschwindigkeit 5,0 km/h · Windrichtung Ø 343° · "
              "B-Ziffer 2");
    // Opposite winds of one strength leave no direction.
    ASSERT_TRUE(chart.Add(Wind(kT0 + 11 * kMinute, 40, 90)));
    ASSERT_TRUE(chart.Add(Wind(kT0 + 12 * kMinute, 40, 270)));
    EXPECT_NE(chart.Readout(1).find("Windrichtung unbestimmt"), std::string::npos)
        << chart.Readout(1);

    // Brightness: value × factor, one line; a logarithmic axis once it spans two decades.
    const SensorKey roof{SensorKind::Brightness, 0, false};
    chart.Choose(roof, ChartRange::Day, At(kT0 + kMsPerDay), std::nullopt);
    Series light;
    light.quantities = QuantitiesOf(SensorKind::Brightness);
    for (const auto& [value, factor] : {std::pair{7600, 1}, {780, 10}, {0, 100}, {76, 1}}) {
        SeriesPoint p;
        p.time = At(kT0 + static_cast<int64_t>(light.points.size()) * kMinute);
        p.count = 1;
        p.min = p.avg = p.max = {double(value), double(factor), 0};
        DeriveFromReading(SensorKind::Brightness, p);
        light.points.push_back(p);
    }
    chart.SetSeries(light);
    lines = chart.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].label, "Helligkeit\n(Wert × Faktor)");
    EXPECT_EQ(lines[0].avg, (std::vector<double>{7600, 7800, 0, 76}));
    EXPECT_EQ(lines[0].scale, ChartLine::Scale::Logarithmic);
    EXPECT_TRUE(chart.Readout(1).ends_with(" · Helligkeit 7800")) << chart.Readout(1);
    light.points.pop_back();
    chart.SetSeries(light);
    EXPECT_EQ(chart.Lines()[0].scale, ChartLine::Scale::Linear) << "7600 to 7800: no decades";
}

Reading Rain(int64_t t, int32_t counter, uint8_t address) {
    Reading r = Outdoor(address, t, 0);
    r.kind = SensorKind::Rain;
    r.values[0] = {Quantity::RainCounter, counter};
    r.valueCount = 1;
    return r;
}

TEST(ChartModel, RainIsABarPerHourOrDayInMillimetresWhereRegenGivesThemElseInSteps) {
    WeatherSettings settings;
    settings.rain.mmPerStep[0] = Decimal{25, 2};
    ChartModel chart(kCetZone, settings);
    const SensorKey gauge{SensorKind::Rain, 0, false};
    const int64_t hour = 3600000;
    // Whole bars: hours in a day and a week, local days beyond.
    for (const auto& [range, bucket] : {std::pair{ChartRange::Day, hour},
                                        {ChartRange::Week, hour},
                                        {ChartRange::Month, kMsPerDay},
                                        {ChartRange::Year, kMsPerDay}}) {
        chart.Choose(gauge, range, At(kT0), std::nullopt);
        EXPECT_EQ(chart.RainBucketMs(), bucket);
        EXPECT_EQ((From(chart) + (bucket == hour ? 0 : kCet * 1000)) % bucket, 0);
        EXPECT_LE(From(chart), To(chart) - (bucket == hour ? 24 : 30) * hour);
    }

    chart.Choose(gauge, ChartRange::Day, At(kT0), std::nullopt);
    Series series;
    series.quantities = QuantitiesOf(SensorKind::Rain);
    series.bucketMs = hour;
    for (const int64_t steps : {4, 0}) {
        SeriesPoint p;
        p.time = At((kT0 / hour - 1 + static_cast<int64_t>(series.points.size())) * hour);
        p.count = 80;
        p.rainSteps = steps;
        series.points.push_back(p);
    }
    series.lastCounter = 8190;
    chart.SetSeries(series);
    // Readings as they come count from the last one known: 8190 to -8191 is 3 steps.
    EXPECT_TRUE(chart.Add(Rain(kT0 + kMinute, -8191, 0)));
    EXPECT_TRUE(chart.Add(Rain(kT0 + 20 * kMinute, -8189, 0)));  // 14:03 CET: a new bar
    EXPECT_FALSE(chart.Add(Rain(kT0 + 21 * kMinute, 5, 1))) << "another rain sensor";
    std::vector<ChartLine> lines = chart.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].scale, ChartLine::Scale::Bars);
    EXPECT_EQ(lines[0].label, "Regen (mm)");
    EXPECT_EQ(lines[0].avg, (std::vector<double>{1.0, 0.75, 0.5}));
    EXPECT_DOUBLE_EQ(lines[0].keys[2],
                     static_cast<double>((kT0 / hour + 1) * hour + hour / 2) / 1000.0);
    EXPECT_EQ(chart.Summary(), "Summe 2,25 mm seit 06.12.2026 15:00, ein Balken je Stunde");
    EXPECT_EQ(chart.Readout(1), "Mo 07.12.2026 14:00–15:00 · Regen 0,75 mm");
    EXPECT_EQ(chart.Title("Dach"),
              "Dach (rain-0) · Regen · 24 Stunden, 06.12.2026 15:00 – "
              "07.12.2026 15:03");

    // Without millimetres per step: the counter's steps, a bar per day.
    chart.Choose({SensorKind::Rain, 1, false}, ChartRange::Month, At(kT0), std::nullopt);
    series.bucketMs = kMsPerDay;
    series.points.resize(1);
    series.points[0].time = At(kT0 / kMsPerDay * kMsPerDay - kCet * 1000);
    series.points[0].rainSteps = 7;
    chart.SetSeries(series);
    lines = chart.Lines();
    EXPECT_EQ(lines[0].label, "Regen\n(Zählerschritte)");
    EXPECT_EQ(chart.Summary(), "Summe 7 Schritte seit 07.11.2026, ein Balken je Tag");
    EXPECT_EQ(chart.Readout(0), "Mo 07.12.2026 · Regen 7 Schritte");
}

// A span of one's own: the dates in the heading, hourly rain bars up to 14 days and daily
// ones beyond, and a readout that says where there is no reading instead of reading out the
// nearest one however far away it is.
TEST(ChartModel, AChosenSpanHasItsBucketsAndTheReadoutSaysWhereThereIsNoReading) {
    ChartModel chart = Model();
    const SensorKey gauge{SensorKind::Rain, 0, false};
    const int64_t july = UnixMs(InstantOf({2026, 7, 1, 0, 0, 0, 0, kCet}));
    for (const auto& [days, bucket] :
         {std::pair{10, kMsPerHour}, {14, kMsPerHour}, {15, kMsPerDay}, {400, kMsPerDay}}) {
        chart.ChooseSpan(gauge, At(july), At(july + days * kMsPerDay));
        EXPECT_EQ(chart.RainBucketMs(), bucket) << days;
        EXPECT_EQ(chart.Range(), ChartRange::Chosen);
        EXPECT_FALSE(IsLive(chart.Range()));
    }
    chart.ChooseSpan(kGarden, At(july), At(july + 10 * kMsPerDay));
    EXPECT_EQ(chart.Heading(),
              "01.07.2026 00:00 – 11.07.2026 00:00 · Keine Messungen in diesem "
              "Zeitraum");
    EXPECT_EQ(chart.FileName(), "verlauf_outdoor-1_zeitraum_2026-07-11.png");
    EXPECT_EQ(chart.ReadoutAt(static_cast<double>(july) / 1000),
              "Mi 01.07.2026 00:00 · keine Messung");

    // Readings every three minutes with an hour's silence: over the silence, none.
    chart.Choose(kGarden, ChartRange::Day, At(kT0), std::nullopt);
    for (const int64_t minute : {-120, -117, -114, -111, -30, -27}) {
        ASSERT_TRUE(chart.Add(Outdoor(1, kT0 + minute * kMinute, 100, 70)));
    }
    const auto at = [](int64_t minute) {
        return static_cast<double>(kT0 + minute * kMinute) / 1000;
    };
    EXPECT_EQ(chart.PointAt(at(-116)), 1u);
    EXPECT_EQ(chart.PointAt(at(-70)), std::nullopt);
    EXPECT_EQ(chart.ReadoutAt(at(-70)), "Mo 07.12.2026 13:33 · keine Messung");
    EXPECT_EQ(chart.PointAt(at(-600)), std::nullopt) << "long before the first reading";
    // A year's days: a bucket holds the days it spans, and no more.
    Series year;
    year.quantities = QuantitiesOf(SensorKind::Outdoor);
    year.bucketMs = kMsPerDay;
    SeriesPoint today;
    today.time = BucketStart(kCetZone, At(kT0), kMsPerDay);
    today.count = 1;
    year.points = {today};
    chart.Choose(kGarden, ChartRange::Year, At(kT0), std::nullopt);
    chart.SetSeries(year);
    EXPECT_EQ(chart.PointAt(at(0)), 0u);
    EXPECT_EQ(chart.ReadoutAt(at(-150 * 24 * 60)), "Fr 10.07.2026 · keine Messungen")
        << "July holds no reading of a sensor first heard today";

    // Six hours over the night the clocks go back: the empty bucket is the seven hours from
    // local midnight, as the archive's buckets are.
    const testing::CentralEuropeZone europe;
    ChartModel autumn(europe);
    const Instant midnight = StartOfLocalDay(europe, DayNumberOf(2026, 10, 25));
    autumn.ChooseSpan(kGarden, midnight - Milliseconds(20 * kMsPerDay),
                      midnight + Milliseconds(20 * kMsPerDay));
    Series sixHours;
    sixHours.quantities = QuantitiesOf(SensorKind::Outdoor);
    sixHours.bucketMs = 6 * kMsPerHour;
    SeriesPoint before;
    before.time = midnight - Milliseconds(6 * kMsPerHour);
    before.count = 1;
    sixHours.points = {before};
    autumn.SetSeries(sixHours);
    const auto seconds = [](Instant t) { return static_cast<double>(UnixMs(t)) / 1000; };
    for (const int64_t hours : {1, 3, 6}) {  // 01:00 CEST, 02:00 CET, 05:00 CET
        EXPECT_EQ(autumn.ReadoutAt(seconds(midnight + Milliseconds(hours * kMsPerHour))),
                  "So 25.10.2026 00:00–06:00 · keine Messungen")
            << hours;
    }
    EXPECT_EQ(autumn.ReadoutAt(seconds(midnight + Milliseconds(7 * kMsPerHour))),
              "So 25.10.2026 06:00–12:00 · keine Messungen");
}

// An indoor sensor's pressure at sea level, with the station's height, in a panel of its own.
TEST(ChartModel, TheStationsHeightGivesAPanelOfThePressureAtSeaLevel) {
    WeatherSettings weather;
    weather.station.altitudeMetres = 312;
    ChartModel chart(kCetZone, weather);
    const SensorKey indoor{SensorKind::Indoor, 2, false};
    chart.Choose(indoor, ChartRange::Day, At(kT0), std::nullopt);
    Reading r = Outdoor(2, kT0, 215, 45);
    r.kind = SensorKind::Indoor;
    r.values[2] = {Quantity::Pressure, 976};
    r.valueCount = 3;
    ASSERT_TRUE(chart.Add(r));
    const std::vector<ChartLine> lines = chart.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].name, "Luftdruck auf Meereshöhe");
    EXPECT_NEAR(lines[3].avg[0], SeaLevelPressureTenths(976, 312) / 10.0, 0.05);
    EXPECT_NE(chart.Readout(0).find("Luftdruck auf Meereshöhe 1012,9 hPa"), std::string::npos)
        << chart.Readout(0);
}

TEST(ChartModel, TextsOfAnEmptyRangeAndOfASavedPicture) {
    ChartModel chart = Model();
    chart.Choose(kGarden, ChartRange::Month, At(kT0), At(kT0 - 400 * kMsPerDay),
                 At(kT0 - 10 * kMsPerDay));
    EXPECT_EQ(chart.EmptyText(),
              "Keine Messungen in diesem Zeitraum; zuletzt empfangen am 27.11.2026 um 14:43");
    EXPECT_EQ(chart.Title("Garten"),
              "Garten (outdoor-1) · Temperatur, Feuchte · 30 Tage, 07.11.2026 – 07.12.2026");
    EXPECT_EQ(chart.FileName(), "verlauf_outdoor-1_30-tage_2026-12-07.png");
    chart.Choose(kGarden, ChartRange::Day, At(kT0), std::nullopt);
    EXPECT_EQ(chart.EmptyText(), "Keine Messungen in diesem Zeitraum");
    EXPECT_EQ(chart.Title("Garten"),
              "Garten (outdoor-1) · Temperatur, Feuchte · 24 Stunden, 06.12.2026 14:43 – "
              "07.12.2026 14:43");
    EXPECT_EQ(chart.FileName(), "verlauf_outdoor-1_24-stunden_2026-12-07.png");
}

}  // namespace
}  // namespace tavrolin
