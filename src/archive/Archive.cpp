// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/Archive.h"

#include <algorithm>
#include <cstring>

#include "archive/ArchiveSchema.h"

namespace tavrolin {

namespace {

constexpr int kQuarterHour = 900;  // seconds
constexpr int64_t kFensterHigh = 1;
constexpr int64_t kFensterLow = 2;

// One value from a one-row statement (a PRAGMA, a count).
int ReadInt(sql::Database& db, const char* query, int64_t& value) {
    sql::Statement st = db.Prepare(query);
    if (!st.Valid()) {
        return db.ErrorCode();
    }
    const int rc = st.Step();
    if (rc != sql::kRow) {
        return rc;
    }
    value = st.Int(0);
    return sql::kOk;
}

}  // namespace

int OffsetOfMeta(int64_t meta) {
    return static_cast<int>(meta >> 1) * kQuarterHour;
}

int64_t LocalDayOf(const ArchiveRow& row) {
    return (row.t + int64_t{OffsetOfMeta(row.meta)} * 1000) / (24 * kMsPerHour);
}

ArchiveRow RowOf(const Reading& reading) {
    const int offset = reading.time.utcOffsetSeconds;
    const int quarters =
        (offset + (offset >= 0 ? kQuarterHour / 2 : -kQuarterHour / 2)) / kQuarterHour;
    return {IndexOf(reading.Key()), ToUnixMs(reading.time),
            int64_t{quarters} * 2 + (reading.version12 ? 1 : 0)};
}

Reading ReadingFromRow(const sql::Statement& row, int first) {
    const int index = static_cast<int>(std::clamp<int64_t>(row.Int(first), 0, kSensorCount - 1));
    const SensorKey key = SensorAt(index);
    const int64_t meta = row.Int(first + 2);
    Reading r;
    r.time = FromUnixMs(row.Int(first + 1), OffsetOfMeta(meta));
    r.kind = key.kind;
    r.address = key.address;
    r.version12 = (meta & 1) != 0;
    if (!row.IsNull(first + 3)) {
        r.hasInterval = true;
        r.intervalTicks = row.Int(first + 3) * 10000;
    }
    if (key.kind != SensorKind::Special) {
        const std::span<const Quantity> quantities = QuantitiesOf(key.kind);
        for (std::size_t i = 0; i < quantities.size(); ++i) {
            const int column = first + 4 + static_cast<int>(i);
            if (!row.IsNull(column)) {
                r.values[r.valueCount++] = {quantities[i], static_cast<int32_t>(row.Int(column))};
            }
        }
    } else if (key.remoteControl) {
        // The subtype is the low nibble of the first byte, address and V1.2 bit included.
        r.subtype = SpecialSubtype::RemoteControl;
        r.address = 7;
        r.version12 = true;
        const std::string_view text = row.Text(first + 4);
        const std::size_t length = std::min(text.size(), r.text.size() - 1);
        std::memcpy(r.text.data(), text.data(), length);
        r.text[length] = '\0';
    } else {
        const bool low = row.Int(first + 4) == kFensterLow;
        r.subtype = low ? SpecialSubtype::FensterLow : SpecialSubtype::FensterHigh;
        r.event = low ? FensterEvent::Low : FensterEvent::High;
        r.address = low ? 1 : 0;
        r.version12 = false;
    }
    return r;
}

ArchiveStatus Archive::Fail(int rc, bool creating) {
    return StatusOf(m_db, rc, creating);
}

ArchiveStatus Archive::Open(const std::string& path, Access access, int busyTimeoutMs) {
    Close();
    m_path = path;
    const bool creating = access == Access::Write;
    int rc = m_db.Open(path, creating);
    if (rc != sql::kOk) {
        return Fail(rc, creating);
    }
    m_db.SetBusyTimeout(busyTimeoutMs);

    // The first read of the file: here a file that is no database says so.
    int64_t application = 0, format = 0, objects = 0;
    if ((rc = ReadInt(m_db, "PRAGMA application_id", application)) != sql::kOk ||
        (rc = ReadInt(m_db, "PRAGMA user_version", format)) != sql::kOk ||
        (rc = ReadInt(m_db, "SELECT count(*) FROM sqlite_schema", objects)) != sql::kOk) {
        ArchiveStatus status = Fail(rc, creating);
        Close();
        return status;
    }
    const bool empty = application == 0 && format == 0 && objects == 0;
    ArchiveStatus status;
    if (!empty && application != kArchiveApplicationId) {
        // Another program's database is not ours to add tables to.
        status.problem = ArchiveProblem::NotAnArchive;
    } else if (format > kArchiveFormat) {
        status.problem = ArchiveProblem::NewerFormat;
        status.detail = std::to_string(format);
    } else if (format < kArchiveFormat && m_db.ReadOnly()) {
        status.problem = ArchiveProblem::NoPermission;
    } else if (!m_db.ReadOnly()) {
        // The page size can only be set before the first table, WAL stays set in the file,
        // synchronous is the connection's own.
        const std::string pragmas =
            (empty ? "PRAGMA page_size=" + std::to_string(kArchivePageSize) + ";" : std::string()) +
            "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL";
        if ((rc = m_db.Exec(pragmas.c_str())) != sql::kOk ||
            (rc = MigrateArchive(m_db, static_cast<int>(format))) != sql::kOk) {
            status = Fail(rc, creating);
        }
    }
    if (!status.Ok()) {
        Close();
    }
    return status;
}

void Archive::Close() {
    m_insert = {};
    m_hourly = {};
    m_daily = {};
    m_sensor = {};
    m_db.Close();
}

ArchiveStatus Archive::Prepare() {
    m_insert = m_db.Prepare(
        "INSERT OR IGNORE INTO reading(sensor, t, meta, interval, a, b, c)"
        " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    for (const char* table : {"hourly", "daily"}) {
        const std::string key = table[0] == 'h' ? "hour" : "day";
        (table[0] == 'h' ? m_hourly : m_daily) =
            m_db.Prepare(std::string("INSERT INTO ") + table +
                         " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"
                         " ON CONFLICT(" +
                         key +
                         ", sensor) DO UPDATE SET n = n + excluded.n,"
                         " min1 = min(min1, excluded.min1), max1 = max(max1, excluded.max1),"
                         " sum1 = sum1 + excluded.sum1,"
                         " min2 = min(min2, excluded.min2), max2 = max(max2, excluded.max2),"
                         " sum2 = sum2 + excluded.sum2,"
                         " min3 = min(min3, excluded.min3), max3 = max(max3, excluded.max3),"
                         " sum3 = sum3 + excluded.sum3");
    }
    m_sensor = m_db.Prepare(
        "INSERT INTO sensor VALUES(?1, ?2, ?3, ?4) ON CONFLICT(id) DO UPDATE SET"
        " first_t = min(first_t, excluded.first_t), last_t = max(last_t, excluded.last_t),"
        " n = n + excluded.n");
    if (!m_insert.Valid() || !m_hourly.Valid() || !m_daily.Valid() || !m_sensor.Valid()) {
        ArchiveStatus status = Fail(m_db.ErrorCode());
        m_insert = {};
        return status;
    }
    return {};
}

int Archive::Insert(const Reading& r) {
    const ArchiveRow row = RowOf(r);
    m_insert.Bind(1, row.sensor);
    m_insert.Bind(2, row.t);
    m_insert.Bind(3, row.meta);
    if (r.hasInterval) {
        m_insert.Bind(4, r.intervalTicks / 10000);
    } else {
        m_insert.BindNull(4);
    }
    for (int column = 5; column <= 7; ++column) {
        m_insert.BindNull(column);
    }
    if (r.kind != SensorKind::Special) {
        const std::span<const Quantity> quantities = QuantitiesOf(r.kind);
        for (std::size_t i = 0; i < quantities.size(); ++i) {
            if (const std::optional<Measurement> m = r.Find(quantities[i])) {
                m_insert.Bind(5 + static_cast<int>(i), int64_t{m->raw});
            }
        }
    } else if (r.subtype == SpecialSubtype::RemoteControl) {
        m_insert.Bind(5, std::string_view(r.text.data(), strnlen(r.text.data(), r.text.size())));
    } else {
        m_insert.Bind(5, r.event == FensterEvent::Low ? kFensterLow : kFensterHigh);
    }
    const int rc = m_insert.Step();
    m_insert.Reset();
    if (rc == sql::kDone && m_db.Changes() == 1) {
        Count(r, row);
    }
    return rc;
}

void Archive::Add(std::vector<PeriodSum>& sums, int64_t period, const Reading& r, int sensor) {
    // The sums of this transaction are few (a poll's sensors); the newest is the likeliest.
    auto p = std::find_if(sums.rbegin(), sums.rend(), [&](const PeriodSum& s) {
        return s.sensor == sensor && s.period == period;
    });
    if (p == sums.rend()) {
        PeriodSum fresh;
        fresh.period = period;
        fresh.sensor = sensor;
        fresh.slotCount =
            r.kind == SensorKind::Special ? 0 : static_cast<int>(QuantitiesOf(r.kind).size());
        fresh.min.fill(INT64_MAX);
        fresh.max.fill(INT64_MIN);
        sums.push_back(fresh);
        p = sums.rbegin();
    }
    ++p->n;
    for (int i = 0; i < p->slotCount; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        const int64_t raw = r.Find(QuantitiesOf(r.kind)[slot]).value_or(Measurement{}).raw;
        p->min[slot] = std::min(p->min[slot], raw);
        p->max[slot] = std::max(p->max[slot], raw);
        p->sum[slot] += raw;
    }
}

void Archive::Count(const Reading& r, const ArchiveRow& row) {
    Add(m_hours, row.t / kMsPerHour, r, row.sensor);
    Add(m_days, LocalDayOf(row), r, row.sensor);
    auto s = std::find_if(m_sensors.begin(), m_sensors.end(),
                          [&](const SensorSum& e) { return e.sensor == row.sensor; });
    if (s == m_sensors.end()) {
        m_sensors.push_back({row.sensor, row.t, row.t, 0});
        s = m_sensors.end() - 1;
    }
    s->first = std::min(s->first, row.t);
    s->last = std::max(s->last, row.t);
    ++s->n;
}

int Archive::WriteSums(sql::Statement& upsert, const std::vector<PeriodSum>& sums) {
    for (const PeriodSum& p : sums) {
        upsert.Bind(1, p.period);
        upsert.Bind(2, p.sensor);
        upsert.Bind(3, p.n);
        for (int i = 0; i < 3; ++i) {
            const auto slot = static_cast<std::size_t>(i);
            const int column = 4 + i * 3;
            if (i < p.slotCount) {
                upsert.Bind(column, p.min[slot]);
                upsert.Bind(column + 1, p.max[slot]);
                upsert.Bind(column + 2, p.sum[slot]);
            } else {
                upsert.BindNull(column);
                upsert.BindNull(column + 1);
                upsert.BindNull(column + 2);
            }
        }
        const int rc = upsert.Step();
        upsert.Reset();
        if (rc != sql::kDone) {
            return rc;
        }
    }
    return sql::kOk;
}

int Archive::WriteSums() {
    int rc = WriteSums(m_hourly, m_hours);
    if (rc == sql::kOk) {
        rc = WriteSums(m_daily, m_days);
    }
    for (const SensorSum& s : m_sensors) {
        if (rc != sql::kOk) {
            break;
        }
        m_sensor.Bind(1, s.sensor);
        m_sensor.Bind(2, s.first);
        m_sensor.Bind(3, s.last);
        m_sensor.Bind(4, s.n);
        rc = m_sensor.Step();
        m_sensor.Reset();
        rc = rc == sql::kDone ? sql::kOk : rc;
    }
    return rc;
}

ArchiveStatus Archive::Write(std::span<const Reading> readings, Counts* counts) {
    if (!m_insert.Valid()) {
        if (!IsOpen()) {
            return {ArchiveProblem::Other, "not open"};
        }
        if (ArchiveStatus status = Prepare(); !status.Ok()) {
            return status;
        }
    }
    // BEGIN IMMEDIATE takes the write lock at once: waiting for another writer happens
    // here, within the busy timeout, and never midway.
    const bool own = !m_db.InTransaction();
    int rc = m_db.Exec(own ? "BEGIN IMMEDIATE" : "SAVEPOINT archive_write");
    if (rc != sql::kOk) {
        return Fail(rc);
    }
    m_hours.clear();
    m_days.clear();
    m_sensors.clear();
    Counts written;
    for (const Reading& reading : readings) {
        rc = Insert(reading);
        if (rc != sql::kDone) {
            break;
        }
        ++(m_db.Changes() == 1 ? written.added : written.duplicates);
        rc = sql::kOk;
    }
    if (rc == sql::kOk) {
        rc = WriteSums();
    }
    if (rc == sql::kOk) {
        rc = m_db.Exec(own ? "COMMIT" : "RELEASE archive_write");
    }
    if (rc != sql::kOk) {
        const ArchiveStatus status = Fail(rc);
        if (!own) {
            m_db.Exec("ROLLBACK TO archive_write; RELEASE archive_write");
        } else if (m_db.InTransaction()) {
            m_db.Exec("ROLLBACK");
        }
        return status;
    }
    if (counts != nullptr) {
        *counts = written;
    }
    return {};
}

}  // namespace tavrolin
