// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/Today.h"

#include <algorithm>
#include <cmath>

#include "archive/ArchiveQuery.h"
#include "weather/RainTally.h"

namespace tavrolin {

namespace {

constexpr Milliseconds kHour{kMsPerHour};
constexpr Milliseconds kTendencySpan{3 * kMsPerHour};
// How far before the three hours the reading of then may lie: a pressure sensor sends every
// few minutes, and one that was silent then has no tendency.
constexpr Milliseconds kTendencySlack{30 * kMsPerMinute};
// How far before the last hour a reading is looked for, the first in it counting from it.
constexpr Milliseconds kBeforeTheHour{30 * kMsPerMinute};

// The measured quantity of a report's quantity; none for the derived ones.
std::optional<Quantity> MeasuredOf(ClimateQuantity q) {
    switch (q) {
        case ClimateQuantity::Temperature:
            return Quantity::Temperature;
        case ClimateQuantity::Humidity:
            return Quantity::Humidity;
        case ClimateQuantity::Pressure:
            return Quantity::Pressure;
        case ClimateQuantity::WindSpeed:
            return Quantity::WindSpeed;
        case ClimateQuantity::PressureSeaLevel:
        case ClimateQuantity::DewPoint:
            break;
    }
    return std::nullopt;
}

// A reading the archive has not committed yet joins today's extremes.
void Fold(ClimatePeriod& day, const Reading& r) {
    for (std::size_t i = 0; i < kClimateQuantities; ++i) {
        const std::optional<Quantity> measured = MeasuredOf(static_cast<ClimateQuantity>(i));
        const std::optional<Measurement> m = measured ? r.Find(*measured) : std::nullopt;
        if (!m) {
            continue;
        }
        const Extreme e{m->Value(), r.time, r.utcOffsetSeconds};
        std::optional<Figures>& f = day.figures[i];
        if (!f) {
            f = Figures{};
        }
        if (!f->min || e.value < f->min->value) {
            f->min = e;
        }
        if (!f->max || e.value > f->max->value) {
            f->max = e;
        }
    }
    ++day.readings;
    day.daysWithReadings = 1;
}

// The rain gauge's sums, in steps, then in mm where [Regen] gives its millimetres.
ArchiveStatus Rain(Archive& archive, const TodayRequest& request, int64_t today,
                   const SensorKey& gauge, TodayRain& rain) {
    const TimeZone& zone = *request.zone;
    const LocalTime now = LocalTimeIn(zone, request.now);
    const int64_t yearFirst = DayNumberOf(now.year, 1, 1);
    const int64_t monthFirst = DayNumberOf(now.year, now.month, 1);
    Series days;
    if (ArchiveStatus s = QueryRain(archive,
                                    {gauge, StartOfLocalDay(zone, std::min(yearFirst, today - 1)),
                                     StartOfLocalDay(zone, today + 1), 0, &zone},
                                    kMsPerDay, days);
        !s.Ok()) {
        return s;
    }
    std::optional<int64_t> lastHour, ofToday, yesterday, month, year;
    const auto add = [](std::optional<int64_t>& sum, int64_t steps) {
        sum = sum.value_or(0) + steps;
    };
    const auto addOfDay = [&](int64_t day, int64_t steps) {
        if (day == today) {
            add(ofToday, steps);
        } else if (day == today - 1) {
            add(yesterday, steps);
        }
        if (day >= monthFirst && day <= today) {
            add(month, steps);
        }
        if (day >= yearFirst && day <= today) {
            add(year, steps);
        }
    };
    for (const SeriesPoint& p : days.points) {
        addOfDay(LocalDayIn(zone, p.time), p.rainSteps);
    }
    // The last hour: each reading's steps since the one before it.
    std::optional<int> counter;
    const Instant hourAgo = request.now - kHour;
    const auto count = [&](const Reading& r, bool uncommitted) {
        const std::optional<Measurement> m = r.Find(Quantity::RainCounter);
        if (!m) {
            return;
        }
        const int64_t steps = counter ? RainStepsBetween(*counter, m->raw) : 0;
        counter = m->raw;
        if (r.time >= hourAgo && r.time <= request.now) {
            add(lastHour, steps);
        }
        if (uncommitted) {
            addOfDay(LocalDayIn(zone, r.time), steps);
        }
    };
    // The counter the hour's first reading counts from: the last one before the hour, looked
    // for half an hour back, and a day where the gauge was silent that long.
    const auto base = [&counter](const Reading& r) {
        if (const std::optional<Measurement> m = r.Find(Quantity::RainCounter)) {
            counter = m->raw;
        }
    };
    for (const Milliseconds back : {kBeforeTheHour, Milliseconds(kMsPerDay)}) {
        if (ArchiveStatus s = ForEachReading(archive, gauge, hourAgo - back, hourAgo, base);
            !s.Ok()) {
            return s;
        }
        if (counter) {
            break;
        }
    }
    if (ArchiveStatus s = ForEachReading(archive, gauge, hourAgo, request.now,
                                         [&](const Reading& r) { count(r, false); });
        !s.Ok()) {
        return s;
    }
    if (!counter && days.lastCounter) {
        counter = *days.lastCounter;  // the last reading lies before the hour
    }
    for (const Reading& r : request.uncommitted) {
        if (r.Key() == gauge) {
            count(r, true);
        }
    }
    const std::optional<Decimal>& perStep = request.weather.rain.mmPerStep[gauge.address & 0x07];
    rain.sensor = gauge;
    rain.inMm = perStep.has_value();
    const auto amount = [&](const std::optional<int64_t>& steps) -> std::optional<double> {
        if (!steps) {
            return std::nullopt;
        }
        return perStep ? static_cast<double>(*steps) * perStep->Value()
                       : static_cast<double>(*steps);
    };
    rain.lastHour = amount(lastHour);
    rain.today = amount(ofToday);
    rain.yesterday = amount(yesterday);
    rain.month = amount(month);
    rain.year = amount(year);
    return {};
}

ArchiveStatus Tendency(Archive& archive, const TodaySensor& sensor,
                       std::optional<TodayTendency>& tendency) {
    const std::optional<Measurement> now = sensor.last.Find(Quantity::Pressure);
    if (!now) {
        return {};
    }
    const Instant then = sensor.last.time - kTendencySpan;
    std::optional<Reading> before;
    if (ArchiveStatus s =
            ForEachReading(archive, sensor.key, then - kTendencySlack, then + Milliseconds(1),
                           [&](const Reading& r) { before = r; });
        !s.Ok()) {
        return s;
    }
    const std::optional<Measurement> old = before ? before->Find(Quantity::Pressure) : std::nullopt;
    if (!old) {
        return {};
    }
    TodayTendency t;
    t.sensor = sensor.key;
    t.now = now->Value();
    t.at = sensor.last.time;
    t.before = old->Value();
    t.beforeAt = before->time;
    t.beforeUtcOffsetSeconds = before->utcOffsetSeconds;
    t.change = t.now - t.before;
    t.words = TendencyWords(t.change);
    tendency = t;
    return {};
}

}  // namespace

std::optional<double> ValueIn(const Reading& reading, ClimateQuantity quantity) {
    if (const std::optional<Quantity> measured = MeasuredOf(quantity)) {
        const std::optional<Measurement> m = reading.Find(*measured);
        return m ? std::optional(m->Value()) : std::nullopt;
    }
    const std::optional<Decimal> derived = reading.weather.Find(
        quantity == ClimateQuantity::DewPoint ? WeatherQuantity::DewPoint
                                              : WeatherQuantity::SeaLevelPressure);
    return derived ? std::optional(derived->Value()) : std::nullopt;
}

std::string_view TendencyWords(double changeHpa) {
    // The bands' limits are tenths: 1,5 is "leicht", 1,6 "deutlich".
    const double tenths = std::round(std::fabs(changeHpa) * 10);
    if (tenths < 1) {
        return "gleichbleibend";
    }
    const bool rising = changeHpa > 0;
    if (tenths <= 15) {
        return rising ? "leicht steigend" : "leicht fallend";
    }
    if (tenths <= 35) {
        return rising ? "deutlich steigend" : "deutlich fallend";
    }
    if (tenths <= 60) {
        return rising ? "stark steigend" : "stark fallend";
    }
    return rising ? "sehr stark steigend" : "sehr stark fallend";
}

const TodayReport::Sensor* TodayReport::Of(const SensorKey& key) const {
    const auto found = std::find_if(sensors.begin(), sensors.end(),
                                    [&](const Sensor& s) { return s.sensor.key == key; });
    return found == sensors.end() ? nullptr : &*found;
}

ArchiveStatus ComputeToday(Archive& archive, const TodayRequest& request, TodayReport& report) {
    report = {};
    const TimeZone& zone = *request.zone;
    report.now = request.now;
    report.today = LocalDayIn(zone, request.now);
    const LocalTime date = LocalTimeIn(zone, request.now);
    for (const TodaySensor& sensor : request.sensors) {
        TodayReport::Sensor s{sensor, {}};
        if (!ClimateQuantitiesOf(sensor.key, request.weather).empty()) {
            ClimateRequest day;
            day.sensor = sensor.key;
            day.year = date.year;
            day.month = date.month;
            day.day = date.day;
            day.zone = &zone;
            day.weather = request.weather;
            day.usualPeriod = sensor.usualPeriod;
            day.now = request.now;
            ClimateReport of;
            if (ArchiveStatus st = ComputeClimateReport(archive, day, of); !st.Ok()) {
                return st;
            }
            s.day = of.days.empty() ? of.total : of.days.front();
            for (const Reading& r : request.uncommitted) {
                if (r.Key() == sensor.key && LocalDayIn(zone, r.time) == report.today) {
                    Fold(s.day, r);
                }
            }
        }
        report.sensors.push_back(std::move(s));
    }
    const auto role = [&](StationRole r) { return request.roles[static_cast<std::size_t>(r)]; };
    if (const std::optional<SensorKey> gauge = role(StationRole::Rain)) {
        TodayRain rain;
        if (ArchiveStatus s = Rain(archive, request, report.today, *gauge, rain); !s.Ok()) {
            return s;
        }
        report.rain = rain;
    }
    if (const std::optional<SensorKey> pressure = role(StationRole::Pressure)) {
        if (const TodayReport::Sensor* s = report.Of(*pressure)) {
            if (ArchiveStatus st = Tendency(archive, s->sensor, report.tendency); !st.Ok()) {
                return st;
            }
        }
    }
    return {};
}

}  // namespace tavrolin
