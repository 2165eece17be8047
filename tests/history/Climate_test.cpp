// SPDX-License-Identifier: GPL-3.0-or-later
// The reports and records against what a script makes of the export: a generated year of an
// outdoor sensor and a rain gauge in Central European time, with gaps, both clock changes, a
// counter run-over and a new battery.
#include "history/Climate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "FakeClocks.h"
#include "TempDir.h"
#include "archive/ArchiveQuery.h"
#include "archive/ReadingImport.h"
#include "history/Export.h"
#include "weather/RainTally.h"
#include "weather/WeatherFormulas.h"

namespace tavrolin {
namespace {

constexpr SensorKey kOutdoor{SensorKind::Outdoor, 1, false};
constexpr SensorKey kGauge{SensorKind::Rain, 0, false};
constexpr int64_t kPeriodMs = 10 * kMsPerMinute;
constexpr int kYear = 2026;

const testing::CentralEuropeZone kZone;

WeatherSettings Weather() {
    WeatherSettings w;
    w.rain.mmPerStep[0] = Decimal{25, 2};
    return w;
}

// The generated year, and the day whose readings come later, as an import of the past.
struct Station {
    std::vector<Reading> readings;
    std::vector<Reading> later;
};

Station Generate() {
    Station s;
    std::mt19937 random(34);
    const Instant begin = StartOfLocalDay(kZone, DayNumberOf(kYear, 1, 1));
    const Instant end = StartOfLocalDay(kZone, DayNumberOf(kYear + 1, 1, 1));
    // Silent: half a day in March, five hours on 25 October (the 25-hour day), a whole day in
    // July; and 12 July comes later.
    const std::vector<std::pair<Instant, Instant>> silent = {
        {InstantIn(kZone, {kYear, 3, 10, 9, 0}), InstantIn(kZone, {kYear, 3, 10, 21, 0})},
        {InstantIn(kZone, {kYear, 10, 25, 1, 0}), InstantIn(kZone, {kYear, 10, 25, 6, 0})},
        {InstantIn(kZone, {kYear, 7, 20, 0, 0}), InstantIn(kZone, {kYear, 7, 21, 0, 0})},
    };
    const Instant laterFrom = StartOfLocalDay(kZone, DayNumberOf(kYear, 7, 12));
    const Instant laterTo = StartOfLocalDay(kZone, DayNumberOf(kYear, 7, 13));
    std::map<int, Instant> previous;
    int counter = 8000;  // runs over in January
    const Instant battery = InstantIn(kZone, {kYear, 9, 3, 12, 0});
    bool changed = false;
    for (Instant t = begin; t < end; t += Milliseconds(kPeriodMs)) {
        for (const SensorKey key : {kOutdoor, kGauge}) {
            const Instant at = t + Milliseconds(key.kind == SensorKind::Rain ? 7000 : 0) +
                               Milliseconds(random() % 3000);
            bool gap = random() % 50 == 0;  // a lost telegram now and then
            for (const auto& [from, to] : silent) {
                gap = gap || (at >= from && at < to);
            }
            if (gap) {
                continue;
            }
            const double days = static_cast<double>((at - begin).count()) / kMsPerDay;
            Reading r;
            r.time = at;
            r.utcOffsetSeconds = kZone.UtcOffsetAt(at);
            r.kind = key.kind;
            r.address = key.address;
            const int id = IndexOf(key);
            r.interval = previous.contains(id) ? at - previous[id] : Milliseconds(kPeriodMs);
            previous[id] = at;
            if (key.kind == SensorKind::Outdoor) {
                const double temperature = 9 - 16 * std::cos(days / 365 * 2 * M_PI) -
                                           6 * std::cos((days - std::floor(days)) * 2 * M_PI) +
                                           static_cast<int>(random() % 40) * 0.1;
                r.values[r.valueCount++] = {Quantity::Temperature,
                                            static_cast<int32_t>(std::lround(temperature * 10))};
                r.values[r.valueCount++] = {Quantity::Humidity,
                                            static_cast<int32_t>(40 + random() % 61)};
            } else {
                if (!changed && at >= battery) {
                    counter = 0;  // a new battery
                    changed = true;
                } else if (random() % 5 == 0) {
                    counter += static_cast<int>(random() % 4);
                    counter = counter > 8191 ? counter - 16384 : counter;
                }
                r.values[r.valueCount++] = {Quantity::RainCounter, counter};
            }
            (at >= laterFrom && at < laterTo ? s.later : s.readings).push_back(r);
        }
    }
    return s;
}

// ---- What a script computes from the export --------------------------------------------

struct Read {
    Instant t;
    int offset;
    int64_t interval;
    std::array<int32_t, 2> v;
    int64_t steps = 0;
};

std::vector<Read> Exported(Archive& archive, const SensorKey& key) {
    std::string text;
    EXPECT_TRUE(ExportReadings(archive, key, Instant::min(), Instant::max(), Weather(),
                               ExportFormat::Json, [&](std::string_view piece) { text += piece; })
                    .Ok());
    std::vector<Read> out;
    std::optional<int> counter;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const ImportedReading parsed = ParseReadingJson(text.substr(at, end - at));
        EXPECT_TRUE(parsed.reading) << parsed.error;
        const Reading& r = *parsed.reading;
        Read x{r.time, r.utcOffsetSeconds, r.interval->count(), {r.values[0].raw, r.values[1].raw}};
        if (key.kind == SensorKind::Rain) {
            x.steps = counter ? RainStepsBetween(*counter, r.values[0].raw) : 0;
            counter = r.values[0].raw;
        }
        out.push_back(x);
    }
    return out;
}

struct Expected {
    bool any = false, complete = false;
    std::array<std::optional<double>, 3> mean;  // temperature, humidity, dew point
    std::array<double, 2> min{}, max{};
    std::array<Instant, 2> minAt{}, maxAt{};
    std::optional<double> night;
    int64_t steps = 0;
    bool rain = false;
};

double Mean(const std::vector<double>& v) {
    double s = 0;
    for (const double x : v) {
        s += x;
    }
    return s / static_cast<double>(v.size());
}

Expected Day(const std::vector<Read>& all, int64_t day, bool outdoor) {
    Expected e;
    const Instant start = StartOfLocalDay(kZone, day);
    const Instant end = StartOfLocalDay(kZone, day + 1);
    std::map<int64_t, std::vector<const Read*>> hours;
    std::map<int64_t, int32_t> nightMins;
    for (const Read& r : all) {
        const int64_t utcHour = UtcHourOf(r.t);
        if (outdoor && utcHour >= day * 24 + 18 && utcHour < day * 24 + 30) {
            nightMins[utcHour] =
                nightMins.contains(utcHour) ? std::min(nightMins[utcHour], r.v[0]) : r.v[0];
        }
        if (LocalDayIn(kZone, r.t) != day) {
            continue;
        }
        hours[utcHour].push_back(&r);
        e.steps += r.steps;
        e.rain = true;
        for (std::size_t q = 0; q < 2 && outdoor; ++q) {
            const double v = r.v[q] * (q == 0 ? 0.1 : 1.0);
            if (!e.any || v < e.min[q]) {
                e.min[q] = v;
                e.minAt[q] = r.t;
            }
            if (!e.any || v > e.max[q]) {
                e.max[q] = v;
                e.maxAt[q] = r.t;
            }
        }
        e.any = true;
    }
    if (!e.any) {
        return e;
    }
    const int64_t expected = (end - start).count() / kMsPerHour;
    if (outdoor) {
        std::array<std::vector<double>, 3> means;
        std::vector<double> main;
        for (const auto& [hour, rs] : hours) {
            double t = 0, h = 0;
            for (const Read* r : rs) {
                t += r->v[0];
                h += r->v[1];
            }
            t /= static_cast<double>(rs.size());
            h /= static_cast<double>(rs.size());
            means[0].push_back(t / 10);
            means[1].push_back(h);
            means[2].push_back(*DewPointTenths(static_cast<int32_t>(std::lround(t)),
                                               static_cast<int>(std::lround(h))) /
                               10.0);
            if (hour % 6 == 0) {
                main.push_back(t / 10);
            }
        }
        const bool enough = expected - static_cast<int64_t>(hours.size()) <= 3;
        for (std::size_t q = 0; q < 3; ++q) {
            if (enough) {
                e.mean[q] = Mean(means[q]);
            }
        }
        if (!enough && main.size() == 4) {
            e.mean[0] = Mean(main);
        }
        if (nightMins.size() >= 9) {
            int32_t low = INT32_MAX;
            for (const auto& [hour, v] : nightMins) {
                low = std::min(low, v);
            }
            e.night = low * 0.1;
        }
    }
    const Milliseconds slack(3 * kPeriodMs);
    e.complete = all.front().t <= start + slack && all.back().t >= end - slack;
    for (const Read& r : all) {
        const Instant from = r.t - Milliseconds(r.interval);
        if (r.interval > 3 * kPeriodMs && r.t > start && from < end) {
            e.complete = false;
        }
    }
    return e;
}

// The period's figures against those of the days.
struct Summed {
    std::optional<double> mean;
    std::optional<double> min, max;
    int frost = 0, ice = 0, summer = 0, hot = 0, tropical = 0, heating = 0, rain01 = 0, rain1 = 0;
    double g = 0, hdd = 0;
    int64_t steps = 0;
    bool complete = true;
};

Summed Month(const std::vector<Expected>& days) {
    Summed s;
    std::vector<double> means;
    int missing = 0, run = 0, longest = 0;
    for (const Expected& d : days) {
        s.complete = s.complete && d.complete;
        s.steps += d.steps;
        if (d.mean[0]) {
            means.push_back(*d.mean[0]);
            run = 0;
        } else {
            ++missing;
            longest = std::max(longest, ++run);
        }
        if (!d.any) {
            continue;
        }
        s.min = s.min ? std::min(*s.min, d.min[0]) : d.min[0];
        s.max = s.max ? std::max(*s.max, d.max[0]) : d.max[0];
        s.frost += d.min[0] < 0;
        s.ice += d.max[0] < 0;
        s.summer += d.max[0] >= 25;
        s.hot += d.max[0] >= 30;
        s.tropical += d.night && *d.night >= 20;
        if (d.mean[0] && *d.mean[0] < 15) {
            ++s.heating;
            s.g += 20 - *d.mean[0];
            s.hdd += 15 - *d.mean[0];
        }
        s.rain01 += d.rain && d.steps * 0.25 >= 0.1;
        s.rain1 += d.rain && d.steps * 0.25 >= 1;
    }
    if (missing <= 5 && longest <= 3 && !means.empty()) {
        s.mean = Mean(means);
    }
    return s;
}

void ExpectNear(const std::optional<double>& got, const std::optional<double>& want,
                const std::string& what) {
    ASSERT_EQ(got.has_value(), want.has_value()) << what;
    if (got) {
        EXPECT_NEAR(*got, *want, 1e-9) << what;
    }
}

// Every day of the month, and the month's figures, as the script has them.
void CheckMonth(Archive& archive, int month, const std::vector<Read>& outdoor,
                const std::vector<Read>& gauge) {
    SCOPED_TRACE("month " + std::to_string(month));
    ClimateRequest request{kOutdoor,      kYear, month, &kZone, Weather(), Milliseconds(kPeriodMs),
                           Instant::max()};
    ClimateReport t, r;
    ASSERT_TRUE(ComputeClimateReport(archive, request, t).Ok());
    request.sensor = kGauge;
    ASSERT_TRUE(ComputeClimateReport(archive, request, r).Ok());
    std::vector<Expected> days, rain;
    for (std::size_t i = 0; i < t.days.size(); ++i) {
        const int64_t day = t.days[i].firstDay;
        const std::string what = "day " + std::to_string(day);
        days.push_back(Day(outdoor, day, true));
        rain.push_back(Day(gauge, day, false));
        const Expected& e = days.back();
        const ClimatePeriod& p = t.days[i];
        EXPECT_EQ(p.complete, e.complete) << what;
        EXPECT_EQ(r.days[i].complete, rain.back().complete) << what;
        ASSERT_EQ(p.daysWithReadings == 1, e.any) << what;
        ExpectNear(r.days[i].rainMm,
                   rain.back().rain ? std::optional(rain.back().steps * 0.25) : std::nullopt,
                   what + " rain");
        ExpectNear(p.nightMin, e.night, what + " night");
        if (!e.any) {
            EXPECT_FALSE(p.figures[0]) << what;
            continue;
        }
        for (const auto& [q, i2] : {std::pair{ClimateQuantity::Temperature, 0},
                                    std::pair{ClimateQuantity::Humidity, 1}}) {
            const Figures& f = *p.figures[static_cast<std::size_t>(q)];
            EXPECT_NEAR(f.min->value, e.min[i2], 1e-9) << what;
            EXPECT_NEAR(f.max->value, e.max[i2], 1e-9) << what;
            EXPECT_EQ(f.min->at, e.minAt[i2]) << what;
            EXPECT_EQ(f.max->at, e.maxAt[i2]) << what;
            EXPECT_EQ(f.max->utcOffsetSeconds, kZone.UtcOffsetAt(e.maxAt[i2])) << what;
            ExpectNear(f.mean, e.mean[i2], what + " mean");
        }
        ExpectNear(p.figures[static_cast<std::size_t>(ClimateQuantity::DewPoint)]->mean, e.mean[2],
                   what + " dew point");
    }
    const Summed s = Month(days);
    const ClimatePeriod& m = t.total;
    ExpectNear(m.figures[0]->mean, s.mean, "month mean");
    EXPECT_NEAR(m.figures[0]->min->value, *s.min, 1e-9);
    EXPECT_NEAR(m.figures[0]->max->value, *s.max, 1e-9);
    EXPECT_EQ(m.complete, s.complete);
    const ClimateCounts& c = *m.counts;
    EXPECT_EQ(std::vector({c.frostDays, c.iceDays, c.summerDays, c.hotDays, c.tropicalNights,
                           c.heatingDays}),
              std::vector({s.frost, s.ice, s.summer, s.hot, s.tropical, s.heating}));
    EXPECT_NEAR(c.g2015, s.g, 1e-6);
    EXPECT_NEAR(c.heatingDegreeDays, s.hdd, 1e-6);
    const Summed wet = Month(rain);
    EXPECT_NEAR(*r.total.rainMm, wet.steps * 0.25, 1e-9);
    EXPECT_EQ(*r.total.counts->rainDays01, wet.rain01);
    EXPECT_EQ(*r.total.counts->rainDays1, wet.rain1);
}

TEST(Climate, MonthsAndTheYearAreWhatTheExportGivesAndAnImportOfThePastChangesThem) {
    const Station station = Generate();
    testing::TempDir dir;
    Archive archive;
    ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 100).Ok());
    for (std::size_t i = 0; i < station.readings.size(); i += 5000) {
        const std::size_t n = std::min<std::size_t>(5000, station.readings.size() - i);
        ASSERT_TRUE(archive.Write(std::span(station.readings).subspan(i, n)).Ok());
    }
    const std::vector<Read> outdoor = Exported(archive, kOutdoor);
    const std::vector<Read> gauge = Exported(archive, kGauge);
    // March and October: the clock changes, and gaps; January: frost; July: summer, the
    // silent day and the one that comes later; September: the new battery.
    for (const int month : {1, 3, 7, 9, 10}) {
        CheckMonth(archive, month, outdoor, gauge);
    }

    // The year: its months' figures, as the months' reports have them.
    ClimateRequest request{kOutdoor,      kYear, 0, &kZone, Weather(), Milliseconds(kPeriodMs),
                           Instant::max()};
    ClimateReport year;
    ASSERT_TRUE(ComputeClimateReport(archive, request, year).Ok());
    ASSERT_EQ(year.months.size(), 12u);
    std::optional<double> low;
    int frost = 0;
    for (int month = 1; month <= 12; ++month) {
        ClimateReport m;
        request.month = month;
        ASSERT_TRUE(ComputeClimateReport(archive, request, m).Ok());
        const ClimatePeriod& a = year.months[static_cast<std::size_t>(month - 1)];
        ExpectNear(a.figures[0]->mean, m.total.figures[0]->mean, "month " + std::to_string(month));
        EXPECT_EQ(a.figures[0]->min->at, m.total.figures[0]->min->at);
        EXPECT_EQ(a.counts->frostDays, m.total.counts->frostDays);
        low = low ? std::min(*low, a.figures[0]->min->value) : a.figures[0]->min->value;
        frost += a.counts->frostDays;
    }
    EXPECT_NEAR(year.total.figures[0]->min->value, *low, 1e-9);
    EXPECT_EQ(year.total.counts->frostDays, frost);
    EXPECT_GT(frost, 0);
    EXPECT_GT(year.total.counts->summerDays, 0);
    std::vector<double> means;
    for (const ClimatePeriod& m : year.months) {
        means.push_back(*m.figures[0]->mean);
    }
    ExpectNear(year.total.figures[0]->mean, Mean(means), "the year's mean");
    EXPECT_FALSE(year.total.complete);

    // Records: the year's highest is the highest of the export, at its instant.
    std::vector<ClimateRecord> records;
    ASSERT_TRUE(ComputeClimateRecords(archive, kOutdoor, kZone, Weather(), records).Ok());
    const Read* hottest = &outdoor.front();
    for (const Read& r : outdoor) {
        hottest = r.v[0] > hottest->v[0] ? &r : hottest;
    }
    bool found = false;
    for (const ClimateRecord& r : records) {
        if (r.record == "highest" && r.quantity == "temperature" && r.scope == "2026") {
            found = true;
            EXPECT_NEAR(r.value, hottest->v[0] * 0.1, 1e-9);
            EXPECT_EQ(r.at, hottest->t);
        }
    }
    EXPECT_TRUE(found);
    // The warmest night of July, and the gauge's wettest day and hour of all, by the script.
    std::map<int64_t, int32_t> dayMins;
    std::map<int64_t, int64_t> daySteps, hourSteps;
    for (const Read& r : outdoor) {
        const int64_t day = LocalDayIn(kZone, r.t);
        dayMins[day] = dayMins.contains(day) ? std::min(dayMins[day], r.v[0]) : r.v[0];
    }
    for (const Read& r : gauge) {
        daySteps[LocalDayIn(kZone, r.t)] += r.steps;
        hourSteps[UtcHourOf(r.t)] += r.steps;
    }
    const auto best = [](const std::map<int64_t, int64_t>& of) {
        auto top = of.begin();
        for (auto it = of.begin(); it != of.end(); ++it) {
            top = it->second > top->second ? it : top;
        }
        return *top;
    };
    int32_t warmest = INT32_MIN;
    for (const auto& [day, low] : dayMins) {
        const LocalTime date = LocalTimeAt(FromUnixMs(day * kMsPerDay), 0);
        warmest = date.month == 7 ? std::max(warmest, low) : warmest;
    }
    std::vector<ClimateRecord> wet;
    ASSERT_TRUE(ComputeClimateRecords(archive, kGauge, kZone, Weather(), wet).Ok());
    const auto record = [](const std::vector<ClimateRecord>& of, const std::string& name,
                           const std::string& scope) {
        for (const ClimateRecord& r : of) {
            if (r.record == name && r.scope == scope) {
                return std::optional(r);
            }
        }
        return std::optional<ClimateRecord>();
    };
    ASSERT_TRUE(record(records, "highestDailyMin", "2026-07"));
    EXPECT_NEAR(record(records, "highestDailyMin", "2026-07")->value, warmest * 0.1, 1e-9);
    const auto [wettestDay, dayMost] = best(daySteps);
    ASSERT_TRUE(record(wet, "wettestDay", "all"));
    EXPECT_NEAR(record(wet, "wettestDay", "all")->value, dayMost * 0.25, 1e-9);
    EXPECT_EQ(record(wet, "wettestDay", "all")->at, StartOfLocalDay(kZone, wettestDay));
    // The wettest hour of every scope: the most steps of the hours of its local days, the
    // earliest of equal ones.
    std::map<std::string, std::pair<int64_t, int64_t>> wettestHours;  // steps, hour
    for (const auto& [hour, steps] : hourSteps) {
        const LocalTime at = LocalTimeIn(kZone, FromUnixMs(hour * kMsPerHour));
        const std::string month = (at.month < 10 ? "0" : "") + std::to_string(at.month);
        const std::string year = std::to_string(at.year);
        for (const std::string& scope :
             {std::string("all"), year, year + "-" + month, "month-" + month}) {
            std::pair<int64_t, int64_t>& most = wettestHours[scope];
            most = steps > most.first ? std::pair(steps, hour) : most;
        }
    }
    for (const auto& [scope, most] : wettestHours) {
        SCOPED_TRACE(scope);
        ASSERT_TRUE(record(wet, "wettestHour", scope));
        EXPECT_NEAR(record(wet, "wettestHour", scope)->value, most.first * 0.25, 1e-9);
        EXPECT_EQ(record(wet, "wettestHour", scope)->at, FromUnixMs(most.second * kMsPerHour));
    }

    // The missing day of July comes as an import of the past: the report has it, and agrees
    // with the export again.
    const ClimatePeriod before = [&] {
        ClimateReport m;
        request.month = 7;
        EXPECT_TRUE(ComputeClimateReport(archive, request, m).Ok());
        return m.days[11];
    }();
    EXPECT_EQ(before.daysWithReadings, 0);
    ASSERT_TRUE(archive.Write(station.later).Ok());
    CheckMonth(archive, 7, Exported(archive, kOutdoor), Exported(archive, kGauge));
}

// The DWD's rules of a day, one case a row: the mean with hours missing, and the marks.
TEST(Climate, TheDailyMeanFallsBackToTheFourMainHoursAndTheMarksFollowTheThresholds) {
    struct Case {
        std::vector<int> hours;  // UTC hours of 2026-01-15 with readings
        double tenths;           // each reading's temperature in tenths, plus the hour
        std::optional<double> mean;
        std::string marks;  // frost, ice, summer, hot
    } const cases[] = {
        {{}, 0, std::nullopt, ""},
        // All 24 of a CET day (23:00 UTC the day before to 22:00 UTC), or three missing.
        {{-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22},
         -10,
         -10 / 10.0 + 10.5 / 10.0,
         "F"},
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20},
         250,
         25 + 10 / 10.0,
         "S"},
        // Four missing: the main hours, or none where one of them is missing too.
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19},
         300,
         30 + 9 / 10.0,
         "SH"},
        {{0, 6, 12, 18}, -100, -10 + 9 / 10.0, "FE"},
        {{0, 6, 12}, -100, std::nullopt, "FE"},
    };
    for (const Case& c : cases) {
        testing::TempDir dir;
        Archive archive;
        ASSERT_TRUE(archive.Open(dir.File("a.sqlite"), Archive::Access::Write, 100).Ok());
        std::vector<Reading> readings;
        const int64_t day = DayNumberOf(2026, 1, 15);
        for (const int hour : c.hours) {
            for (int minute = 5; minute < 60; minute += 20) {
                Reading r;
                r.time = FromUnixMs((day * 24 + hour) * kMsPerHour + minute * kMsPerMinute);
                r.utcOffsetSeconds = 3600;
                r.kind = SensorKind::Outdoor;
                r.address = 1;
                r.interval = Milliseconds(20 * kMsPerMinute);
                r.values[r.valueCount++] = {Quantity::Temperature,
                                            static_cast<int32_t>(c.tenths + hour)};
                r.values[r.valueCount++] = {Quantity::Humidity, 80};
                readings.push_back(r);
            }
        }
        ASSERT_TRUE(archive.Write(readings).Ok());
        ClimateReport report;
        ASSERT_TRUE(
            ComputeClimateReport(
                archive, {kOutdoor, 2026, 1, &kZone, {}, std::nullopt, Instant::max()}, report)
                .Ok());
        const ClimatePeriod& p = report.days[14];
        SCOPED_TRACE(c.tenths);
        if (c.hours.empty()) {
            EXPECT_FALSE(p.figures[0]);
            EXPECT_FALSE(p.counts);
            continue;
        }
        ExpectNear(p.figures[0]->mean, c.mean, "mean");
        const ClimateCounts& k = *p.counts;
        EXPECT_EQ(std::string(k.frostDays ? "F" : "") + (k.iceDays ? "E" : "") +
                      (k.summerDays ? "S" : "") + (k.hotDays ? "H" : ""),
                  c.marks);
        EXPECT_EQ(k.heatingDays, p.figures[0]->mean && *p.figures[0]->mean < 15 ? 1 : 0);
    }
}

}  // namespace
}  // namespace tavrolin
