// SPDX-License-Identifier: GPL-3.0-or-later
// "Jetzt und heute" against what the generated readings give when summed by hand: today's
// low and high with their instants, the rain of the last hour, today, yesterday, the month
// and the year, and the pressure's tendency, with the newest readings not yet in the archive.
#include "history/Today.h"

#include <gtest/gtest.h>

#include <random>

#include "FakeClocks.h"
#include "TempDir.h"
#include "weather/RainTally.h"

namespace tavrolin {
namespace {

constexpr SensorKey kOutdoor{SensorKind::Outdoor, 1, false};
constexpr SensorKey kGauge{SensorKind::Rain, 0, false};
constexpr SensorKey kIndoor{SensorKind::Indoor, 2, false};
constexpr Milliseconds kPeriod{5 * kMsPerMinute};
const testing::CentralEuropeZone kZone;

TEST(Today, TheTendencyIsNamedByTheBandOfItsTenths) {
    const std::pair<double, std::string_view> cases[] = {
        {0.0, "gleichbleibend"},
        {-0.04, "gleichbleibend"},
        {0.1, "leicht steigend"},
        {-1.5, "leicht fallend"},
        {1013.6 - 1012.1, "leicht steigend"},  // 1.4999...: shown as 1,5
        {1.6, "deutlich steigend"},
        {-3.5, "deutlich fallend"},
        {3.6, "stark steigend"},
        {-6.0, "stark fallend"},
        {6.1, "sehr stark steigend"},
        {-12.0, "sehr stark fallend"},
    };
    for (const auto& [change, words] : cases) {
        EXPECT_EQ(TendencyWords(change), words) << change;
    }
}

Reading At(const SensorKey& key, Instant t) {
    Reading r;
    r.time = t;
    r.utcOffsetSeconds = kZone.UtcOffsetAt(t);
    r.kind = key.kind;
    r.address = key.address;
    r.interval = kPeriod;
    return r;
}

// Ten days of an outdoor sensor, a rain gauge (whose counter runs over) and an indoor
// sensor's pressure, every five minutes up to `now`, with a few lost.
std::vector<Reading> Generate(Instant now) {
    std::mt19937 random(6);
    std::vector<Reading> out;
    int32_t tenths = 35, counter = 8150, pressure = 1000;
    for (Instant t = now - Milliseconds(10 * kMsPerDay); t < now; t += kPeriod) {
        // Rising by 2 hPa in three hours, a hectopascal every 90 minutes.
        if ((now - t).count() / kMsPerMinute % 90 == 0) {
            ++pressure;
        }
        if (random() % 40 == 0) {
            continue;
        }
        tenths += static_cast<int32_t>(random() % 7) - 3;
        Reading o = At(kOutdoor, t);
        o.values[o.valueCount++] = {Quantity::Temperature, tenths};
        o.values[o.valueCount++] = {Quantity::Humidity, 60 + static_cast<int32_t>(random() % 30)};
        out.push_back(o);
        counter += static_cast<int32_t>(random() % 3);
        counter = counter > 8191 ? counter - 16384 : counter;
        Reading g = At(kGauge, t + Milliseconds(20000));
        g.values[g.valueCount++] = {Quantity::RainCounter, counter};
        out.push_back(g);
        Reading p = At(kIndoor, t + Milliseconds(40000));
        p.values[p.valueCount++] = {Quantity::Temperature, 215};
        p.values[p.valueCount++] = {Quantity::Humidity, 45};
        p.values[p.valueCount++] = {Quantity::Pressure, pressure};
        out.push_back(p);
    }
    return out;
}

TEST(Today, FiguresAreThoseOfTheReadingsWithTheUncommittedOnesFoldedIn) {
    // In March with the month's first day yesterday; and just after New Year, when yesterday
    // was last year's.
    for (const Instant now :
         {InstantIn(kZone, {2026, 3, 2, 14, 20}), InstantIn(kZone, {2027, 1, 1, 0, 50})}) {
        std::vector<Reading> readings = Generate(now);
        // The newest, among them today's new high, have not been committed yet.
        const std::size_t committed = readings.size() - 6;
        readings[readings.size() - 3].values[0].raw = 400;  // the outdoor sensor's last
        testing::TempDir dir;
        Archive archive;
        ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 100).Ok());
        ASSERT_TRUE(archive.Write(std::span(readings).first(committed)).Ok());

        TodayRequest request;
        request.zone = &kZone;
        request.weather.rain.mmPerStep[0] = Decimal{25, 2};
        request.now = now;
        request.uncommitted.assign(readings.begin() + committed, readings.end());
        request.roles = {kOutdoor, std::nullopt, kGauge, kIndoor};
        for (const SensorKey& key : {kOutdoor, kGauge, kIndoor}) {
            const auto last = std::find_if(readings.rbegin(), readings.rend(),
                                           [&](const Reading& r) { return r.Key() == key; });
            request.sensors.push_back({key, *last, kPeriod});
        }
        TodayReport report;
        ASSERT_TRUE(ComputeToday(archive, request, report).Ok());

        // By hand: the first lowest and highest of today, the steps each reading brought.
        const int64_t today = LocalDayIn(kZone, now);
        const LocalTime date = LocalTimeIn(kZone, now);
        const int64_t monthFirst = DayNumberOf(date.year, date.month, 1);
        const int64_t yearFirst = DayNumberOf(date.year, 1, 1);
        std::optional<Extreme> low, high;
        int64_t hour = 0, ofToday = 0, yesterday = 0, month = 0, year = 0;
        std::optional<int> counter;
        for (const Reading& r : readings) {
            const int64_t day = LocalDayIn(kZone, r.time);
            if (r.Key() == kOutdoor && day == today) {
                const double v = r.values[0].raw / 10.0;
                low = !low || v < low->value ? Extreme{v, r.time, r.utcOffsetSeconds} : low;
                high = !high || v > high->value ? Extreme{v, r.time, r.utcOffsetSeconds} : high;
            }
            if (r.Key() == kGauge) {
                const int64_t steps = counter ? RainStepsBetween(*counter, r.values[0].raw) : 0;
                counter = r.values[0].raw;
                hour += r.time >= now - Milliseconds(kMsPerHour) ? steps : 0;
                ofToday += day == today ? steps : 0;
                yesterday += day == today - 1 ? steps : 0;
                month += day >= monthFirst ? steps : 0;
                year += day >= yearFirst ? steps : 0;
            }
        }
        const TodayReport::Sensor* outdoor = report.Of(kOutdoor);
        ASSERT_NE(outdoor, nullptr);
        const std::optional<Figures>& t = outdoor->day.figures[0];
        ASSERT_TRUE(t && t->min && t->max);
        ASSERT_TRUE(low && high);
        EXPECT_DOUBLE_EQ(t->min->value, low->value);
        EXPECT_EQ(t->min->at, low->at);
        EXPECT_DOUBLE_EQ(t->max->value, high->value);
        EXPECT_EQ(t->max->at, high->at);
        EXPECT_EQ(t->max->utcOffsetSeconds, high->utcOffsetSeconds);

        ASSERT_TRUE(report.rain && report.rain->inMm);
        const auto mm = [](int64_t steps) { return static_cast<double>(steps) * 0.25; };
        EXPECT_DOUBLE_EQ(report.rain->lastHour.value_or(-1), mm(hour));
        EXPECT_DOUBLE_EQ(report.rain->today.value_or(-1), mm(ofToday));
        EXPECT_DOUBLE_EQ(report.rain->yesterday.value_or(-1), mm(yesterday));
        EXPECT_DOUBLE_EQ(report.rain->month.value_or(-1), mm(month));
        EXPECT_DOUBLE_EQ(report.rain->year.value_or(-1), mm(year));
        EXPECT_GT(year, 0);

        ASSERT_TRUE(report.tendency);
        EXPECT_DOUBLE_EQ(report.tendency->change, 2.0);
        EXPECT_EQ(report.tendency->words, "deutlich steigend");
        EXPECT_LE(report.tendency->beforeAt, report.tendency->at - Milliseconds(3 * kMsPerHour));
        EXPECT_GT(report.tendency->beforeAt,
                  report.tendency->at - Milliseconds(3 * kMsPerHour) - kPeriod * 2);
    }
}

}  // namespace
}  // namespace tavrolin
