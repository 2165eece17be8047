// SPDX-License-Identifier: GPL-3.0-or-later
// The current format at work (ArchiveSchema.h): the SQL of the summaries and of what a
// reading derives, the rain's steps, and the folding and rebuilding of the summaries.
#include "archive/ArchiveSchema.h"

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <tuple>

#include "archive/Archive.h"
#include "archive/Sqlite.h"
#include "decode/Reading.h"
#include "weather/RainTally.h"

namespace tavrolin {

namespace {

std::string WindComponentSql(const char* function) {
    return "CASE WHEN " + SensorsOfKind(SensorKind::Wind) + " THEN CAST(round(max(a, 0) * " +
           std::to_string(kWindVectorScale) + " * " + function + "(radians(b))) AS INTEGER) END";
}

// A summary row's key: its period, its hour or day, and its sensor.
using SummaryKey = std::tuple<SummaryPeriod, int64_t, int64_t>;

// The summaries a reading goes into: those of its UTC hour and of its local day (LocalDaySql).
std::array<SummaryKey, 2> SummaryKeysOf(int64_t sensor, int64_t t, int64_t meta) {
    const Instant time = FromUnixMs(t);
    return {SummaryKey{SummaryPeriod::Hour, UtcHourOf(time), sensor},
            SummaryKey{SummaryPeriod::Day, LocalDayOf(time, OffsetOfMeta(meta)), sensor}};
}

}  // namespace

std::string SummarySelect(SummaryPeriod period, const char* table, const std::string& condition,
                          Derived derived) {
    // The remote control and the Fenster events keep words in slot a, not numbers.
    const std::string numeric = "sensor < " + std::to_string(kSensorCount - 2);
    std::string sql = "SELECT " + (period == SummaryPeriod::Hour ? "t / 3600000" : LocalDaySql()) +
                      ", sensor, count(*)";
    for (const char* slot : {"a", "b", "c"}) {
        for (const char* f : {"min", "max", "sum"}) {
            sql += std::string(", ") + f + "(CASE WHEN " + numeric + " THEN " + slot + " END)";
        }
    }
    // The condition is never empty: an upsert may follow, and SQLite wants to tell it from a
    // join's ON.
    if (derived == Derived::Without) {
        return sql + " FROM " + table + " WHERE " + condition + " GROUP BY 1, 2";
    }
    const std::string scaled = ScaledSql();
    sql += ", min(" + scaled + "), max(" + scaled + "), sum(" + scaled + "), sum(" + WindEastSql() +
           "), sum(" + WindNorthSql() + "), sum(steps)";
    // A rain reading's steps count from the sensor's reading before it, whatever hour that
    // lies in: taken over each sensor's readings in order before they are grouped. A
    // condition on sensors (all the callers give) leaves every sensor's readings whole. Only
    // the rain sensors' readings go through the window: it costs as much again as the rest.
    const std::string rain = SensorsOfKind(SensorKind::Rain);
    return sql + " FROM (SELECT *, NULL AS steps FROM " + table + " WHERE (" + condition +
           ") AND NOT (" + rain +
           ") UNION ALL SELECT *, rain_steps(lag(a) OVER (PARTITION BY"
           " sensor ORDER BY t, seq), a) FROM " +
           table + " WHERE (" + condition + ") AND " + rain + ") GROUP BY 1, 2";
}

std::string SensorsOfKind(SensorKind kind) {
    const int first = IndexOf({kind, 0, false});
    return "sensor BETWEEN " + std::to_string(first) + " AND " + std::to_string(first + 7);
}

int64_t RainStepsOfReading(std::optional<int64_t> previousCounter, std::optional<int64_t> counter) {
    if (!previousCounter || !counter) {
        return 0;
    }
    // A counter outside int is no counter a telegram carries; the check tells of its row.
    const auto asInt = [](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    return RainStepsBetween(asInt(*previousCounter), asInt(*counter));
}

int DefineArchiveFunctions(sql::Database& db) {
    return db.DefineFunction("rain_steps", RainStepsOfReading);
}

int RainOfRecent(sql::Database& db, std::optional<int> sensor, std::vector<RainStep>& steps) {
    steps.clear();
    struct Row {
        int64_t t = 0, seq = 0, meta = 0;
        std::optional<int64_t> counter;
        bool fresh = false;
    };
    const auto read = [](const sql::Statement& st, bool fresh) {
        return Row{st.Int(0), st.Int(1), st.Int(2),
                   st.IsNull(3) ? std::nullopt : std::optional<int64_t>(st.Int(3)), fresh};
    };
    std::vector<std::pair<int, Row>> fresh;
    {
        sql::Statement st = db.Prepare(
            "SELECT t, seq, meta, a, sensor FROM recent WHERE " +
            (sensor ? "sensor = " + std::to_string(*sensor) : SensorsOfKind(SensorKind::Rain)) +
            " ORDER BY sensor, t, seq");
        if (!st.Valid()) {
            return db.ErrorCode();
        }
        int rc;
        while ((rc = st.Step()) == sql::kRow) {
            fresh.emplace_back(static_cast<int>(st.Int(4)), read(st, true));
        }
        if (rc != sql::kDone) {
            return rc;
        }
    }
    if (fresh.empty()) {
        return sql::kOk;
    }
    // The folded reading before a sensor's first new one, and those after it up to the first
    // after its last new one: usually the newest folded reading alone.
    sql::Statement before = db.Prepare(
        "SELECT t, seq, meta, a FROM reading WHERE sensor = ?1 AND (t, seq) < (?2, ?3)"
        " ORDER BY t DESC, seq DESC LIMIT 1");
    sql::Statement after = db.Prepare(
        "SELECT t, seq, meta, a FROM reading WHERE sensor = ?1 AND (t, seq) > (?2, ?3)"
        " ORDER BY t, seq");
    if (!before.Valid() || !after.Valid()) {
        return db.ErrorCode();
    }
    const auto earlier = [](const Row& a, const Row& b) {
        return std::pair(a.t, a.seq) < std::pair(b.t, b.seq);
    };
    int rc = sql::kOk;
    for (std::size_t begin = 0, end; begin < fresh.size() && rc == sql::kOk; begin = end) {
        const int id = fresh[begin].first;
        for (end = begin; end < fresh.size() && fresh[end].first == id; ++end) {
        }
        const Row& first = fresh[begin].second;
        const Row& last = fresh[end - 1].second;
        std::optional<Row> previous;  // the reading before, folded or new
        before.Bind(1, id);
        before.Bind(2, first.t);
        before.Bind(3, first.seq);
        if ((rc = before.Step()) == sql::kRow) {
            previous = read(before, false);
        }
        before.Reset();
        if (rc != sql::kRow && rc != sql::kDone) {
            break;
        }
        // The folded reading before the one looked at: the summaries counted its steps from it.
        std::optional<Row> previousFolded = previous;
        after.Bind(1, id);
        after.Bind(2, first.t);
        after.Bind(3, first.seq);
        std::size_t next = begin;
        bool folded = (rc = after.Step()) == sql::kRow;
        while (next < end || folded) {
            if (next < end && (!folded || earlier(fresh[next].second, read(after, false)))) {
                const Row& row = fresh[next++].second;
                steps.push_back({id, row.t, row.meta,
                                 previous ? RainStepsOfReading(previous->counter, row.counter) : 0,
                                 true});
                previous = row;
                continue;
            }
            const Row row = read(after, false);
            if (previous && previous->fresh) {
                const int64_t counted =
                    previousFolded ? RainStepsOfReading(previousFolded->counter, row.counter) : 0;
                const int64_t change = RainStepsOfReading(previous->counter, row.counter) - counted;
                if (change != 0) {
                    steps.push_back({id, row.t, row.meta, change, false});
                }
            }
            previous = previousFolded = row;
            // Past the last new reading, the first folded one is the last that changes.
            folded = earlier(last, row) ? false : (rc = after.Step()) == sql::kRow;
        }
        after.Reset();
        rc = rc == sql::kRow || rc == sql::kDone ? sql::kOk : rc;
    }
    return rc;
}

std::string LocalDaySql() {
    return "(t + (meta >> 1) * 900000) / 86400000";
}

std::string ScaledSql() {
    return "CASE WHEN " + SensorsOfKind(SensorKind::Brightness) + " OR " +
           SensorsOfKind(SensorKind::Pyranometer) + " THEN a * b END";
}

std::string WindEastSql() {
    return WindComponentSql("sin");
}

std::string WindNorthSql() {
    return WindComponentSql("cos");
}

std::string SummarySql(SummaryPeriod period, const char* table) {
    return SummarySelect(period, table, "true", Derived::With);
}

int FoldRecent(sql::Database& db, Derived derived) {
    // The summaries of the new readings, summed here in one pass over them: the same sums as
    // SummarySql's, without its two sorts (CheckArchive compares the two). Slot 4 is the
    // derived value × factor, then the wind's vector.
    const bool withDerived = derived == Derived::With;
    struct Sums {
        int64_t n = 0;
        std::array<bool, 4> has{};
        std::array<int64_t, 4> min{}, max{}, sum{};
        bool hasWind = false;
        int64_t east = 0, north = 0;
        bool hasRain = false;
        int64_t rain = 0;
    };
    std::map<SummaryKey, Sums> sums;
    {
        sql::Statement rows = db.Prepare(
            "SELECT sensor, t, meta, a, b, c" +
            (withDerived ? ", " + ScaledSql() + ", " + WindEastSql() + ", " + WindNorthSql()
                         : std::string(", NULL, NULL, NULL")) +
            " FROM recent");
        if (!rows.Valid()) {
            return db.ErrorCode();
        }
        int rc;
        while ((rc = rows.Step()) == sql::kRow) {
            const int64_t sensor = rows.Int(0);
            for (const SummaryKey& key : SummaryKeysOf(sensor, rows.Int(1), rows.Int(2))) {
                Sums& s = sums[key];
                ++s.n;
                for (std::size_t i = 0; i < 4 && sensor < kSensorCount - 2; ++i) {
                    const int column = 3 + static_cast<int>(i);
                    if (rows.IsNull(column)) {
                        continue;
                    }
                    const int64_t v = rows.Int(column);
                    s.min[i] = s.has[i] ? std::min(s.min[i], v) : v;
                    s.max[i] = s.has[i] ? std::max(s.max[i], v) : v;
                    s.sum[i] += v;
                    s.has[i] = true;
                }
                if (!rows.IsNull(7)) {
                    s.east += rows.Int(7);
                    s.north += rows.Int(8);
                    s.hasWind = true;
                }
            }
        }
        if (rc != sql::kDone) {
            return rc;
        }
    }
    // The rain sensors' steps. Those of the new readings go with their sums; a folded reading
    // whose steps change lies in an hour and day of its own, whose rain alone changes.
    std::map<SummaryKey, int64_t> rainChanges;
    if (withDerived) {
        std::vector<RainStep> steps;
        if (const int rc = RainOfRecent(db, std::nullopt, steps); rc != sql::kOk) {
            return rc;
        }
        for (const RainStep& step : steps) {
            for (const SummaryKey& key : SummaryKeysOf(step.sensor, step.t, step.meta)) {
                if (step.fresh) {
                    Sums& s = sums[key];
                    s.rain += step.steps;
                    s.hasRain = true;
                } else {
                    rainChanges[key] += step.steps;
                }
            }
        }
    }
    std::array<sql::Statement, 2> upserts;
    std::array<sql::Statement, 2> rainUpdates;
    for (const SummaryPeriod period : {SummaryPeriod::Hour, SummaryPeriod::Day}) {
        std::string sql = std::string("INSERT INTO ") + SummaryTable(period) +
                          " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12" +
                          (withDerived ? ", ?13, ?14, ?15, ?16, ?17, ?18" : "") + ") ON CONFLICT(" +
                          SummaryKeyColumn(period) + ", sensor) DO UPDATE SET n = n + excluded.n";
        for (int i = 1; i <= (withDerived ? 4 : 3); ++i) {
            const std::string slot = std::to_string(i);
            sql += ", min" + slot + " = min(min" + slot + ", excluded.min" + slot + "), max" +
                   slot + " = max(max" + slot + ", excluded.max" + slot + "), sum" + slot +
                   " = sum" + slot + " + excluded.sum" + slot;
        }
        if (withDerived) {
            sql +=
                ", east = east + excluded.east, north = north + excluded.north,"
                " rain = rain + excluded.rain";
        }
        const int slot = period == SummaryPeriod::Hour ? 0 : 1;
        upserts[slot] = db.Prepare(sql);
        rainUpdates[slot] = db.Prepare(std::string("UPDATE ") + SummaryTable(period) +
                                       " SET rain = rain + ?3 WHERE " + SummaryKeyColumn(period) +
                                       " = ?1 AND sensor = ?2");
        if (!upserts[slot].Valid() || (withDerived && !rainUpdates[slot].Valid())) {
            return db.ErrorCode();
        }
    }
    for (const auto& [key, s] : sums) {
        sql::Statement& upsert = upserts[std::get<0>(key) == SummaryPeriod::Hour ? 0 : 1];
        upsert.Bind(1, std::get<1>(key));
        upsert.Bind(2, std::get<2>(key));
        upsert.Bind(3, s.n);
        for (std::size_t i = 0; i < (withDerived ? 4u : 3u); ++i) {
            const int column = 4 + static_cast<int>(i) * 3;
            for (int k = 0; k < 3; ++k) {
                if (s.has[i]) {
                    upsert.Bind(column + k, k == 0 ? s.min[i] : k == 1 ? s.max[i] : s.sum[i]);
                } else {
                    upsert.BindNull(column + k);
                }
            }
        }
        if (withDerived && s.hasWind) {
            upsert.Bind(16, s.east);
            upsert.Bind(17, s.north);
        } else if (withDerived) {
            upsert.BindNull(16);  // not a wind sensor
            upsert.BindNull(17);
        }
        if (withDerived && s.hasRain) {
            upsert.Bind(18, s.rain);
        } else if (withDerived) {
            upsert.BindNull(18);
        }
        const int rc = upsert.Step();
        upsert.Reset();
        if (rc != sql::kDone) {
            return rc;
        }
    }
    for (const auto& [key, steps] : rainChanges) {
        if (steps == 0) {
            continue;  // a row written again unchanged is a page written again for nothing
        }
        sql::Statement& update = rainUpdates[std::get<0>(key) == SummaryPeriod::Hour ? 0 : 1];
        update.Bind(1, std::get<1>(key));
        update.Bind(2, std::get<2>(key));
        update.Bind(3, steps);
        const int rc = update.Step();
        update.Reset();
        if (rc != sql::kDone) {
            return rc;
        }
    }
    // By sensor and time, the order of `reading`: each sensor's rows go in one after the other
    // at one place of it.
    return db.Exec(
        "INSERT INTO reading(sensor, t, seq, meta, interval, a, b, c)"
        " SELECT sensor, t, seq, meta, interval, a, b, c FROM recent"
        " ORDER BY sensor, t, seq; DELETE FROM recent;");
}

int RebuildSummaries(sql::Database& db, Derived derived) {
    const std::string sql = "DELETE FROM hourly; DELETE FROM daily; INSERT INTO hourly " +
                            SummarySelect(SummaryPeriod::Hour, "reading", "true", derived) +
                            "; INSERT INTO daily " +
                            SummarySelect(SummaryPeriod::Day, "reading", "true", derived) + ";";
    return db.Exec(sql.c_str());
}

}  // namespace tavrolin
