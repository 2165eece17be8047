// SPDX-License-Identifier: GPL-3.0-or-later
// The readings of ArchiveQuery.h: the sensor list, a chart's series and the export, and
// how a wind and a dew point are derived.
#include "archive/ArchiveQuery.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string_view>

#include "archive/ArchiveQueryParts.h"
#include "archive/ArchiveSchema.h"
#include "decode/SensorTracker.h"
#include "weather/WeatherFormulas.h"

namespace tavrolin {

std::string BothTables(std::string_view columns, std::string_view where) {
    std::string sql;
    for (const char* table : {"reading", "recent"}) {
        if (!sql.empty()) {
            sql += " UNION ALL ";
        }
        sql += "SELECT ";
        sql += columns;
        sql += " FROM ";
        sql += table;
        sql += " WHERE ";
        sql += where;
    }
    return sql;
}

namespace {

double ScaleOf(Quantity quantity) {
    return InfoOf(quantity).decimals == 1 ? 0.1 : 1.0;
}

// ", min(x1), max(x1), sum(x1), ..." for the three value slots, where xi is a summary
// column triple (min1, max1, sum1) or a reading's value (a, a, a); then the same of the
// derived slot 4 and the sums of the wind's vector.
std::string SlotAggregates(bool summary) {
    constexpr std::array<const char*, 3> kValues{"a", "b", "c"};
    std::string sql;
    for (std::size_t i = 0; i < kValues.size(); ++i) {
        for (const std::string f : {"min", "max", "sum"}) {
            sql += ", " + f + "(" + (summary ? "x" + f + std::to_string(i + 1) : kValues[i]) + ")";
        }
    }
    return sql + ", min(xmin4), max(xmax4), sum(xsum4), sum(xeast), sum(xnorth)";
}

// The columns of a summary row, from a summary table ("min1 AS xmin1, ...") or from a
// reading ("a AS xmin1, a AS xmax1, a AS xsum1, ...", and what it derives).
std::string SummaryColumns(bool fromSummary) {
    constexpr std::array<const char*, 3> kValues{"a", "b", "c"};
    std::string sql = fromSummary ? "n" : "1 AS n";
    for (std::size_t i = 0; i < kValues.size(); ++i) {
        for (const std::string f : {"min", "max", "sum"}) {
            const std::string slot = std::to_string(i + 1);
            sql += ", " + (fromSummary ? f + slot : std::string(kValues[i])) + " AS x" + f + slot;
        }
    }
    if (fromSummary) {
        return sql +
               ", min4 AS xmin4, max4 AS xmax4, sum4 AS xsum4, east AS xeast, north AS xnorth";
    }
    const std::string scaled = ScaledSql();
    return sql + ", " + scaled + " AS xmin4, " + scaled + " AS xmax4, " + scaled + " AS xsum4, " +
           WindEastSql() + " AS xeast, " + WindNorthSql() + " AS xnorth";
}

// What a bucket query's rows are of: a UTC minute, an hour summary, a day summary.
enum class Granule { Minute, Hour, Day };

// Reads the rows of a bucket query, granule by granule in time: granule number, count, then
// min, max and sum per slot, of slot 4, and the wind's vector; sums each bucket's granules.
ArchiveStatus ReadBuckets(Archive& archive, sql::Statement& st, Granule granule,
                          const TimeZone& zone, SensorKind kind, Series& series) {
    const std::size_t slots = series.quantities.size();
    // The stored vector's unit, in km/h: the speed is kept in tenths.
    constexpr double kWindUnit = 0.1 / static_cast<double>(kWindVectorScale);
    struct Sums {
        Instant start, end;
        int64_t n = 0;
        std::array<bool, 4> has{};
        std::array<int64_t, 4> min{}, max{}, sum{};
        int64_t east = 0, north = 0;
    };
    std::optional<Sums> bucket;
    const auto close = [&] {
        if (!bucket) {
            return;
        }
        SeriesPoint p;
        p.time = bucket->start;
        p.count = bucket->n;
        const double n = static_cast<double>(std::max<int64_t>(p.count, 1));
        for (std::size_t i = 0; i < slots; ++i) {
            const double scale = ScaleOf(series.quantities[i]);
            p.min[i] = static_cast<double>(bucket->min[i]) * scale;
            p.max[i] = static_cast<double>(bucket->max[i]) * scale;
            p.avg[i] = static_cast<double>(bucket->sum[i]) * scale / n;
        }
        p.scaledMin = static_cast<double>(bucket->min[3]);
        p.scaledMax = static_cast<double>(bucket->max[3]);
        p.scaledAvg = static_cast<double>(bucket->sum[3]) / n;
        if (kind == SensorKind::Wind) {
            p.wind = {static_cast<double>(bucket->east) * kWindUnit,
                      static_cast<double>(bucket->north) * kWindUnit};
            p.avg[1] = MeanDirection(p.wind);
            p.min[1] = p.max[1] = std::numeric_limits<double>::quiet_NaN();
        }
        DeriveDewPoint(kind, p);
        series.points.push_back(p);
    };
    int rc;
    while ((rc = st.Step()) == sql::kRow) {
        const int64_t k = st.Int(0);
        const Instant at =
            granule == Granule::Day
                ? StartOfLocalDay(zone, k)
                : FromUnixMs(k * (granule == Granule::Hour ? kMsPerHour : kMsPerMinute));
        if (!bucket || at >= bucket->end || at < bucket->start) {
            close();
            bucket = Sums{};
            bucket->start = BucketStart(zone, at, series.bucketMs);
            bucket->end = BucketEnd(zone, bucket->start, series.bucketMs);
        }
        Sums& b = *bucket;
        b.n += st.Int(1);
        for (std::size_t i = 0; i < 4; ++i) {
            const int column = 2 + static_cast<int>(i) * 3;
            if (st.IsNull(column)) {
                continue;
            }
            b.min[i] = b.has[i] ? std::min(b.min[i], st.Int(column)) : st.Int(column);
            b.max[i] = b.has[i] ? std::max(b.max[i], st.Int(column + 1)) : st.Int(column + 1);
            b.sum[i] += st.Int(column + 2);
            b.has[i] = true;
        }
        b.east += st.Int(14);
        b.north += st.Int(15);
    }
    close();
    return rc == sql::kDone ? ArchiveStatus{} : Failed(archive, rc);
}

}  // namespace

WindVector WindOf(double speedKmh, double directionDegrees) {
    const double speed = std::max(speedKmh, 0.0);
    const double radians = directionDegrees * std::numbers::pi / 180.0;
    return {speed * std::sin(radians), speed * std::cos(radians)};
}

double MeanDirection(const WindVector& sum) {
    // Far below the speed's tenth of a km/h, far above what rounding leaves of two opposite
    // winds.
    constexpr double kNoWind = 1e-6;
    if (std::hypot(sum.east, sum.north) < kNoWind) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double degrees = std::atan2(sum.east, sum.north) * 180.0 / std::numbers::pi;
    if (degrees < 0) {
        degrees += 360.0;
    }
    return degrees < 360.0 ? degrees : 0.0;  // a hair west of north rounds up to 360
}

void DeriveFromReading(SensorKind kind, SeriesPoint& reading) {
    if (kind == SensorKind::Brightness || kind == SensorKind::Pyranometer) {
        reading.scaledMin = reading.scaledAvg = reading.scaledMax = reading.avg[0] * reading.avg[1];
    } else if (kind == SensorKind::Wind) {
        reading.wind = WindOf(reading.avg[0], reading.avg[1]);
    }
    DeriveDewPoint(kind, reading);
}

void DeriveDewPoint(SensorKind kind, SeriesPoint& point) {
    if (kind != SensorKind::Outdoor && kind != SensorKind::Indoor) {
        return;
    }
    // Both kinds give the temperature first and the humidity second.
    const std::optional<int32_t> tenths =
        DewPointTenths(static_cast<int32_t>(std::lround(point.avg[0] * 10)),
                       static_cast<int>(std::lround(point.avg[1])));
    point.dewPoint = tenths ? *tenths / 10.0 : std::numeric_limits<double>::quiet_NaN();
}

ArchiveStatus ListSensors(Archive& archive, std::vector<SensorSummary>& sensors) {
    sensors.clear();
    sql::Database& db = archive.Db();
    // The counts from the day summaries (a year of a sensor is 365 rows) and the few new
    // readings; first and last from the keys.
    sql::Statement list = db.Prepare(
        "SELECT sensor, sum(n) FROM (SELECT sensor, n FROM daily UNION ALL SELECT sensor, 1 "
        "FROM recent) GROUP BY sensor ORDER BY sensor");
    sql::Statement newest =
        db.Prepare(BothTables(kColumns, "sensor = ?1") + " ORDER BY t DESC, seq DESC LIMIT " +
                   std::to_string(SensorTracker::kGapsKept + 1));
    sql::Statement first = db.Prepare(BothTables("t, meta", "sensor = ?1") + " ORDER BY t LIMIT 1");
    if (!list.Valid() || !newest.Valid() || !first.Valid()) {
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
        s.count = list.Int(1);

        first.Bind(1, id);
        if ((rc = first.Step()) == sql::kRow) {
            s.firstSeen = FromUnixMs(first.Int(0));
            s.firstSeenLocal = LocalTimeAt(s.firstSeen, OffsetOfMeta(first.Int(1)));
        }
        first.Reset();

        // The newest readings, newest first; the tracker takes them oldest first, so that the
        // usual period follows the one rule the live overview follows.
        newest.Bind(1, id);
        std::vector<Instant> times;
        while ((rc = newest.Step()) == sql::kRow) {
            if (times.empty()) {
                s.last = ReadingFromRow(newest, 0);
            }
            times.push_back(FromUnixMs(newest.Int(1)));
        }
        newest.Reset();
        if (rc != sql::kDone) {
            break;
        }
        s.recent.assign(times.rbegin(), times.rend());
        SensorTracker tracker;
        for (const Instant t : s.recent) {
            tracker.NoteSeen(s.key, t);
        }
        s.usualPeriod = tracker.LearnedPeriod(s.key);
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
    if (request.to <= request.from) {
        return {};
    }
    const int64_t fromMs = UnixMs(request.from);
    const int64_t toMs = UnixMs(request.to);
    sql::Database& db = archive.Db();
    const int sensor = IndexOf(request.sensor);
    const std::string inRange = "sensor = ?1 AND t >= ?2 AND t < ?3";

    // How many readings the range holds, from the summaries of the days it touches (local
    // days of any offset: one more on either side) and the new readings.
    sql::Statement count = db.Prepare(
        "SELECT (SELECT coalesce(sum(n), 0) FROM daily WHERE day >= ?2 / 86400000 - 1"
        " AND day <= ?3 / 86400000 + 1 AND sensor = ?1)"
        " + (SELECT count(*) FROM recent WHERE " +
        inRange + ")");
    if (!count.Valid()) {
        return Failed(archive, db.ErrorCode());
    }
    count.Bind(1, sensor);
    count.Bind(2, fromMs);
    count.Bind(3, toMs);
    int rc = count.Step();
    if (rc != sql::kRow) {
        return Failed(archive, rc);
    }
    const int64_t readings = count.Int(0);
    const int maxPoints = std::max(request.maxPoints, 1);

    if (readings <= maxPoints) {
        sql::Statement st = db.Prepare(BothTables("t, a, b, c, seq", inRange) + " ORDER BY t, seq");
        if (!st.Valid()) {
            return Failed(archive, db.ErrorCode());
        }
        st.Bind(1, sensor);
        st.Bind(2, fromMs);
        st.Bind(3, toMs);
        const std::size_t slots = series.quantities.size();
        series.points.reserve(static_cast<std::size_t>(readings));
        while ((rc = st.Step()) == sql::kRow) {
            SeriesPoint p;
            p.time = FromUnixMs(st.Int(0));
            p.count = 1;
            for (std::size_t i = 0; i < slots; ++i) {
                const double v = static_cast<double>(st.Int(1 + static_cast<int>(i))) *
                                 ScaleOf(series.quantities[i]);
                p.min[i] = p.avg[i] = p.max[i] = v;
            }
            DeriveFromReading(request.sensor.kind, p);
            series.points.push_back(p);
        }
        return rc == sql::kDone ? ArchiveStatus{} : Failed(archive, rc);
    }

    const int64_t range = toMs - fromMs;
    series.bucketMs = kBucketLadder.back();
    for (const int64_t bucket : kBucketLadder) {
        if ((range + bucket - 1) / bucket <= maxPoints) {
            series.bucketMs = bucket;
            break;
        }
    }
    // The rows come in granules that never straddle a bucket's border (BucketStart): the
    // UTC minutes of the readings for buckets under an hour, the hourly summaries up to half a
    // day, the daily ones (the readings' own local days) beyond; the new readings join each as
    // summaries of one. ReadBuckets puts each granule into its bucket.
    std::string rows;
    int64_t first = 0, last = 0;  // ?4, ?5: the summaries' range
    Granule granule = Granule::Minute;
    if (series.bucketMs < kMsPerHour) {
        rows = BothTables("t / 60000 AS k, " + SummaryColumns(false), inRange);
    } else if (series.bucketMs < kMsPerDay) {
        granule = Granule::Hour;
        rows = "SELECT hour AS k, " + SummaryColumns(true) +
               " FROM hourly WHERE hour >= ?4 AND hour < ?5 AND sensor = ?1";
        first = FloorDiv(fromMs, kMsPerHour);
        last = FloorDiv(toMs + kMsPerHour - 1, kMsPerHour);
    } else {
        granule = Granule::Day;
        rows = "SELECT day AS k, " + SummaryColumns(true) +
               " FROM daily WHERE day >= ?4 AND day < ?5 AND sensor = ?1";
        first = LocalDayIn(*request.zone, request.from);
        last = LocalDayIn(*request.zone, request.to - Milliseconds(1)) + 1;
    }
    if (granule != Granule::Minute) {
        const std::string k = granule == Granule::Hour ? "t / 3600000" : LocalDaySql();
        rows += " UNION ALL SELECT " + k + " AS k, " + SummaryColumns(false) +
                " FROM recent WHERE " + inRange;
    }
    sql::Statement st = db.Prepare("SELECT k, sum(n)" + SlotAggregates(true) + " FROM (" + rows +
                                   ") GROUP BY k ORDER BY k");
    if (!st.Valid()) {
        return Failed(archive, db.ErrorCode());
    }
    st.Bind(1, sensor);
    st.Bind(2, fromMs);
    st.Bind(3, toMs);
    st.Bind(4, first);
    st.Bind(5, last);
    return ReadBuckets(archive, st, granule, *request.zone, request.sensor.kind, series);
}

ArchiveStatus ForEachReading(Archive& archive, const SensorKey& sensor, Instant from, Instant to,
                             const std::function<void(const Reading&)>& each) {
    constexpr std::size_t kBatch = 4096;
    ReadingCursor cursor(sensor, from, to);
    std::vector<Reading> batch;
    do {
        if (const ArchiveStatus status = cursor.Next(archive, kBatch, batch); !status.Ok()) {
            return status;
        }
        for (const Reading& reading : batch) {
            each(reading);
        }
    } while (!batch.empty());
    return {};
}

ArchiveStatus ReadingCursor::Next(Archive& archive, std::size_t most, std::vector<Reading>& batch) {
    batch.clear();
    // From the last time on, past the readings of that millisecond given already: a seek in
    // the key (sensor, t, seq) of both tables, not a scan from the start.
    sql::Statement st = archive.Db().Prepare(
        BothTables(kColumns, "sensor = ?1 AND t >= ?2 AND t < ?3 AND (t > ?2 OR seq > ?4)") +
        " ORDER BY t, seq LIMIT ?5");
    if (!st.Valid()) {
        return Failed(archive, archive.Db().ErrorCode());
    }
    st.Bind(1, IndexOf(m_sensor));
    st.Bind(2, m_from);
    st.Bind(3, m_to);
    st.Bind(4, m_afterSeq);
    st.Bind(5, static_cast<int64_t>(most));
    int rc;
    while ((rc = st.Step()) == sql::kRow) {
        batch.push_back(ReadingFromRow(st, 0));
        m_from = st.Int(1);
        m_afterSeq = st.Int(7);
    }
    return rc == sql::kDone ? ArchiveStatus{} : Failed(archive, rc);
}

namespace {

// "sensor IN (0, 1, ..., 57)": with the range on t, SQLite seeks each sensor's readings from
// that time on in `reading`'s key (sensor, t, seq) instead of scanning the whole table.
std::string EverySensor() {
    std::string in = "sensor IN (";
    for (int i = 0; i < kSensorCount; ++i) {
        in += (i == 0 ? "" : ",") + std::to_string(i);
    }
    return in + ")";
}

}  // namespace

ArchiveStatus ReadingsAfter(Archive& archive, int64_t after, std::size_t limit,
                            std::vector<KeyedReading>& readings, bool* more) {
    readings.clear();
    if (more != nullptr) {
        *more = false;
    }
    sql::Statement st = archive.Db().Prepare(BothTables(kColumns, EverySensor() + " AND t >= ?1") +
                                             " ORDER BY t, sensor, seq LIMIT ?2");
    if (!st.Valid()) {
        return Failed(archive, archive.Db().ErrorCode());
    }
    st.Bind(1, TimeOfKey(after));
    // The readings of the key's own millisecond that lie at or below it come too, and are
    // left out here: at most the sensors times the readings of one millisecond.
    st.Bind(2, static_cast<int64_t>(limit) + kSensorCount * kSameTimeReadings + 1);
    int rc;
    while ((rc = st.Step()) == sql::kRow) {
        const int64_t key = RecentKey(st.Int(0), st.Int(1), st.Int(7));
        if (key <= after) {
            continue;
        }
        if (readings.size() == limit) {
            if (more != nullptr) {
                *more = true;
            }
            return {};
        }
        readings.push_back({key, ReadingFromRow(st, 0)});
    }
    return rc == sql::kDone ? ArchiveStatus{} : Failed(archive, rc);
}

ArchiveStatus NewestKey(Archive& archive, int64_t& key) {
    key = 0;
    sql::Database& db = archive.Db();
    // Each sensor's newest in `reading` is one seek in its key, and `recent` is kept by the
    // key itself; an ORDER BY over both would read the whole table.
    sql::Statement recent = db.Prepare("SELECT max(k) FROM recent");
    sql::Statement folded = db.Prepare(
        "SELECT t, seq FROM reading WHERE sensor = ?1 ORDER BY t DESC, seq DESC LIMIT 1");
    if (!recent.Valid() || !folded.Valid()) {
        return Failed(archive, db.ErrorCode());
    }
    int rc = recent.Step();
    if (rc != sql::kRow) {
        return Failed(archive, rc);
    }
    key = recent.IsNull(0) ? 0 : recent.Int(0);
    for (int sensor = 0; sensor < kSensorCount; ++sensor) {
        folded.Bind(1, sensor);
        if ((rc = folded.Step()) == sql::kRow) {
            key = std::max(key, RecentKey(sensor, folded.Int(0), folded.Int(1)));
        } else if (rc != sql::kDone) {
            return Failed(archive, rc);
        }
        folded.Reset();
    }
    return {};
}

}  // namespace tavrolin
