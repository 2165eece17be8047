// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveQuery.h"

#include <algorithm>

#include "archive/ArchiveSchema.h"
#include "decode/SensorTracker.h"

namespace tavrolin {

namespace {

constexpr const char* kReadingColumns = "sensor, t, meta, interval, a, b, c";

// The failure of a prepare or step; Ok for the end of the rows.
ArchiveStatus Failed(Archive& archive, int rc) {
    return StatusOf(archive.Db(), rc, false);
}

double ScaleOf(Quantity quantity) {
    return InfoOf(quantity).decimals == 1 ? 0.1 : 1.0;
}

// Reads the bucket rows of a GROUP BY: bucket number, count, then min, max and sum per slot.
ArchiveStatus ReadBuckets(Archive& archive, sql::Statement& st, int64_t shiftMs, Series& series) {
    const std::size_t slots = series.quantities.size();
    int rc;
    while ((rc = st.Step()) == sql::kRow) {
        SeriesPoint p;
        p.timeMs = st.Int(0) * series.bucketMs - shiftMs;
        p.count = st.Int(1);
        for (std::size_t i = 0; i < slots; ++i) {
            const int column = 2 + static_cast<int>(i) * 3;
            const double scale = ScaleOf(series.quantities[i]);
            p.min[i] = static_cast<double>(st.Int(column)) * scale;
            p.max[i] = static_cast<double>(st.Int(column + 1)) * scale;
            p.avg[i] = static_cast<double>(st.Int(column + 2)) * scale /
                       static_cast<double>(std::max<int64_t>(p.count, 1));
        }
        series.points.push_back(p);
    }
    return rc == sql::kDone ? ArchiveStatus{} : Failed(archive, rc);
}

// ", min(a), max(a), sum(a), ..." over the readings (no summary); ", min(min1), max(max1),
// sum(sum1), ..." over the hourly or daily summaries.
std::string SlotAggregates(std::string_view summary) {
    constexpr std::array<const char*, 3> kRowColumns{"a", "b", "c"};
    std::string sql;
    for (std::size_t i = 0; i < kRowColumns.size(); ++i) {
        for (const std::string f : {"min", "max", "sum"}) {
            sql += ", " + f + "(" +
                   (summary.empty() ? std::string(kRowColumns[i]) : f + std::to_string(i + 1)) +
                   ")";
        }
    }
    return sql;
}

}  // namespace

ArchiveStatus ListSensors(Archive& archive, std::vector<SensorSummary>& sensors) {
    sensors.clear();
    sql::Database& db = archive.Db();
    sql::Statement list = db.Prepare("SELECT id, first_t, last_t, n FROM sensor ORDER BY id");
    sql::Statement recent = db.Prepare(std::string("SELECT ") + kReadingColumns +
                                       " FROM reading WHERE sensor = ?1 ORDER BY t DESC LIMIT " +
                                       std::to_string(SensorTracker::kGapsKept + 1));
    sql::Statement first =
        db.Prepare("SELECT meta FROM reading WHERE sensor = ?1 ORDER BY t LIMIT 1");
    if (!list.Valid() || !recent.Valid() || !first.Valid()) {
        return Failed(archive, db.ErrorCode());
    }
    int rc;
    while ((rc = list.Step()) == sql::kRow) {
        const int64_t id = list.Int(0);
        if (id < 0 || id >= kSensorCount) {
            continue;  // CheckArchive tells of it
        }
        SensorSummary s;
        s.key = SensorAt(static_cast<int>(id));
        s.firstSeenMs = list.Int(1);
        s.lastSeenMs = list.Int(2);
        s.count = list.Int(3);

        first.Bind(1, id);
        const int64_t firstMeta = first.Step() == sql::kRow ? first.Int(0) : 0;
        first.Reset();
        s.firstSeen = FromUnixMs(s.firstSeenMs, OffsetOfMeta(firstMeta));

        // The newest readings, newest first; the tracker takes them oldest first, so that the
        // usual period follows the one rule the live overview follows.
        recent.Bind(1, id);
        std::vector<int64_t> times;
        while ((rc = recent.Step()) == sql::kRow) {
            if (times.empty()) {
                s.last = ReadingFromRow(recent, 0);
            }
            times.push_back(recent.Int(1));
        }
        recent.Reset();
        if (rc != sql::kDone) {
            break;
        }
        SensorTracker tracker;
        for (auto t = times.rbegin(); t != times.rend(); ++t) {
            tracker.NoteSeen(s.key, *t);
        }
        s.usualPeriodMs = tracker.LearnedPeriodMs(s.key);
        sensors.push_back(s);
    }
    if (rc != sql::kDone) {
        sensors.clear();
        return Failed(archive, rc);
    }
    return {};
}

ArchiveStatus QuerySeries(Archive& archive, const SeriesRequest& request, Series& series) {
    series.quantities = QuantitiesOf(request.sensor.kind);
    series.bucketMs = 0;
    series.points.clear();
    if (request.toMs <= request.fromMs) {
        return {};
    }
    sql::Database& db = archive.Db();
    const int sensor = IndexOf(request.sensor);

    // How many readings the range holds, from the summaries of the days it touches (local
    // days of any offset: one more on either side).
    sql::Statement count = db.Prepare(
        "SELECT coalesce(sum(n), 0) FROM daily WHERE day >= ?2 AND day <= ?3 AND sensor = ?1");
    if (!count.Valid()) {
        return Failed(archive, db.ErrorCode());
    }
    count.Bind(1, sensor);
    count.Bind(2, request.fromMs / kMsPerDay - 1);
    count.Bind(3, request.toMs / kMsPerDay + 1);
    int rc = count.Step();
    if (rc != sql::kRow) {
        return Failed(archive, rc);
    }
    const int64_t readings = count.Int(0);
    const int maxPoints = std::max(request.maxPoints, 1);

    if (readings <= maxPoints) {
        sql::Statement st = db.Prepare(
            "SELECT t, a, b, c FROM reading WHERE sensor = ?1 AND t >= ?2 AND t < ?3 ORDER BY t");
        if (!st.Valid()) {
            return Failed(archive, db.ErrorCode());
        }
        st.Bind(1, sensor);
        st.Bind(2, request.fromMs);
        st.Bind(3, request.toMs);
        const std::size_t slots = series.quantities.size();
        series.points.reserve(static_cast<std::size_t>(readings));
        while ((rc = st.Step()) == sql::kRow) {
            SeriesPoint p;
            p.timeMs = st.Int(0);
            p.count = 1;
            for (std::size_t i = 0; i < slots; ++i) {
                const double v = static_cast<double>(st.Int(1 + static_cast<int>(i))) *
                                 ScaleOf(series.quantities[i]);
                p.min[i] = p.avg[i] = p.max[i] = v;
            }
            series.points.push_back(p);
        }
        return rc == sql::kDone ? ArchiveStatus{} : Failed(archive, rc);
    }

    const int64_t range = request.toMs - request.fromMs;
    series.bucketMs = kBucketLadder.back();
    for (const int64_t bucket : kBucketLadder) {
        if ((range + bucket - 1) / bucket <= maxPoints) {
            series.bucketMs = bucket;
            break;
        }
    }
    // Bucket k covers local times [k * bucket, (k + 1) * bucket). Day buckets come from the
    // readings' own local days; shorter ones are placed in the caller's local time.
    const int64_t shiftMs = int64_t{request.alignOffsetSeconds} * 1000;
    sql::Statement st;
    int64_t first = request.fromMs, last = request.toMs;
    int64_t sqlShift = shiftMs;
    if (series.bucketMs < kMsPerHour) {
        st = db.Prepare("SELECT (t + ?1) / ?2, count(*)" + SlotAggregates("") +
                        " FROM reading WHERE sensor = ?3 AND t >= ?4 AND t < ?5"
                        " GROUP BY 1 ORDER BY 1");
    } else if (series.bucketMs < kMsPerDay) {
        st = db.Prepare("SELECT (hour * 3600000 + ?1) / ?2, sum(n)" + SlotAggregates("hour") +
                        " FROM hourly WHERE hour >= ?4 AND hour < ?5 AND sensor = ?3"
                        " GROUP BY 1 ORDER BY 1");
        first = request.fromMs / kMsPerHour;
        last = (request.toMs + kMsPerHour - 1) / kMsPerHour;
    } else {
        st = db.Prepare("SELECT (day * 86400000 + ?1) / ?2, sum(n)" + SlotAggregates("day") +
                        " FROM daily WHERE day >= ?4 AND day < ?5 AND sensor = ?3"
                        " GROUP BY 1 ORDER BY 1");
        first = (request.fromMs + shiftMs) / kMsPerDay;
        last = (request.toMs + shiftMs + kMsPerDay - 1) / kMsPerDay;
        sqlShift = 0;
    }
    if (!st.Valid()) {
        return Failed(archive, db.ErrorCode());
    }
    st.Bind(1, sqlShift);
    st.Bind(2, series.bucketMs);
    st.Bind(3, sensor);
    st.Bind(4, first);
    st.Bind(5, last);
    return ReadBuckets(archive, st, shiftMs, series);
}

ArchiveStatus ForEachReading(Archive& archive, const SensorKey& sensor, int64_t fromMs,
                             int64_t toMs, const std::function<void(const Reading&)>& each) {
    sql::Statement st =
        archive.Db().Prepare(std::string("SELECT ") + kReadingColumns +
                             " FROM reading WHERE sensor = ?1 AND t >= ?2 AND t < ?3 ORDER BY t");
    if (!st.Valid()) {
        return Failed(archive, archive.Db().ErrorCode());
    }
    st.Bind(1, IndexOf(sensor));
    st.Bind(2, fromMs);
    st.Bind(3, toMs);
    int rc;
    while ((rc = st.Step()) == sql::kRow) {
        each(ReadingFromRow(st, 0));
    }
    return rc == sql::kDone ? ArchiveStatus{} : Failed(archive, rc);
}

}  // namespace tavrolin

namespace tavrolin {

namespace {

// The number from a one-row query, or the failure.
int CountOf(sql::Database& db, const std::string& query, int64_t& value) {
    sql::Statement st = db.Prepare(query);
    if (!st.Valid()) {
        return db.ErrorCode();
    }
    const int rc = st.Step();
    value = rc == sql::kRow ? st.Int(0) : 0;
    return rc == sql::kRow ? sql::kOk : rc;
}

// What a row of each sensor holds: the condition it must meet, in SQL.
std::string RowRule(SensorKind kind, bool remoteControl) {
    if (kind == SensorKind::Special) {
        return remoteControl ? "typeof(a) = 'text' AND b IS NULL AND c IS NULL AND interval IS NULL"
                             : "a IN (1, 2) AND b IS NULL AND c IS NULL AND interval IS NOT NULL";
    }
    const std::size_t count = QuantitiesOf(kind).size();
    std::string rule = "interval IS NOT NULL";
    const char* slots[] = {"a", "b", "c"};
    for (std::size_t i = 0; i < 3; ++i) {
        rule += std::string(" AND ") + slots[i] +
                (i < count ? " BETWEEN -2147483648 AND 2147483647 AND typeof(" +
                                 std::string(slots[i]) + ") = 'integer'"
                           : " IS NULL");
    }
    return rule;
}

}  // namespace

ArchiveStatus CheckArchive(Archive& archive, CheckReport& report) {
    report = {};
    sql::Database& db = archive.Db();
    {
        sql::Statement st = db.Prepare("PRAGMA integrity_check(20)");
        if (!st.Valid()) {
            return Failed(archive, db.ErrorCode());
        }
        int rc;
        while ((rc = st.Step()) == sql::kRow) {
            if (st.Text(0) != "ok") {
                report.findings.push_back("SQLite: " + std::string(st.Text(0)));
            }
        }
        if (rc != sql::kDone) {
            return Failed(archive, rc);
        }
    }
    int64_t sensors = 0;
    int rc = CountOf(db, "SELECT count(*) FROM reading", report.readings);
    if (rc == sql::kOk) {
        rc = CountOf(db, "SELECT count(*) FROM sensor", sensors);
    }
    report.sensors = static_cast<int>(sensors);

    // Every row holds what its sensor's kind sends.
    int64_t bad = 0;
    if (rc == sql::kOk) {
        rc = CountOf(db,
                     "SELECT count(*) FROM reading WHERE sensor NOT BETWEEN 0 AND " +
                         std::to_string(kSensorCount - 1) + " OR meta NOT BETWEEN -112 AND 113",
                     bad);
        if (bad > 0) {
            report.findings.push_back(std::to_string(bad) +
                                      " Lesungen haben keine gültige Sensornummer oder "
                                      "Zeitzone.");
        }
    }
    for (int index = 0; index < kSensorCount && rc == sql::kOk;) {
        // One rule per kind: its eight addresses (or the one special sensor) at once.
        const SensorKey key = SensorAt(index);
        const int last = key.kind == SensorKind::Special ? index : index + 7;
        rc = CountOf(db,
                     "SELECT count(*) FROM reading WHERE sensor BETWEEN " + std::to_string(index) +
                         " AND " + std::to_string(last) + " AND NOT (" +
                         RowRule(key.kind, key.remoteControl) + ")",
                     bad);
        if (rc == sql::kOk && bad > 0) {
            report.findings.push_back(std::to_string(bad) + " Lesungen der Sensorart " +
                                      std::string(KindLabel(key)) +
                                      " haben nicht die Werte ihrer Art.");
        }
        index = last + 1;
    }

    // The summaries agree with the readings.
    if (rc == sql::kOk) {
        rc = CountOf(
            db,
            "SELECT count(*) FROM (" + SensorsFromReadingsSql() + " EXCEPT SELECT * FROM sensor) ",
            bad);
        int64_t extra = 0;
        if (rc == sql::kOk) {
            rc = CountOf(db,
                         "SELECT count(*) FROM (SELECT * FROM sensor EXCEPT " +
                             SensorsFromReadingsSql() + ")",
                         extra);
        }
        if (rc == sql::kOk && bad + extra > 0) {
            report.findings.push_back("Die Sensorübersicht stimmt bei " +
                                      std::to_string(std::max(bad, extra)) +
                                      " Sensoren nicht mit den Lesungen überein.");
        }
    }
    for (const SummaryPeriod period : {SummaryPeriod::Hour, SummaryPeriod::Day}) {
        if (rc != sql::kOk) {
            break;
        }
        const bool hours = period == SummaryPeriod::Hour;
        const std::string table = hours ? "hourly" : "daily";
        rc = db.Exec(("CREATE TEMP TABLE expected AS " + SummaryFromReadingsSql(period)).c_str());
        int64_t missing = 0, extra = 0;
        if (rc == sql::kOk) {
            rc = CountOf(
                db,
                "SELECT count(*) FROM (SELECT * FROM expected EXCEPT SELECT * FROM " + table + ")",
                missing);
        }
        if (rc == sql::kOk) {
            rc = CountOf(
                db,
                "SELECT count(*) FROM (SELECT * FROM " + table + " EXCEPT SELECT * FROM expected)",
                extra);
        }
        db.Exec("DROP TABLE IF EXISTS temp.expected");
        if (rc == sql::kOk && missing + extra > 0) {
            report.findings.push_back(std::string(hours ? "Die Stundenwerte" : "Die Tageswerte") +
                                      " stimmen bei " + std::to_string(std::max(missing, extra)) +
                                      (hours ? " Stunden" : " Tagen") +
                                      " nicht mit den Lesungen überein.");
        }
    }
    return rc == sql::kOk ? ArchiveStatus{} : Failed(archive, rc);
}

}  // namespace tavrolin
