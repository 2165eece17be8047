// SPDX-License-Identifier: GPL-3.0-or-later
// The rain of ArchiveQuery.h: a rain sensor's rain per hour or day, and where each rain
// sensor's rain stands for a program to go on from.
#include "archive/ArchiveQuery.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveQueryParts.h"
#include "archive/ArchiveSchema.h"

namespace tavrolin {

ArchiveStatus QueryRain(Archive& archive, const SeriesRequest& request, int64_t bucketMs,
                        Series& series) {
    series.quantities = QuantitiesOf(request.sensor.kind);
    series.bucketMs = bucketMs;
    series.points.clear();
    series.lastCounter.reset();
    if (request.to <= request.from) {
        return {};
    }
    sql::Database& db = archive.Db();
    const int sensor = IndexOf(request.sensor);
    const bool days = bucketMs >= kMsPerDay;
    const TimeZone& zone = *request.zone;
    // The summaries' hours, or the local days in the zone, as far as the range reaches.
    const int64_t first = days ? LocalDayIn(zone, request.from) : UtcHourOf(request.from);
    const int64_t last = (days ? LocalDayIn(zone, request.to - Milliseconds(1))
                               : UtcHourOf(request.to - Milliseconds(1))) +
                         1;

    std::map<int64_t, SeriesPoint> buckets;
    sql::Statement st =
        db.Prepare(std::string(days ? "SELECT day, n, rain FROM daily WHERE day"
                                    : "SELECT hour, n, rain FROM hourly WHERE hour") +
                   " >= ?2 AND " + (days ? "day" : "hour") + " < ?3 AND sensor = ?1");
    sql::Statement newest = db.Prepare(BothTables("a, t, seq", "sensor = ?1 AND t < ?2") +
                                       " ORDER BY t DESC, seq DESC LIMIT 1");
    if (!st.Valid() || !newest.Valid()) {
        return Failed(archive, db.ErrorCode());
    }
    st.Bind(1, sensor);
    st.Bind(2, first);
    st.Bind(3, last);
    int rc;
    while ((rc = st.Step()) == sql::kRow) {
        SeriesPoint& p = buckets[st.Int(0)];
        p.count += st.Int(1);
        p.rainSteps += st.Int(2);
    }
    if (rc != sql::kDone) {
        return Failed(archive, rc);
    }
    std::vector<RainStep> steps;
    if ((rc = RainOfRecent(db, sensor, steps)) != sql::kOk) {
        return Failed(archive, rc);
    }
    for (const RainStep& step : steps) {
        const Instant t = FromUnixMs(step.t);
        const int64_t key = days ? LocalDayOf(t, OffsetOfMeta(step.meta)) : UtcHourOf(t);
        if (key >= first && key < last) {
            SeriesPoint& p = buckets[key];
            p.count += step.fresh ? 1 : 0;
            p.rainSteps += step.steps;
        }
    }
    for (auto& [key, p] : buckets) {
        p.time = days ? StartOfLocalDay(zone, key) : FromUnixMs(key * kMsPerHour);
        series.points.push_back(p);
    }

    newest.Bind(1, sensor);
    newest.Bind(2, UnixMs(request.to));
    if ((rc = newest.Step()) == sql::kRow && !newest.IsNull(0)) {
        series.lastCounter = static_cast<int32_t>(newest.Int(0));
    }
    return rc == sql::kRow || rc == sql::kDone ? ArchiveStatus{} : Failed(archive, rc);
}

ArchiveStatus QueryRainResume(Archive& archive, std::vector<RainResume>& resumes) {
    resumes.clear();
    sql::Database& db = archive.Db();
    // The totals: each rain sensor's daily sums, and what the new readings add.
    std::map<int, int64_t> totals;
    sql::Statement sums = db.Prepare("SELECT sensor, sum(rain) FROM daily WHERE " +
                                     SensorsOfKind(SensorKind::Rain) + " GROUP BY sensor");
    sql::Statement newest = db.Prepare(BothTables("t, meta, seq", "sensor = ?1") +
                                       " ORDER BY t DESC, seq DESC LIMIT 1");
    sql::Statement base = db.Prepare(BothTables(kColumns, "sensor = ?1 AND t < ?2") +
                                     " ORDER BY t DESC, seq DESC LIMIT 1");
    sql::Statement later =
        db.Prepare(BothTables(kColumns, "sensor = ?1 AND t >= ?2") + " ORDER BY t, seq");
    if (!sums.Valid() || !newest.Valid() || !base.Valid() || !later.Valid()) {
        return Failed(archive, db.ErrorCode());
    }
    int rc;
    while ((rc = sums.Step()) == sql::kRow) {
        totals[static_cast<int>(sums.Int(0))] += sums.Int(1);
    }
    if (rc != sql::kDone) {
        return Failed(archive, rc);
    }
    std::vector<RainStep> steps;
    if ((rc = RainOfRecent(db, std::nullopt, steps)) != sql::kOk) {
        return Failed(archive, rc);
    }
    for (const RainStep& step : steps) {
        totals[step.sensor] += step.steps;
    }

    const auto counter = [](const Reading& r) -> std::optional<int64_t> {
        const std::optional<Measurement> m = r.Find(Quantity::RainCounter);
        return m ? std::optional<int64_t>(m->raw) : std::nullopt;
    };
    for (const auto& [sensor, total] : totals) {
        newest.Bind(1, sensor);
        rc = newest.Step();
        const Instant lastTime = FromUnixMs(rc == sql::kRow ? newest.Int(0) : 0);
        const int offset = rc == sql::kRow ? OffsetOfMeta(newest.Int(1)) : 0;
        newest.Reset();
        if (rc == sql::kDone) {
            continue;
        }
        if (rc != sql::kRow) {
            return Failed(archive, rc);
        }
        // The last reading's local midnight, by its own offset.
        const int64_t midnight = LocalDayOf(lastTime, offset) * kMsPerDay - int64_t{offset} * 1000;
        RainResume resume;
        resume.address = SensorAt(sensor).address;
        for (sql::Statement* st : {&base, &later}) {
            st->Bind(1, sensor);
            st->Bind(2, midnight - kMsPerHour);
            while ((rc = st->Step()) == sql::kRow) {
                resume.readings.push_back(ReadingFromRow(*st, 0));
            }
            st->Reset();
            if (rc != sql::kDone) {
                return Failed(archive, rc);
            }
        }
        resume.stepsBefore = total;
        for (std::size_t i = 1; i < resume.readings.size(); ++i) {
            resume.stepsBefore -=
                RainStepsOfReading(counter(resume.readings[i - 1]), counter(resume.readings[i]));
        }
        resumes.push_back(std::move(resume));
    }
    return {};
}

}  // namespace tavrolin
