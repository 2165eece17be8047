// SPDX-License-Identifier: GPL-3.0-or-later
// The records of Climate.h: over the daily summaries, with the instants looked up among the
// readings of the one day that holds each, and the wettest hour among the hours with rain.
#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "archive/ArchiveQuery.h"
#include "archive/ArchiveQueryParts.h"
#include "archive/ArchiveSchema.h"
#include "history/Climate.h"
#include "weather/WeatherFormulas.h"

namespace tavrolin {

namespace {

struct DaySums {
    std::array<bool, 3> has{};
    std::array<int64_t, 3> min{}, max{};
    bool hasRain = false;
    int64_t rain = 0;
};

// A candidate of one record in one scope: the value (in stored units, higher is better once
// signed), the day, and for an extreme the stored value to look up.
struct Best {
    bool set = false;
    int64_t score = 0;
    int64_t day = 0;
    int slot = -1;
    int64_t raw = 0;
    int64_t hour = 0;  // the wettest hour's
};

std::string TwoDigits(int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

}  // namespace

ArchiveStatus ComputeClimateRecords(Archive& archive, const SensorKey& sensor, const TimeZone& zone,
                                    const WeatherSettings& weather,
                                    std::vector<ClimateRecord>& records) {
    records.clear();
    sql::Database& db = archive.Db();
    const int id = IndexOf(sensor);
    std::map<int64_t, DaySums> days;
    {
        sql::Statement st = db.Prepare(
            "SELECT day, min1, max1, min2, max2, min3, max3, rain FROM daily WHERE sensor = ?1");
        sql::Statement fresh = db.Prepare("SELECT t, meta, a, b, c FROM recent WHERE sensor = ?1");
        if (!st.Valid() || !fresh.Valid()) {
            return Failed(archive, db.ErrorCode());
        }
        st.Bind(1, id);
        int rc;
        while ((rc = st.Step()) == sql::kRow) {
            DaySums& d = days[st.Int(0)];
            for (std::size_t s = 0; s < 3; ++s) {
                const int column = 1 + static_cast<int>(s) * 2;
                if (!st.IsNull(column)) {
                    d.has[s] = true;
                    d.min[s] = st.Int(column);
                    d.max[s] = st.Int(column + 1);
                }
            }
            if (!st.IsNull(7)) {
                d.hasRain = true;
                d.rain = st.Int(7);
            }
        }
        if (rc != sql::kDone) {
            return Failed(archive, rc);
        }
        fresh.Bind(1, id);
        while ((rc = fresh.Step()) == sql::kRow) {
            DaySums& d = days[LocalDayOf(FromUnixMs(fresh.Int(0)), OffsetOfMeta(fresh.Int(1)))];
            for (std::size_t s = 0; s < 3; ++s) {
                const int column = 2 + static_cast<int>(s);
                if (!fresh.IsNull(column)) {
                    const int64_t v = fresh.Int(column);
                    d.min[s] = d.has[s] ? std::min(d.min[s], v) : v;
                    d.max[s] = d.has[s] ? std::max(d.max[s], v) : v;
                    d.has[s] = true;
                }
            }
        }
        if (rc != sql::kDone) {
            return Failed(archive, rc);
        }
    }
    // The rain of the new readings, by day and by hour.
    std::map<int64_t, int64_t> freshHours;
    if (sensor.kind == SensorKind::Rain) {
        std::vector<RainStep> steps;
        if (const int rc = RainOfRecent(db, id, steps); rc != sql::kOk) {
            return Failed(archive, rc);
        }
        for (const RainStep& step : steps) {
            const Instant t = FromUnixMs(step.t);
            DaySums& d = days[LocalDayOf(t, OffsetOfMeta(step.meta))];
            d.hasRain = true;
            d.rain += step.steps;
            freshHours[UtcHourOf(t)] += step.steps;
        }
    }

    // What each record is of: a quantity's highest and lowest, the temperature's day records,
    // the rain's.
    const SensorKind kind = sensor.kind;
    const std::span<const Quantity> quantities = QuantitiesOf(kind);
    const std::optional<double> altitude = weather.station.altitudeMetres;
    struct Kind {
        std::string record;
        std::string quantity;
        int slot;
        double scale;
        bool seaLevel = false;
    };
    std::vector<Kind> kinds;
    std::optional<int> temperatureSlot;
    for (std::size_t s = 0; s < quantities.size(); ++s) {
        const Quantity q = quantities[s];
        if (q != Quantity::Temperature && q != Quantity::Humidity && q != Quantity::Pressure &&
            q != Quantity::WindSpeed) {
            continue;
        }
        const int slot = static_cast<int>(s);
        const double scale = InfoOf(q).decimals == 1 ? 0.1 : 1.0;
        const std::string key(InfoOf(q).key);
        kinds.push_back({"highest", key, slot, scale});
        if (q != Quantity::WindSpeed) {
            kinds.push_back({"lowest", key, slot, scale});
        }
        if (q == Quantity::Pressure && altitude) {
            kinds.push_back({"highest", "pressure_sea_level", slot, scale, true});
            kinds.push_back({"lowest", "pressure_sea_level", slot, scale, true});
        }
        if (q == Quantity::Temperature) {
            temperatureSlot = slot;
        }
    }
    if (temperatureSlot) {
        for (const char* r : {"highestDailyMin", "lowestDailyMax", "largestDailyRange"}) {
            kinds.push_back({r, "temperature", *temperatureSlot, 0.1});
        }
    }
    const std::optional<Decimal>& perStep = weather.rain.mmPerStep[sensor.address & 0x07];
    const std::string rainKey = perStep ? "rain_mm" : "rain_steps";
    const bool rain = kind == SensorKind::Rain;
    if (rain) {
        kinds.push_back({"wettestHour", rainKey, -1, 1});
        kinds.push_back({"wettestDay", rainKey, -1, 1});
    }

    // The scopes of a day, and the best of each record in each scope.
    const auto scopesOf = [](int64_t day) {
        const LocalTime date = LocalTimeAt(FromUnixMs(day * kMsPerDay), 0);
        return std::array<std::string, 4>{"all", std::to_string(date.year),
                                          std::to_string(date.year) + "-" + TwoDigits(date.month),
                                          "month-" + TwoDigits(date.month)};
    };
    std::map<std::pair<std::string, std::size_t>, Best> best;
    for (const auto& [day, d] : days) {
        const std::array<std::string, 4> scopes = scopesOf(day);
        for (std::size_t k = 0; k < kinds.size(); ++k) {
            const Kind& kd = kinds[k];
            Best candidate{true, 0, day};
            if (kd.slot >= 0) {
                const auto s = static_cast<std::size_t>(kd.slot);
                if (!d.has[s]) {
                    continue;
                }
                candidate.slot = kd.slot;
                if (kd.record == "highest") {
                    candidate.score = d.max[s];
                    candidate.raw = d.max[s];
                } else if (kd.record == "lowest") {
                    candidate.score = -d.min[s];
                    candidate.raw = d.min[s];
                } else if (kd.record == "highestDailyMin") {
                    candidate.score = d.min[s];
                } else if (kd.record == "lowestDailyMax") {
                    candidate.score = -d.max[s];
                } else {
                    candidate.score = d.max[s] - d.min[s];
                }
            } else if (kd.record == "wettestDay" && d.hasRain && d.rain > 0) {
                candidate.score = d.rain;
            } else {
                continue;
            }
            for (const std::string& scope : scopes) {
                Best& b = best[{scope, k}];
                if (!b.set || candidate.score > b.score) {
                    b = candidate;
                }
            }
        }
    }

    // The wettest hour of each month: the most steps, the earliest of equal ones, among the
    // hours with rain (an index of the hourly summaries lists them) of the days with rain.
    // An hour is its day's whose start lies before the hour's end.
    if (rain) {
        sql::Statement hours =
            db.Prepare("SELECT hour, rain FROM hourly WHERE sensor = ?1 AND rain > 0");
        if (!hours.Valid()) {
            return Failed(archive, db.ErrorCode());
        }
        std::map<int64_t, int64_t> wetHours = std::move(freshHours);
        hours.Bind(1, id);
        int rc;
        while ((rc = hours.Step()) == sql::kRow) {
            wetHours[hours.Int(0)] += hours.Int(1);
        }
        if (rc != sql::kDone) {
            return Failed(archive, rc);
        }
        std::map<std::string, Best> wettest;
        std::optional<int64_t> lastDay;
        std::string monthOfLastDay;
        for (const auto& [hour, steps] : wetHours) {
            const int64_t day = LocalDayIn(zone, FromUnixMs((hour + 1) * kMsPerHour - 1));
            const auto d = days.find(day);
            if (steps <= 0 || d == days.end() || !d->second.hasRain || d->second.rain <= 0) {
                continue;
            }
            if (day != lastDay) {
                lastDay = day;
                monthOfLastDay = scopesOf(day)[2];
            }
            Best& found = wettest[monthOfLastDay];
            if (!found.set || steps > found.score) {
                found = Best{true, steps, day, -1, 0, hour};
            }
        }
        const std::size_t k = kinds.size() - 2;
        for (const auto& [month, found] : wettest) {
            const std::string calendar = "month-" + month.substr(5);
            for (const std::string& scope :
                 {std::string("all"), month.substr(0, 4), month, calendar}) {
                Best& b = best[{scope, k}];
                if (!b.set || found.score > b.score ||
                    (found.score == b.score && found.hour < b.hour)) {
                    b = found;
                }
            }
        }
    }

    // The instant of each extreme, among the readings of its day.
    sql::Statement at[3];
    for (int s = 0; s < 3; ++s) {
        at[s] = db.Prepare(BothTables("t, meta, seq", "sensor = ?1 AND t >= ?2 AND t < ?3 AND " +
                                                          std::string(1, "abc"[s]) + " = ?4 AND " +
                                                          LocalDaySql() + " = ?5") +
                           " ORDER BY t, seq LIMIT 1");
        if (!at[s].Valid()) {
            return Failed(archive, db.ErrorCode());
        }
    }
    // The instants looked up, by slot, day and value: one extreme is often the record of
    // several scopes (a month's, its year's, all time's).
    std::map<std::tuple<int, int64_t, int64_t>, std::optional<std::pair<Instant, int>>> instants;
    // Scopes in order: all, the years, the months, the calendar months.
    const auto rank = [](const std::string& scope) {
        return std::pair(scope == "all"                ? 0
                         : scope.starts_with("month-") ? 3
                         : scope.size() == 4           ? 1
                                                       : 2,
                         scope);
    };
    std::vector<std::pair<std::string, std::size_t>> keys;
    for (const auto& [key, b] : best) {
        keys.push_back(key);
    }
    std::stable_sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        return std::pair(rank(a.first), a.second) < std::pair(rank(b.first), b.second);
    });
    for (const auto& key : keys) {
        const Best& b = best.at(key);
        const Kind& kd = kinds[key.second];
        ClimateRecord r;
        r.record = kd.record;
        r.quantity = kd.quantity;
        r.scope = key.first;
        if (kd.record == "wettestHour" || kd.record == "wettestDay") {
            r.value = perStep ? static_cast<double>(b.score) * perStep->Value()
                              : static_cast<double>(b.score);
            r.isDay = kd.record == "wettestDay";
            r.at = r.isDay ? StartOfLocalDay(zone, b.day) : FromUnixMs(b.hour * kMsPerHour);
            r.utcOffsetSeconds = zone.UtcOffsetAt(r.at);
        } else if (kd.record == "highest" || kd.record == "lowest") {
            r.value = kd.seaLevel
                          ? SeaLevelPressureTenths(static_cast<int>(b.raw), *altitude) / 10.0
                          : static_cast<double>(b.raw) * kd.scale;
            const auto [where, fresh] = instants.try_emplace({b.slot, b.day, b.raw});
            if (fresh) {
                sql::Statement& st = at[b.slot];
                st.Bind(1, id);
                st.Bind(2, (b.day - 1) * kMsPerDay);
                st.Bind(3, (b.day + 2) * kMsPerDay);
                st.Bind(4, b.raw);
                st.Bind(5, b.day);
                const int rc = st.Step();
                if (rc == sql::kRow) {
                    where->second = std::pair(FromUnixMs(st.Int(0)), OffsetOfMeta(st.Int(1)));
                } else if (rc != sql::kDone) {
                    return Failed(archive, rc);
                }
                st.Reset();
            }
            if (where->second) {
                r.at = where->second->first;
                r.utcOffsetSeconds = where->second->second;
            }
        } else {
            r.value = static_cast<double>(kd.record == "lowestDailyMax" ? -b.score : b.score) * 0.1;
            r.isDay = true;
            r.at = StartOfLocalDay(zone, b.day);
            r.utcOffsetSeconds = zone.UtcOffsetAt(r.at);
        }
        records.push_back(std::move(r));
    }
    return {};
}

}  // namespace tavrolin
