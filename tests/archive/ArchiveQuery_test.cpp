// SPDX-License-Identifier: GPL-3.0-or-later
// What a chart gets of the values readings make together: the wind's mean direction, the
// brightness sensors' value × factor and the rain per hour and day, the same whether a bucket
// is summed from the new readings, from the folded ones' summaries, or from both; and where
// a program's rain totals go on from at its start.
#include "archive/ArchiveQuery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "ArchiveFixtures.h"
#include "FakeClocks.h"
#include "TempDir.h"
#include "archive/ArchiveSchema.h"
#include "weather/RainTally.h"

namespace tavrolin {
namespace {

using testing::CheckFindings;
using testing::kCet;
using testing::kMinute;
using testing::kT0;
using testing::TempDir;

constexpr int64_t kHour = 3600000;

// Readings of one sensor, a minute apart from `t`, each of two values (the third slot 0).
std::vector<Reading> Readings(SensorKind kind, int64_t t,
                              const std::vector<std::pair<int32_t, int32_t>>& values) {
    std::vector<Reading> readings;
    for (const auto& [first, second] : values) {
        Reading r;
        r.time = FromUnixMs(t);
        r.utcOffsetSeconds = 3600;
        r.kind = kind;
        r.interval = Milliseconds(60000);
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
    EXPECT_TRUE(
        QuerySeries(archive, testing::Request({kind, 0, false}, from, from + length, 1), series)
            .Ok());
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

Reading Rain(int64_t t, int32_t counter, uint8_t address = 0) {
    Reading r;
    r.time = FromUnixMs(t);
    r.utcOffsetSeconds = kCet;
    r.kind = SensorKind::Rain;
    r.address = address;
    r.interval = Milliseconds(45000);
    r.values[r.valueCount++] = {Quantity::RainCounter, counter};
    return r;
}

// The rain per hour of each case as QueryRain gives it: from the summaries and the new
// readings before the second batch is folded, and from the summaries alone after it.
TEST(ArchiveQuery, RainPerBucketCountsEachReadingFromTheOneBeforeItWhereverThatIs) {
    struct Counter {
        int minute;  // after the first hour
        int32_t value;
        int batch;  // batch 0 is written and folded first, then batch 1 is written
    };
    struct Case {
        const char* what;
        std::vector<Counter> readings;
        std::map<int, int64_t> hours;  // hour after the first -> steps
    };
    const std::vector<Case> cases = {
        {"from the reading before, in the hour before",
         {{50, 10, 0}, {59, 12, 0}, {65, 15, 0}},
         {{0, 2}, {1, 3}}},
        {"the first reading is the base", {{10, 400, 0}}, {{0, 0}}},
        {"running over", {{10, 8190, 0}, {20, -8191, 0}, {70, -8190, 0}}, {{0, 3}, {1, 1}}},
        {"a battery change counts from 0", {{10, 500, 0}, {20, 3, 0}, {30, 7, 0}}, {{0, 7}}},
        {"new readings after folded ones",
         {{10, 10, 0}, {55, 14, 0}, {62, 20, 1}, {130, 21, 1}},
         {{0, 4}, {1, 6}, {2, 1}}},
        {"the past imported after the present: the present's first reading counts anew",
         {{60, 20, 0}, {70, 25, 0}, {30, 10, 1}, {40, 18, 1}},
         {{0, 8}, {1, 7}}},
        {"a reading between two folded ones",
         {{50, 10, 0}, {130, 30, 0}, {90, 25, 1}},
         {{0, 0}, {1, 15}, {2, 5}}},
        {"past and present on both sides of folded ones",
         {{65, 100, 0}, {75, 104, 0}, {5, 90, 1}, {70, 101, 1}, {140, 110, 1}},
         {{0, 0}, {1, 14}, {2, 6}}},
    };
    constexpr int64_t hour0 = kT0 / kHour * kHour;
    const auto hoursOf = [](const Series& series) {
        std::map<int, int64_t> hours;
        for (const SeriesPoint& p : series.points) {
            hours[static_cast<int>((UnixMs(p.time) - hour0) / kHour)] = p.rainSteps;
        }
        return hours;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Archive archive;
        ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 100).Ok());
        for (const int batch : {0, 1}) {
            std::vector<Reading> readings;
            for (const Counter& r : c.readings) {
                if (r.batch == batch) {
                    readings.push_back(Rain(hour0 + r.minute * kMinute, r.value));
                }
            }
            ASSERT_TRUE(archive.Write(readings).Ok());
            if (batch == 0) {
                Fold(archive);
            }
        }
        const FixedOffsetZone cet(kCet);
        const SeriesRequest request =
            testing::Request({SensorKind::Rain, 0, false}, hour0, hour0 + 3 * kHour, 0, cet);
        std::vector<Series> answers(3);
        ASSERT_TRUE(QueryRain(archive, request, kHour, answers[0]).Ok());
        Fold(archive);
        ASSERT_TRUE(QueryRain(archive, request, kHour, answers[1]).Ok());
        ASSERT_TRUE(QueryRain(archive, request, kMsPerDay, answers[2]).Ok());
        EXPECT_EQ(hoursOf(answers[0]), c.hours) << "summaries and new readings";
        EXPECT_EQ(hoursOf(answers[1]), c.hours) << "summaries";
        int64_t day = 0;
        for (const auto& [hour, steps] : c.hours) {
            day += steps;
        }
        ASSERT_EQ(answers[2].points.size(), 1u);
        EXPECT_EQ(answers[2].points[0].rainSteps, day);
        EXPECT_EQ(answers[2].points[0].count, static_cast<int64_t>(c.readings.size()));
        EXPECT_EQ(CheckFindings(archive), "") << "the folded sums are the ones the check computes";
    }
}

// A tally resumed from the archive at a program's start says of the next reading what one
// that had counted every reading from the first would say: total, day and hour.
TEST(ArchiveQuery, ARainTallyResumedFromTheArchiveGoesOnAsIfItHadCountedEveryReading) {
    RainSettings settings;
    settings.mmPerStep[3] = Decimal{25, 2};
    std::mt19937 random(22);
    TempDir dir;
    Archive archive;
    ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 100).Ok());
    RainTally everything(settings);
    // Three days of two sensors every 45 s, with a battery change and a run over: those up to
    // ten hours ago folded (the last day's midnight among them), the rest among the new
    // readings, written a few at a time.
    std::vector<Reading> readings;
    std::array<int32_t, 2> counters{8000, -20};
    int64_t t = kT0 - 3 * kMsPerDay;
    for (int i = 0; t < kT0; ++i, t += 45000) {
        const std::size_t s = static_cast<std::size_t>(i % 2);
        int32_t& counter = counters[s];
        counter = i == 3001 ? 2 : counter + static_cast<int32_t>(random() % 3);
        if (counter > 8191) {
            counter -= 16384;
        }
        readings.push_back(Rain(t, counter, static_cast<uint8_t>(3 + s)));
        everything.Count(readings.back());
    }
    const auto recent = std::find_if(readings.begin(), readings.end(), [](const Reading& r) {
        return r.time >= FromUnixMs(kT0 - 10 * kHour);
    });
    ASSERT_TRUE(archive.Write(std::span(readings.begin(), recent)).Ok());
    Fold(archive);
    for (auto from = recent; from != readings.end();) {
        const auto to = readings.end() - from > 100 ? from + 100 : readings.end();
        ASSERT_TRUE(archive.Write(std::span(from, to)).Ok());
        from = to;
    }
    sql::Statement unfolded = archive.Db().Prepare("SELECT count(*) FROM recent");
    ASSERT_EQ(unfolded.Step(), sql::kRow);
    EXPECT_EQ(unfolded.Int(0), readings.end() - recent);

    std::vector<RainResume> resumes;
    ASSERT_TRUE(QueryRainResume(archive, resumes).Ok());
    ASSERT_EQ(resumes.size(), 2u);
    RainTally resumed(settings);
    for (const RainResume& resume : resumes) {
        EXPECT_LT(resume.readings.size(), 2u * 1920u + 200u) << "a day and an hour, not all";
        // As a program goes on from it (SeedFromArchive).
        resumed.Resume(resume.address, resume.stepsBefore);
        for (const Reading& reading : resume.readings) {
            resumed.Count(reading);
        }
    }
    for (const int32_t next : {counters[0] + 3, counters[1] + 1}) {
        const uint8_t address = next == counters[0] + 3 ? 3 : 4;
        const Reading reading = Rain(t + 30000, next, address);
        const std::optional<RainAmounts> want = everything.Count(reading);
        const std::optional<RainAmounts> got = resumed.Count(reading);
        ASSERT_TRUE(want && got);
        EXPECT_EQ(got->steps, want->steps);
        EXPECT_EQ(got->todaySteps, want->todaySteps);
        EXPECT_EQ(got->hourSteps, want->hourSteps);
        EXPECT_EQ(got->mm, want->mm);
        EXPECT_GT(want->todaySteps, want->hourSteps);
    }
}

// Both days the clocks change: every bucket length tiles the day, and a chart's buckets, from
// the hourly summaries and from the new readings alike, hold exactly the readings whose
// BucketStart is theirs, also the six hours of the autumn night that last seven.
TEST(ArchiveQuery, BucketsFollowOneRuleAcrossTheClockChanges) {
    const testing::CentralEuropeZone zone;
    struct Case {
        int64_t bucketMs;
        int maxPoints;
    };
    const Case cases[] = {{10 * kMinute, 150}, {kHour, 25}, {2 * kHour, 13}, {6 * kHour, 5}};
    for (const int64_t day : {DayNumberOf(2026, 3, 29), DayNumberOf(2026, 10, 25)}) {
        const Instant start = StartOfLocalDay(zone, day);
        const Instant end = StartOfLocalDay(zone, day + 1);
        const int64_t hours = (end - start).count() / kHour;
        EXPECT_EQ(hours, day == DayNumberOf(2026, 3, 29) ? 23 : 25);
        TempDir dir;
        Archive archive;
        ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 100).Ok());
        std::vector<Reading> readings;
        for (Instant t = start; t < end; t += Milliseconds(5 * kMinute)) {
            readings.push_back(testing::Outdoor(
                1, UnixMs(t), static_cast<int32_t>(readings.size() % 97), 60, zone.UtcOffsetAt(t)));
        }
        // The night in the summaries, the day's rest new.
        const std::size_t night = readings.size() / 3;
        ASSERT_TRUE(archive.Write(std::span(readings).first(night)).Ok());
        Fold(archive);
        ASSERT_TRUE(archive.Write(std::span(readings).subspan(night)).Ok());
        for (const auto& [bucketMs, maxPoints] : cases) {
            SCOPED_TRACE(bucketMs / kMinute);
            int buckets = 0;
            for (Instant b = start; b < end; b = BucketEnd(zone, b, bucketMs), ++buckets) {
                ASSERT_EQ(BucketStart(zone, b, bucketMs), b);
                ASSERT_EQ(
                    BucketStart(zone, BucketEnd(zone, b, bucketMs) - Milliseconds(1), bucketMs), b);
            }
            EXPECT_EQ(buckets * bucketMs / kHour, bucketMs <= kHour ? hours : 24);
            std::map<Instant, int64_t> expected;
            for (const Reading& r : readings) {
                ++expected[BucketStart(zone, r.time, bucketMs)];
            }
            Series series;
            ASSERT_TRUE(QuerySeries(archive,
                                    testing::Request(testing::kGarden, UnixMs(start), UnixMs(end),
                                                     maxPoints, zone),
                                    series)
                            .Ok());
            ASSERT_EQ(series.bucketMs, bucketMs);
            std::map<Instant, int64_t> got;
            for (const SeriesPoint& p : series.points) {
                got[p.time] = p.count;
            }
            EXPECT_EQ(got, expected);
        }
        EXPECT_EQ(BucketEnd(zone, start, 6 * kHour) - start, Milliseconds((hours - 18) * kHour));
    }
}

}  // namespace
}  // namespace tavrolin
