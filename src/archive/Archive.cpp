// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/Archive.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "archive/ArchiveMigration.h"
#include "archive/ArchiveSchema.h"

namespace tavrolin {

namespace {

constexpr int kQuarterHour = 900;  // seconds
constexpr int64_t kFensterHigh = 1;
constexpr int64_t kFensterLow = 2;

}  // namespace

int OffsetOfMeta(int64_t meta) {
    return static_cast<int>(meta >> 1) * kQuarterHour;
}

StoredReading StoredReading::Of(const Reading& reading) {
    StoredReading stored;
    stored.t = UnixMs(reading.time);
    if (reading.interval) {
        stored.interval = reading.interval->count();
    }
    const int offset = reading.utcOffsetSeconds;
    const int quarters =
        (offset + (offset >= 0 ? kQuarterHour / 2 : -kQuarterHour / 2)) / kQuarterHour;
    stored.meta = static_cast<int16_t>(quarters * 2 + (reading.version12 ? 1 : 0));
    stored.sensor = static_cast<uint8_t>(IndexOf(reading.Key()));
    if (reading.kind != SensorKind::Special) {
        const std::span<const Quantity> quantities = QuantitiesOf(reading.kind);
        for (std::size_t i = 0; i < quantities.size(); ++i) {
            if (const std::optional<Measurement> m = reading.Find(quantities[i])) {
                stored.columns[i] = m->raw;
                stored.present |= static_cast<uint8_t>(1U << i);
            }
        }
    } else if (reading.subtype == SpecialSubtype::RemoteControl) {
        std::copy_n(reading.text.begin(), stored.text.size(), stored.text.begin());
        stored.present = 1;
    } else {
        stored.columns[0] = reading.event == FensterEvent::Low ? kFensterLow : kFensterHigh;
        stored.present = 1;
    }
    return stored;
}

std::string_view StoredReading::Text() const {
    return {text.data(), strnlen(text.data(), text.size())};
}

Reading StoredReading::ToReading() const {
    const SensorKey key = SensorAt(std::min<int>(sensor, kSensorCount - 1));
    Reading r;
    r.time = FromUnixMs(t);
    r.utcOffsetSeconds = OffsetOfMeta(meta);
    r.kind = key.kind;
    r.address = key.address;
    r.version12 = (meta & 1) != 0;
    if (interval != kNoInterval) {
        r.interval = Milliseconds(interval);
    }
    if (key.kind != SensorKind::Special) {
        const std::span<const Quantity> quantities = QuantitiesOf(key.kind);
        for (std::size_t i = 0; i < quantities.size(); ++i) {
            if ((present & (1U << i)) != 0) {
                r.values[r.valueCount++] = {quantities[i], columns[i]};
            }
        }
    } else if (key.remoteControl) {
        r.MakeRemoteControl(Text());
    } else {
        r.MakeFensterEvent(columns[0] == kFensterLow ? FensterEvent::Low : FensterEvent::High);
    }
    return r;
}

ArchiveRow RowOf(const StoredReading& reading) {
    return {reading.sensor, reading.t, 0, reading.meta};
}

Reading ReadingFromRow(const sql::Statement& row, int first) {
    StoredReading stored;
    stored.sensor = static_cast<uint8_t>(std::clamp<int64_t>(row.Int(first), 0, kSensorCount - 1));
    stored.t = row.Int(first + 1);
    stored.meta = static_cast<int16_t>(row.Int(first + 2));
    if (!row.IsNull(first + 3)) {
        stored.interval = row.Int(first + 3);
    }
    if (SensorAt(stored.sensor).remoteControl) {
        const std::string_view text = row.Text(first + 4);
        std::copy_n(text.begin(), std::min(text.size(), stored.text.size()), stored.text.begin());
    } else {
        for (int i = 0; i < 3; ++i) {
            if (!row.IsNull(first + 4 + i)) {
                stored.columns[static_cast<std::size_t>(i)] =
                    static_cast<int32_t>(row.Int(first + 4 + i));
                stored.present |= static_cast<uint8_t>(1U << i);
            }
        }
    }
    return stored.ToReading();
}

ArchiveStatus Archive::Fail(int rc, bool creating) {
    return StatusOf(m_db, rc, creating);
}

ArchiveStatus Archive::Open(const std::string& path, Access access, int busyTimeoutMs) {
    // Some locks of an opening are not waited for by SQLite's busy handler: the switch of a
    // new file to WAL, and the recovery of a WAL that another program is opening at the same
    // moment, give up at once. Within the caller's timeout the whole opening is tried again.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs);
    for (;;) {
        ArchiveStatus status = OpenOnce(path, access, busyTimeoutMs);
        if (status.problem != ArchiveProblem::Locked ||
            std::chrono::steady_clock::now() >= deadline) {
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

ArchiveStatus Archive::OpenOnce(const std::string& path, Access access, int busyTimeoutMs) {
    Close();
    m_path = path;
    const bool creating = access == Access::Write;
    int rc = creating ? m_db.Open(path, true) : OpenToRead(path);
    if (rc != sql::kOk) {
        ArchiveStatus status = Fail(rc, creating);
        Close();
        // A file that cannot be created in a folder that is there: SQLite's last try opens
        // it read-only, and that says "no such file"; the folder is read-only or not ours.
        std::error_code error;
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (status.problem == ArchiveProblem::NoFolder &&
            std::filesystem::is_directory(folder.empty() ? "." : folder, error)) {
            status.problem = ArchiveProblem::NoPermission;
        }
        return status;
    }
    m_db.SetBusyTimeout(busyTimeoutMs);
    if ((rc = DefineArchiveFunctions(m_db)) != sql::kOk) {
        ArchiveStatus status = Fail(rc, creating);
        Close();
        return status;
    }

    // The first read of the file: here a file that is no database says so. The three are
    // read in one transaction, so that another program's migration step committed between
    // them cannot make a half-made archive look like a foreign database.
    int64_t application = 0, format = 0, objects = 0;
    if ((rc = m_db.Exec("BEGIN")) != sql::kOk ||
        (rc = sql::ReadInt(m_db, "PRAGMA application_id", application)) != sql::kOk ||
        (rc = sql::ReadInt(m_db, "PRAGMA user_version", format)) != sql::kOk ||
        (rc = sql::ReadInt(m_db, "SELECT count(*) FROM sqlite_schema", objects)) != sql::kOk ||
        (rc = m_db.Exec("COMMIT")) != sql::kOk) {
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
    } else if (access == Access::Read) {
        // An empty file is one a writer has not yet made an archive: nothing to read yet.
        if (empty) {
            status.problem = ArchiveProblem::NotAnArchive;
        } else if (format < kArchiveFormat) {
            status.problem = ArchiveProblem::OlderFormat;
            status.detail = std::to_string(format);
        } else if ((rc = m_db.Exec("PRAGMA mmap_size=268435456")) != sql::kOk) {
            // A reader reads pages through a mapping: no read call per page, where a chart or
            // an export reads thousands.
            status = Fail(rc);
        }
    } else if (format < kArchiveFormat && m_db.ReadOnly()) {
        status.problem = ArchiveProblem::NoPermission;
    } else if (!m_db.ReadOnly()) {
        // The page size can only be set before the first table; WAL stays set in the file;
        // the rest is the connection's own. The WAL is copied back every 4 MiB rather than
        // every 1 MiB. A writer reads no pages through a mapping, unlike a reader: it reads
        // few pages, mostly those it has just written and still holds in its cache, and every
        // page it once read through a mapping would stay in its resident memory as the file
        // grows (a receiving program's rose by some 50 kB a minute at 200 readings a second).
        const std::string pragmas =
            (empty ? "PRAGMA page_size=" + std::to_string(kArchivePageSize) + ";" : std::string()) +
            "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=4000;";
        if ((rc = m_db.Exec(pragmas.c_str())) != sql::kOk ||
            (rc = MigrateArchive(m_db, static_cast<int>(format))) != sql::kOk) {
            status = Fail(rc, creating);
            if (m_db.InTransaction()) {
                m_db.Exec("ROLLBACK");
            }
        } else if (format > 0 && format < kArchiveFormat) {
            // A step that copies the readings writes them all into the WAL: its file is
            // emptied now, not kept at that size while the program runs (another program
            // reading at the moment may keep it; it is emptied at the next opening then).
            m_db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        }
    }
    if (status.Ok() && sql::ReadInt(m_db, "SELECT count(*) FROM recent", m_recent) != sql::kOk) {
        m_recent = 0;
    }
    if (!status.Ok()) {
        Close();
    }
    return status;
}

// A reader never writes, and leaves nothing beside the file: how it opens the file depends
// on who else may be at it.
// - A -wal beside the file: a writer is at work (or stopped without clearing it away). The
//   file is read through that WAL and the writer's -shm, read-only: no right to write them is
//   needed, only to read them and the file.
// - None, and the file and its folder may be written: an ordinary connection, kept from
//   writing by query_only. A writer may start while it reads; the -wal and -shm that SQLite
//   makes for them both go again with the last connection. (A read-only one would make them
//   all the same and leave them behind, as files of this user, which another user's logger
//   then could not write.)
// - None, and nothing can be made beside the file (a copy on read-only media, a folder of
//   another user's stopped logger): no connection has the file in WAL mode now, so it is
//   read as one nothing writes, without locks or -shm, which there is no place for. Should a
//   writer come after all, Stale() tells, and it copies its WAL back only after thousands of
//   pages or when it ends.
int Archive::OpenToRead(const std::string& path) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    int rc;
    if (std::filesystem::exists(path + "-wal", error)) {
        rc = m_db.OpenReadOnly(path, false);
    } else if (sql::MayWrite(path) && sql::MayWrite(folder.empty() ? "." : folder.string())) {
        rc = m_db.Open(path, false);
    } else {
        m_immutable = true;
        rc = m_db.OpenReadOnly(path, true);
    }
    if (rc == sql::kOk) {
        rc = m_db.Exec("PRAGMA query_only=1");
    }
    return rc;
}

bool Archive::Stale() const {
    std::error_code error;
    return m_immutable && IsOpen() && std::filesystem::exists(m_path + "-wal", error);
}

void Archive::Close() {
    m_insert = {};
    m_immutable = false;
    m_db.Close();
}

bool Archive::IsNewerThanFolded(const ArchiveRow& row) {
    if (row.sensor < 0 || row.sensor >= kSensorCount) {
        return false;
    }
    int64_t& newest = m_folded[static_cast<std::size_t>(row.sensor)];
    if (newest == kUnknown) {
        m_newestFolded.Bind(1, row.sensor);
        if (m_newestFolded.Step() == sql::kRow) {
            newest = m_newestFolded.IsNull(0) ? std::numeric_limits<int64_t>::min()
                                              : m_newestFolded.Int(0);
        }
        m_newestFolded.Reset();
    }
    return newest != kUnknown && row.t > newest;
}

static_assert(kSensorCount <= 64, "RecentKey keeps a sensor number in six bits");

ArchiveRow ReadingNumbering::Next(const StoredReading& reading) {
    ArchiveRow row = RowOf(reading);
    if (row.sensor >= 0 && row.sensor < kSensorCount) {
        Last& previous = m_last[static_cast<std::size_t>(row.sensor)];
        // The interval as kept (whole milliseconds): none, or none since the previous.
        const bool sameInstant =
            reading.interval == StoredReading::kNoInterval || reading.interval == 0;
        if (row.t == previous.t && sameInstant) {
            row.seq = std::min(previous.seq + 1, kSameTimeReadings - 1);
        }
        previous = {row.t, row.seq};
    }
    return row;
}

// The statement's parameters are the columns of `recent`: ?1 k, ?2 sensor, ?3 t, ?4 seq,
// ?5 meta, ?6 interval, ?7 .. ?9 a, b, c.
int Archive::Insert(const StoredReading& r, const ArchiveRow& row, sql::Statement& statement) {
    statement.Bind(1, KeyOf(row));
    statement.Bind(2, row.sensor);
    statement.Bind(3, row.t);
    statement.Bind(4, row.seq);
    statement.Bind(5, row.meta);
    if (r.interval != StoredReading::kNoInterval) {
        statement.Bind(6, r.interval);
    } else {
        statement.BindNull(6);
    }
    for (int column = 7; column <= 9; ++column) {
        statement.BindNull(column);
    }
    if (SensorAt(r.sensor).remoteControl) {
        statement.Bind(7, r.Text());
    } else {
        for (std::size_t i = 0; i < r.columns.size(); ++i) {
            if ((r.present & (1U << i)) != 0) {
                statement.Bind(7 + static_cast<int>(i), int64_t{r.columns[i]});
            }
        }
    }
    const int rc = statement.Step();
    statement.Reset();
    return rc;
}

ArchiveStatus Archive::Write(std::span<const Reading> readings, Counts* counts) {
    std::vector<StoredReading> stored;
    stored.reserve(readings.size());
    for (const Reading& reading : readings) {
        stored.push_back(StoredReading::Of(reading));
    }
    return Write(stored, counts);
}

ArchiveStatus Archive::Write(std::span<const StoredReading> readings, Counts* counts) {
    if (!m_insert.Valid()) {
        if (!IsOpen()) {
            return {ArchiveProblem::Other, "not open"};
        }
        // A reading already folded into `reading` is not added again; one still in `recent`
        // is ignored by the key.
        m_insert = m_db.Prepare(
            "INSERT OR IGNORE INTO recent SELECT ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9 WHERE NOT"
            " EXISTS (SELECT 1 FROM reading WHERE sensor = ?2 AND t = ?3 AND seq = ?4)");
        m_append =
            m_db.Prepare("INSERT OR IGNORE INTO recent VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        m_newestFolded = m_db.Prepare("SELECT max(t) FROM reading WHERE sensor = ?1");
        m_dataVersion = m_db.Prepare("PRAGMA data_version");
        if (!m_insert.Valid() || !m_append.Valid() || !m_newestFolded.Valid() ||
            !m_dataVersion.Valid()) {
            const ArchiveStatus status = Fail(m_db.ErrorCode());
            m_insert = {};
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
    // Another program's commit may have folded readings this one has not seen.
    if ((rc = m_dataVersion.Step()) == sql::kRow) {
        if (m_dataVersion.Int(0) != m_seenVersion) {
            m_seenVersion = m_dataVersion.Int(0);
            m_folded.fill(kUnknown);
        }
        rc = sql::kOk;
    }
    m_dataVersion.Reset();
    // Each reading's seq, counted on from the last Write's; kept once this one succeeds.
    ReadingNumbering numbering = m_numbering;
    m_order.clear();
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const ArchiveRow row = numbering.Next(readings[i]);
        m_order.push_back({row, i});
    }
    // In key order, so that each row comes at the end of `recent`: a full last page then gets
    // a new one beside it, and is not shared out with its neighbours (four pages written
    // instead of two). Equal keys keep their order: the first of them is the one kept.
    std::sort(m_order.begin(), m_order.end(), [](const Ordered& a, const Ordered& b) {
        return std::pair(KeyOf(a.row), a.index) < std::pair(KeyOf(b.row), b.index);
    });
    Counts written;
    for (const auto& [row, index] : m_order) {
        if (rc != sql::kOk) {
            break;
        }
        rc = Insert(readings[index], row, IsNewerThanFolded(row) ? m_append : m_insert);
        if (rc != sql::kDone) {
            break;
        }
        ++(m_db.Changes() == 1 ? written.added : written.duplicates);
        rc = sql::kOk;
    }
    // Another writer's rows count too, but this one sees only its own: a fold may come
    // early, never much late.
    if (rc == sql::kOk && m_recent + written.added >= kFoldRows) {
        rc = FoldRecent(m_db);
        m_folded.fill(kUnknown);
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
    m_recent = m_recent + written.added >= kFoldRows ? 0 : m_recent + written.added;
    m_numbering = numbering;
    if (counts != nullptr) {
        *counts = written;
    }
    return {};
}

}  // namespace tavrolin
