// SPDX-License-Identifier: GPL-3.0-or-later
// The days, months and years of Climate.h from the hourly summaries, and the records from the
// daily ones.
#include "history/Climate.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "archive/ArchiveQuery.h"
#include "archive/ArchiveQueryParts.h"
#include "archive/ArchiveSchema.h"
#include "weather/WeatherFormulas.h"

namespace tavrolin {

namespace {

constexpr std::size_t Index(ClimateQuantity q) {
    return static_cast<std::size_t>(q);
}

// Hours that may be missing from a day's mean, and from a night's minimum.
constexpr int64_t kMissingHours = 3;
// Daily means that may be missing from a month's: in all, and in a row.
constexpr int kMissingDays = 5;
constexpr int kMissingDaysInARow = 3;

// The value slot (0..2 for a, b, c) of a measured quantity of the sensor's kind; none for a
// derived one or one the kind has not.
std::optional<int> SlotOf(SensorKind kind, Quantity quantity) {
    const std::span<const Quantity> quantities = QuantitiesOf(kind);
    for (std::size_t i = 0; i < quantities.size(); ++i) {
        if (quantities[i] == quantity) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

double Scale(SensorKind kind, int slot) {
    return InfoOf(QuantitiesOf(kind)[static_cast<std::size_t>(slot)]).decimals == 1 ? 0.1 : 1.0;
}

// One UTC hour of the sensor: the summary's sums, with the new readings added.
struct Hour {
    int64_t n = 0;
    std::array<bool, 3> has{};
    std::array<int64_t, 3> min{}, max{}, sum{};
    int64_t east = 0, north = 0;
    bool hasRain = false;
    int64_t rain = 0;

    void Add(int slot, int64_t low, int64_t high, int64_t total) {
        const auto i = static_cast<std::size_t>(slot);
        min[i] = has[i] ? std::min(min[i], low) : low;
        max[i] = has[i] ? std::max(max[i], high) : high;
        sum[i] += total;
        has[i] = true;
    }
    double Mean(int slot) const {
        return static_cast<double>(sum[static_cast<std::size_t>(slot)]) / static_cast<double>(n);
    }
};

// An extreme before its instant is looked up: the hour that holds it, and the stored value
// the reading must have there.
struct Pending {
    int64_t hour = 0;
    int slot = -1;  // -1: a value of the hour itself (the dew point), at the hour's start
    int64_t raw = 0;
};

// What a period's figures of one quantity are made of: its parts' means and extremes.
struct Collect {
    std::vector<double> means;
    std::optional<Extreme> min, max;
    std::optional<Pending> minAt, maxAt;

    void Low(double v, const Pending& where) {
        if (!min || v < min->value) {
            min = Extreme{v, FromUnixMs(where.hour * kMsPerHour), 0};
            minAt = where;
        }
    }
    void High(double v, const Pending& where) {
        if (!max || v > max->value) {
            max = Extreme{v, FromUnixMs(where.hour * kMsPerHour), 0};
            maxAt = where;
        }
    }
};

// The extremes of every period waiting for their instant, by where they are.
using PendingKey = std::tuple<int64_t, int, int64_t>;

class Builder {
public:
    Builder(Archive& archive, const ClimateRequest& request)
        : m_archive(archive), m_request(request), m_zone(*request.zone) {}

    ArchiveStatus Run(ClimateReport& report);

private:
    ArchiveStatus LoadHours(Instant from, Instant to);
    ArchiveStatus LoadGaps(Instant from, Instant to);
    ClimatePeriod Day(int64_t day) const;
    ClimatePeriod Combine(int64_t first, int64_t end, const std::vector<ClimatePeriod>& parts,
                          bool ofDays) const;
    ArchiveStatus Resolve(ClimatePeriod& period);

    Archive& m_archive;
    const ClimateRequest& m_request;
    const TimeZone& m_zone;
    std::map<int64_t, Hour> m_hours;
    // The gaps longer than three usual periods, (start, end), and the sensor's first and
    // last reading.
    std::vector<std::pair<Instant, Instant>> m_gaps;
    std::optional<Instant> m_first, m_last;
    // The pending extremes of the figures, by period and quantity: filled by Day and Combine.
    mutable std::map<std::tuple<int64_t, int64_t, std::size_t, bool>, Pending> m_pending;
    std::map<PendingKey, std::pair<Instant, int>> m_found;
    std::array<sql::Statement, 3> m_lookups;  // the reading of an extreme, by value slot
};

ArchiveStatus Builder::LoadHours(Instant from, Instant to) {
    sql::Database& db = m_archive.Db();
    const int sensor = IndexOf(m_request.sensor);
    sql::Statement st = db.Prepare(
        "SELECT hour, n, min1, max1, sum1, min2, max2, sum2, min3, max3, sum3, east, north, rain"
        " FROM hourly WHERE hour >= ?2 AND hour < ?3 AND sensor = ?1");
    sql::Statement fresh =
        db.Prepare("SELECT t, a, b, c, " + WindEastSql() + ", " + WindNorthSql() +
                   " FROM recent WHERE sensor = ?1 AND t >= ?2 AND t < ?3");
    if (!st.Valid() || !fresh.Valid()) {
        return Failed(m_archive, db.ErrorCode());
    }
    st.Bind(1, sensor);
    st.Bind(2, FloorDiv(UnixMs(from), kMsPerHour));
    st.Bind(3, FloorDiv(UnixMs(to) + kMsPerHour - 1, kMsPerHour));
    int rc;
    while ((rc = st.Step()) == sql::kRow) {
        Hour& h = m_hours[st.Int(0)];
        h.n += st.Int(1);
        for (int slot = 0; slot < 3; ++slot) {
            if (!st.IsNull(2 + slot * 3)) {
                h.Add(slot, st.Int(2 + slot * 3), st.Int(3 + slot * 3), st.Int(4 + slot * 3));
            }
        }
        h.east += st.Int(11);
        h.north += st.Int(12);
        if (!st.IsNull(13)) {
            h.hasRain = true;
            h.rain += st.Int(13);
        }
    }
    if (rc != sql::kDone) {
        return Failed(m_archive, rc);
    }
    fresh.Bind(1, sensor);
    fresh.Bind(2, UnixMs(from));
    fresh.Bind(3, UnixMs(to));
    while ((rc = fresh.Step()) == sql::kRow) {
        Hour& h = m_hours[UtcHourOf(FromUnixMs(fresh.Int(0)))];
        ++h.n;
        for (int slot = 0; slot < 3; ++slot) {
            if (!fresh.IsNull(1 + slot)) {
                const int64_t v = fresh.Int(1 + slot);
                h.Add(slot, v, v, v);
            }
        }
        h.east += fresh.Int(4);
        h.north += fresh.Int(5);
    }
    if (rc != sql::kDone) {
        return Failed(m_archive, rc);
    }
    if (m_request.sensor.kind == SensorKind::Rain) {
        std::vector<RainStep> steps;
        if ((rc = RainOfRecent(db, sensor, steps)) != sql::kOk) {
            return Failed(m_archive, rc);
        }
        for (const RainStep& step : steps) {
            const Instant t = FromUnixMs(step.t);
            if (t >= from && t < to) {
                Hour& h = m_hours[UtcHourOf(t)];
                h.hasRain = true;
                h.rain += step.steps;
            }
        }
    }
    return {};
}

ArchiveStatus Builder::LoadGaps(Instant from, Instant to) {
    sql::Database& db = m_archive.Db();
    const int sensor = IndexOf(m_request.sensor);
    sql::Statement first = db.Prepare(BothTables("t", "sensor = ?1") + " ORDER BY t LIMIT 1");
    sql::Statement last = db.Prepare(BothTables("t", "sensor = ?1") + " ORDER BY t DESC LIMIT 1");
    if (!first.Valid() || !last.Valid()) {
        return Failed(m_archive, db.ErrorCode());
    }
    for (auto [st, target] : {std::pair{&first, &m_first}, std::pair{&last, &m_last}}) {
        st->Bind(1, sensor);
        const int rc = st->Step();
        if (rc == sql::kRow) {
            *target = FromUnixMs(st->Int(0));
        } else if (rc != sql::kDone) {
            return Failed(m_archive, rc);
        }
    }
    if (!m_request.usualPeriod) {
        return {};
    }
    // A reading's interval is its gap from the one before: those of the range, and of the
    // first reading after it, whose gap may begin inside.
    const int64_t longest = 3 * m_request.usualPeriod->count();
    sql::Statement gaps = db.Prepare(
        BothTables("t, interval", "sensor = ?1 AND t >= ?2 AND t < ?3 AND interval > ?4"));
    sql::Statement after =
        db.Prepare(BothTables("t, interval", "sensor = ?1 AND t >= ?2") + " ORDER BY t LIMIT 1");
    if (!gaps.Valid() || !after.Valid()) {
        return Failed(m_archive, db.ErrorCode());
    }
    gaps.Bind(1, sensor);
    gaps.Bind(2, UnixMs(from));
    gaps.Bind(3, UnixMs(to));
    gaps.Bind(4, longest);
    after.Bind(1, sensor);
    after.Bind(2, UnixMs(to));
    for (sql::Statement* st : {&gaps, &after}) {
        int rc;
        while ((rc = st->Step()) == sql::kRow) {
            if (st->Int(1) > longest) {
                const Instant t = FromUnixMs(st->Int(0));
                m_gaps.emplace_back(t - Milliseconds(st->Int(1)), t);
            }
        }
        if (rc != sql::kDone) {
            return Failed(m_archive, rc);
        }
    }
    return {};
}

ClimatePeriod Builder::Day(int64_t day) const {
    ClimatePeriod p;
    p.firstDay = day;
    p.endDay = day + 1;
    const Instant start = StartOfLocalDay(m_zone, day);
    const Instant end = StartOfLocalDay(m_zone, day + 1);
    // The hours whose start lies in the day.
    const int64_t h0 = FloorDiv(UnixMs(start) + kMsPerHour - 1, kMsPerHour);
    const int64_t h1 = FloorDiv(UnixMs(end) + kMsPerHour - 1, kMsPerHour);
    const SensorKind kind = m_request.sensor.kind;
    const std::optional<double> altitude = m_request.weather.station.altitudeMetres;

    std::array<Collect, kClimateQuantities> collect;
    std::array<std::vector<std::pair<int64_t, double>>, kClimateQuantities> hourly;
    int64_t hoursWithReadings = 0;
    bool hasRain = false;
    for (auto it = m_hours.lower_bound(h0); it != m_hours.end() && it->first < h1; ++it) {
        const int64_t hour = it->first;
        const Hour& h = it->second;
        if (h.n == 0) {
            continue;
        }
        ++hoursWithReadings;
        p.readings += h.n;
        p.windEast += h.east;
        p.windNorth += h.north;
        if (h.hasRain) {
            hasRain = true;
            p.rainSteps = p.rainSteps.value_or(0) + h.rain;
        }
        const auto measured = [&](ClimateQuantity q, Quantity quantity) {
            const std::optional<int> slot = SlotOf(kind, quantity);
            if (!slot || !h.has[static_cast<std::size_t>(*slot)]) {
                return;
            }
            const auto s = static_cast<std::size_t>(*slot);
            const double scale = Scale(kind, *slot);
            Collect& c = collect[Index(q)];
            c.Low(static_cast<double>(h.min[s]) * scale, {hour, *slot, h.min[s]});
            c.High(static_cast<double>(h.max[s]) * scale, {hour, *slot, h.max[s]});
            hourly[Index(q)].emplace_back(hour, h.Mean(*slot) * scale);
            if (q == ClimateQuantity::Pressure && altitude) {
                Collect& sea = collect[Index(ClimateQuantity::PressureSeaLevel)];
                sea.Low(SeaLevelPressureTenths(static_cast<int>(h.min[s]), *altitude) / 10.0,
                        {hour, *slot, h.min[s]});
                sea.High(SeaLevelPressureTenths(static_cast<int>(h.max[s]), *altitude) / 10.0,
                         {hour, *slot, h.max[s]});
                hourly[Index(ClimateQuantity::PressureSeaLevel)].emplace_back(
                    hour, h.Mean(*slot) * SeaLevelFactor(*altitude));
            }
        };
        measured(ClimateQuantity::Temperature, Quantity::Temperature);
        measured(ClimateQuantity::Humidity, Quantity::Humidity);
        measured(ClimateQuantity::Pressure, Quantity::Pressure);
        measured(ClimateQuantity::WindSpeed, Quantity::WindSpeed);
        if ((kind == SensorKind::Outdoor || kind == SensorKind::Indoor) && h.has[0] && h.has[1]) {
            const std::optional<int32_t> dew =
                DewPointTenths(static_cast<int32_t>(std::lround(h.Mean(0))),
                               static_cast<int>(std::lround(h.Mean(1))));
            if (dew) {
                Collect& c = collect[Index(ClimateQuantity::DewPoint)];
                c.Low(*dew / 10.0, {hour, -1, 0});
                c.High(*dew / 10.0, {hour, -1, 0});
                hourly[Index(ClimateQuantity::DewPoint)].emplace_back(hour, *dew / 10.0);
            }
        }
    }
    if (p.readings == 0) {
        return p;
    }
    p.daysWithReadings = 1;
    const int64_t expected = h1 - h0;
    for (std::size_t q = 0; q < kClimateQuantities; ++q) {
        Collect& c = collect[q];
        if (!c.min) {
            continue;
        }
        Figures f;
        f.min = c.min;
        f.max = c.max;
        const std::vector<std::pair<int64_t, double>>& values = hourly[q];
        const auto meanOf = [](const std::vector<double>& v) {
            double sum = 0;
            for (const double x : v) {
                sum += x;
            }
            return sum / static_cast<double>(v.size());
        };
        std::vector<double> all, main;
        for (const auto& [hour, v] : values) {
            all.push_back(v);
            if (hour >= 0 && hour % 6 == 0) {  // 00, 06, 12 and 18 UTC
                main.push_back(v);
            }
        }
        if (expected - static_cast<int64_t>(values.size()) <= kMissingHours) {
            f.mean = meanOf(all);
        } else if (q == Index(ClimateQuantity::Temperature) && main.size() == 4) {
            f.mean = meanOf(main);
        }
        p.figures[q] = f;
        for (const bool high : {false, true}) {
            m_pending[{day, day + 1, q, high}] = high ? *c.maxAt : *c.minAt;
        }
    }
    if (hasRain) {
        if (const std::optional<Decimal>& perStep =
                m_request.weather.rain.mmPerStep[m_request.sensor.address & 0x07]) {
            p.rainMm = static_cast<double>(*p.rainSteps) * perStep->Value();
        }
    }
    if (kind == SensorKind::Wind) {
        p.windDirection =
            MeanDirection({static_cast<double>(p.windEast), static_cast<double>(p.windNorth)});
        if (std::isnan(*p.windDirection)) {
            p.windDirection.reset();
        }
    }
    if (const std::optional<int> slot = SlotOf(kind, Quantity::Temperature)) {
        // The night that begins at 18 UTC of the day's date.
        const int64_t n0 = day * 24 + 18;
        int64_t present = 0;
        std::optional<int64_t> low;
        for (auto it = m_hours.lower_bound(n0); it != m_hours.end() && it->first < n0 + 12; ++it) {
            if (it->second.n > 0 && it->second.has[static_cast<std::size_t>(*slot)]) {
                ++present;
                const int64_t v = it->second.min[static_cast<std::size_t>(*slot)];
                low = low ? std::min(*low, v) : v;
            }
        }
        if (low && 12 - present <= kMissingHours) {
            p.nightMin = static_cast<double>(*low) * Scale(kind, *slot);
        }
    }
    // The day's climate marks: each count 1 or 0.
    const std::optional<Figures>& t = p.figures[Index(ClimateQuantity::Temperature)];
    if (t || p.rainMm) {
        ClimateCounts c;
        if (t) {
            c.frostDays = t->min->value < 0 ? 1 : 0;
            c.iceDays = t->max->value < 0 ? 1 : 0;
            c.summerDays = t->max->value >= 25 ? 1 : 0;
            c.hotDays = t->max->value >= 30 ? 1 : 0;
            if (t->mean && *t->mean < 15) {
                c.heatingDays = 1;
                c.g2015 = 20 - *t->mean;
                c.heatingDegreeDays = 15 - *t->mean;
            }
        }
        c.tropicalNights = p.nightMin && *p.nightMin >= 20 ? 1 : 0;
        if (p.rainMm) {
            // As the amount is written, to a thousandth, so that 0.1 mm counts.
            const double mm = std::round(*p.rainMm * 1000) / 1000;
            c.rainDays01 = mm >= 0.1 ? 1 : 0;
            c.rainDays1 = mm >= 1 ? 1 : 0;
            c.rainDays10 = mm >= 10 ? 1 : 0;
        }
        p.counts = c;
    }
    // Complete: the readings reach from its start to its end without a long gap.
    bool complete = hoursWithReadings == expected && end <= m_request.now;
    if (const std::optional<Milliseconds> period = m_request.usualPeriod) {
        const Milliseconds slack = 3 * *period;
        complete = end <= m_request.now && m_first && *m_first <= start + slack && m_last &&
                   *m_last >= end - slack;
        for (const auto& [from, to] : m_gaps) {
            complete = complete && !(to > start && from < end);
        }
    }
    p.complete = complete;
    p.completeDays = complete ? 1 : 0;
    return p;
}

ClimatePeriod Builder::Combine(int64_t first, int64_t end, const std::vector<ClimatePeriod>& parts,
                               bool ofDays) const {
    ClimatePeriod p;
    p.firstDay = first;
    p.endDay = end;
    std::array<Collect, kClimateQuantities> collect;
    std::array<int, kClimateQuantities> missing{}, missingInARow{}, run{};
    int partsSoFar = 0;
    const bool temperature = SlotOf(m_request.sensor.kind, Quantity::Temperature).has_value();
    ClimateCounts counts;
    bool counted = false;
    p.complete = true;
    for (const ClimatePeriod& part : parts) {
        if (StartOfLocalDay(m_zone, part.firstDay) > m_request.now) {
            break;  // not yet there
        }
        ++partsSoFar;
        p.readings += part.readings;
        p.daysWithReadings += part.daysWithReadings;
        p.completeDays += part.completeDays;
        p.complete = p.complete && part.complete;
        p.windEast += part.windEast;
        p.windNorth += part.windNorth;
        if (part.rainSteps) {
            p.rainSteps = p.rainSteps.value_or(0) + *part.rainSteps;
        }
        if (part.rainMm) {
            p.rainMm = p.rainMm.value_or(0) + *part.rainMm;
        }
        for (std::size_t q = 0; q < kClimateQuantities; ++q) {
            const std::optional<Figures>& f = part.figures[q];
            if (f && f->mean) {
                collect[q].means.push_back(*f->mean);
                run[q] = 0;
            } else {
                ++missing[q];
                missingInARow[q] = std::max(missingInARow[q], ++run[q]);
            }
            if (!f || !f->min) {
                continue;
            }
            const auto at = [&](bool high) {
                return m_pending.at({part.firstDay, part.endDay, q, high});
            };
            collect[q].Low(f->min->value, at(false));
            collect[q].High(f->max->value, at(true));
        }
        if (part.counts) {
            counted = true;
            const ClimateCounts& c = *part.counts;
            counts.frostDays += c.frostDays;
            counts.iceDays += c.iceDays;
            counts.summerDays += c.summerDays;
            counts.hotDays += c.hotDays;
            counts.tropicalNights += c.tropicalNights;
            counts.heatingDays += c.heatingDays;
            counts.g2015 += c.g2015;
            counts.heatingDegreeDays += c.heatingDegreeDays;
            for (auto [sum, of] : {std::pair{&counts.rainDays01, &c.rainDays01},
                                   std::pair{&counts.rainDays1, &c.rainDays1},
                                   std::pair{&counts.rainDays10, &c.rainDays10}}) {
                if (*of) {
                    *sum = sum->value_or(0) + **of;
                }
            }
        }
    }
    p.complete = p.complete && partsSoFar == static_cast<int>(parts.size()) && partsSoFar > 0;
    for (std::size_t q = 0; q < kClimateQuantities; ++q) {
        Collect& c = collect[q];
        if (!c.min) {
            continue;
        }
        Figures f;
        f.min = c.min;
        f.max = c.max;
        const bool enough =
            ofDays ? missing[q] <= kMissingDays && missingInARow[q] <= kMissingDaysInARow
                   : missing[q] == 0;
        if (enough && !c.means.empty()) {
            double sum = 0;
            for (const double m : c.means) {
                sum += m;
            }
            f.mean = sum / static_cast<double>(c.means.size());
        }
        p.figures[q] = f;
        m_pending[{first, end, q, false}] = *c.minAt;
        m_pending[{first, end, q, true}] = *c.maxAt;
    }
    if (m_request.sensor.kind == SensorKind::Wind && p.daysWithReadings > 0) {
        const double d =
            MeanDirection({static_cast<double>(p.windEast), static_cast<double>(p.windNorth)});
        if (!std::isnan(d)) {
            p.windDirection = d;
        }
    }
    if (counted || temperature) {
        p.counts = counts;
    }
    return p;
}

ArchiveStatus Builder::Resolve(ClimatePeriod& period) {
    sql::Database& db = m_archive.Db();
    for (std::size_t q = 0; q < kClimateQuantities; ++q) {
        std::optional<Figures>& f = period.figures[q];
        if (!f) {
            continue;
        }
        for (const bool high : {false, true}) {
            std::optional<Extreme>& e = high ? f->max : f->min;
            const Pending where = m_pending.at({period.firstDay, period.endDay, q, high});
            const Instant hourStart = FromUnixMs(where.hour * kMsPerHour);
            if (where.slot < 0) {
                e->at = hourStart;
                e->utcOffsetSeconds = m_zone.UtcOffsetAt(hourStart);
                continue;
            }
            const PendingKey key{where.hour, where.slot, where.raw};
            auto found = m_found.find(key);
            if (found == m_found.end()) {
                sql::Statement& st = m_lookups[static_cast<std::size_t>(where.slot)];
                if (!st.Valid()) {
                    const std::string column(1, "abc"[where.slot]);
                    st = db.Prepare(
                        BothTables("t, meta, seq",
                                   "sensor = ?1 AND t >= ?2 AND t < ?3 AND " + column + " = ?4") +
                        " ORDER BY t, seq LIMIT 1");
                    if (!st.Valid()) {
                        return Failed(m_archive, db.ErrorCode());
                    }
                }
                st.Bind(1, IndexOf(m_request.sensor));
                st.Bind(2, UnixMs(hourStart));
                st.Bind(3, UnixMs(hourStart) + kMsPerHour);
                st.Bind(4, where.raw);
                const int rc = st.Step();
                if (rc != sql::kRow && rc != sql::kDone) {
                    return Failed(m_archive, rc);
                }
                const std::pair<Instant, int> at =
                    rc == sql::kRow ? std::pair{FromUnixMs(st.Int(0)), OffsetOfMeta(st.Int(1))}
                                    : std::pair{hourStart, m_zone.UtcOffsetAt(hourStart)};
                st.Reset();
                found = m_found.emplace(key, at).first;
            }
            e->at = found->second.first;
            e->utcOffsetSeconds = found->second.second;
        }
    }
    return {};
}

ArchiveStatus Builder::Run(ClimateReport& report) {
    report = {};
    report.sensor = m_request.sensor;
    report.request = m_request;
    const int month = m_request.month;
    const bool oneDay = month != 0 && m_request.day != 0;
    const int64_t first =
        DayNumberOf(m_request.year, month == 0 ? 1 : month, oneDay ? m_request.day : 1);
    const int64_t end = oneDay       ? first + 1
                        : month == 0 ? DayNumberOf(m_request.year + 1, 1, 1)
                                     : (month == 12 ? DayNumberOf(m_request.year + 1, 1, 1)
                                                    : DayNumberOf(m_request.year, month + 1, 1));
    const Instant from = StartOfLocalDay(m_zone, first);
    const Instant to = StartOfLocalDay(m_zone, end);
    // The night of the last day reaches 06 UTC of the day after.
    if (ArchiveStatus s =
            LoadHours(from, std::max(to, FromUnixMs(end * kMsPerDay + 6 * kMsPerHour)));
        !s.Ok()) {
        return s;
    }
    if (ArchiveStatus s = LoadGaps(from, to); !s.Ok()) {
        return s;
    }
    std::vector<ClimatePeriod> days;
    for (int64_t d = first; d < end; ++d) {
        days.push_back(Day(d));
    }
    if (month != 0) {
        report.total = Combine(first, end, days, true);
        report.days = std::move(days);
        for (ClimatePeriod& day : report.days) {
            if (ArchiveStatus s = Resolve(day); !s.Ok()) {
                return s;
            }
        }
    } else {
        for (int m = 1; m <= 12; ++m) {
            const int64_t mFirst = DayNumberOf(m_request.year, m, 1);
            const int64_t mEnd = m == 12 ? end : DayNumberOf(m_request.year, m + 1, 1);
            const std::vector<ClimatePeriod> of(days.begin() + (mFirst - first),
                                                days.begin() + (mEnd - first));
            report.months.push_back(Combine(mFirst, mEnd, of, true));
            if (ArchiveStatus s = Resolve(report.months.back()); !s.Ok()) {
                return s;
            }
        }
        report.total = Combine(first, end, report.months, false);
    }
    return Resolve(report.total);
}

}  // namespace

std::string_view ClimateKey(ClimateQuantity quantity) {
    switch (quantity) {
        case ClimateQuantity::Temperature:
            return "temperature";
        case ClimateQuantity::Humidity:
            return "humidity";
        case ClimateQuantity::Pressure:
            return "pressure";
        case ClimateQuantity::PressureSeaLevel:
            return "pressure_sea_level";
        case ClimateQuantity::DewPoint:
            return "dew_point";
        case ClimateQuantity::WindSpeed:
            return "wind_speed";
    }
    return "";
}

std::vector<ClimateQuantity> ClimateQuantitiesOf(const SensorKey& sensor,
                                                 const WeatherSettings& weather) {
    std::vector<ClimateQuantity> quantities;
    const SensorKind kind = sensor.kind;
    if (SlotOf(kind, Quantity::Temperature)) {
        quantities.push_back(ClimateQuantity::Temperature);
    }
    if (SlotOf(kind, Quantity::Humidity)) {
        quantities.push_back(ClimateQuantity::Humidity);
        quantities.push_back(ClimateQuantity::DewPoint);
    }
    if (SlotOf(kind, Quantity::Pressure)) {
        quantities.push_back(ClimateQuantity::Pressure);
        if (weather.station.altitudeMetres) {
            quantities.push_back(ClimateQuantity::PressureSeaLevel);
        }
    }
    if (SlotOf(kind, Quantity::WindSpeed)) {
        quantities.push_back(ClimateQuantity::WindSpeed);
    }
    return quantities;
}

ArchiveStatus ComputeClimateReport(Archive& archive, const ClimateRequest& request,
                                   ClimateReport& report) {
    Builder builder(archive, request);
    return builder.Run(report);
}

}  // namespace tavrolin
