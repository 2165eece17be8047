// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/ArchiveSchema.h"
#include "archive/ArchiveStatus.h"
#include "archive/Sqlite.h"
#include "decode/Reading.h"

namespace tavrolin {

// The key and meta columns of one row of `reading` (ArchiveSchema.h).
struct ArchiveRow {
    int sensor = 0;
    int64_t t = 0;  // UTC milliseconds
    int64_t seq = 0;
    int64_t meta = 0;
};

// A reading as the archive keeps it, in 40 bytes against a Reading's 300: its row's columns
// but seq (which Archive::Write numbers), without the weather values that readers derive
// anew. The readings that wait for their commit, or for an archive that cannot be written,
// are kept so: at a heavy load 10 000 of them, for ten days of a failed archive 100 000.
struct StoredReading {
    static constexpr int64_t kNoInterval = std::numeric_limits<int64_t>::min();

    int64_t t = 0;  // UTC milliseconds
    int64_t interval = kNoInterval;
    // Columns a, b, c: the values, in the order of QuantitiesOf(kind), those of `present`;
    // the Fenster event in a.
    std::array<int32_t, 3> columns{};
    std::array<char, 5> text{};  // the remote control's characters, column a; NUL-padded
    int16_t meta = 0;
    uint8_t sensor = 0;   // IndexOf(Key())
    uint8_t present = 0;  // bit i: column i holds a value

    static StoredReading Of(const Reading& reading);
    Reading ToReading() const;
    std::string_view Text() const;
};

// Numbers the readings in the order they are written as the archive keeps them
// (ArchiveSchema.h): each reading's key columns, its seq counted on from the sensor's reading
// before. The archive's writer and the live feed number alike, so that the feed names a
// reading by the key the archive gives it.
class ReadingNumbering {
public:
    // The row of the next reading: its key and meta columns.
    ArchiveRow Next(const StoredReading& reading);
    ArchiveRow Next(const Reading& reading) { return Next(StoredReading::Of(reading)); }

private:
    // Per sensor, the key of the last reading numbered (its seq numbers the next one of
    // that millisecond).
    struct Last {
        int64_t t = std::numeric_limits<int64_t>::min();
        int64_t seq = 0;
    };
    std::array<Last, kSensorCount> m_last{};
};

// The archive of every reading: one SQLite file (tables in ArchiveSchema.h), in WAL mode so
// that readers (the window's charts, tavrolin-history) never wait for the writer nor hold it
// up, with synchronous=NORMAL: a crash or SIGKILL at any moment leaves a file that opens
// with every committed reading; a power cut may cost the last transactions, never the file.
// Several programs may write one archive; each transaction waits for the others at most
// the busy timeout given to Open.
//
// One object is one connection and belongs to one thread.
class Archive {
public:
    enum class Access {
        Write,  // creates the file when missing, brings an older format up to date
        // The file must exist and be of the current format, and is only read: no migration
        // (an older format is left to a writer, ArchiveProblem::OlderFormat), no write, and
        // nothing left beside the file. It may be on read-only media, or another user's
        // archive that a logger is writing while this one may only read it.
        Read,
    };

    Archive() = default;
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Opens the file, makes sure it is an archive (or an empty file, which becomes one) and
    // brings an older format up to date. A file of a newer format is not touched.
    ArchiveStatus Open(const std::string& path, Access access, int busyTimeoutMs);
    void Close();
    bool IsOpen() const { return m_db.IsOpen(); }
    // A reader that took the file for one nothing writes, while a writer has come since: it
    // must open the file again to see what is written (and before the writer copies its WAL
    // back into the file).
    bool Stale() const;
    // The file at Path() is another than the one this connection reads, or none: deleted, a
    // backup restored in its place, an archive begun anew. The open file stays readable as
    // it was, so without this nothing would ever tell.
    bool Moved() const { return m_db.HasMoved(); }
    const std::string& Path() const { return m_path; }

    struct Counts {
        int64_t added = 0;
        int64_t duplicates = 0;  // already there: the same sensor, t and seq
    };
    // Writes the readings in one transaction: all or nothing (ArchiveSchema.h says where
    // they go, and how readings of one sensor and millisecond are numbered: in the order
    // given, going on from this connection's last successful Write). Inside a transaction
    // of the caller's, a savepoint of it.
    ArchiveStatus Write(std::span<const StoredReading> readings, Counts* counts = nullptr);
    ArchiveStatus Write(std::span<const Reading> readings, Counts* counts = nullptr);

    sql::Database& Db() { return m_db; }

private:
    ArchiveStatus OpenOnce(const std::string& path, Access access, int busyTimeoutMs);
    int OpenToRead(const std::string& path);
    ArchiveStatus Fail(int rc, bool creating = false);
    int Insert(const StoredReading& reading, const ArchiveRow& row, sql::Statement& statement);
    bool IsNewerThanFolded(const ArchiveRow& row);

    sql::Database m_db;
    std::string m_path;
    bool m_immutable = false;  // opened by OpenToRead as a file nothing writes
    sql::Statement m_insert;   // a reading that may be in `reading` already
    sql::Statement m_append;   // one newer than every folded reading of its sensor
    sql::Statement m_newestFolded;
    sql::Statement m_dataVersion;
    int64_t m_seenVersion = -1;
    // Per sensor, the time of its newest reading in `reading` (kUnknown until looked up), so
    // that a new reading is not looked for there: a seek in the biggest table costs as much
    // as the rest of its writing.
    static constexpr int64_t kUnknown = std::numeric_limits<int64_t>::max();
    std::array<int64_t, kSensorCount> m_folded{};
    // A Write's readings with their rows, in the order they are inserted.
    struct Ordered {
        ArchiveRow row;
        std::size_t index;
    };
    std::vector<Ordered> m_order;
    int64_t m_recent = 0;  // readings in `recent`, as far as this connection knows
    ReadingNumbering m_numbering;
};

// The key (seq 0) and meta columns of a reading's row, and the Reading a row gives back.
ArchiveRow RowOf(const StoredReading& reading);
inline ArchiveRow RowOf(const Reading& reading) {
    return RowOf(StoredReading::Of(reading));
}
// The row's RecentKey (ArchiveSchema.h): the reading's place in the station's history.
constexpr int64_t KeyOf(const ArchiveRow& row) {
    return RecentKey(row.sensor, row.t, row.seq);
}
// Columns first .. first + 6 of the statement: sensor, t, meta, interval, a, b, c.
Reading ReadingFromRow(const sql::Statement& row, int first);

// The reading's UTC offset as kept in meta: whole quarter hours, as every time zone has.
int OffsetOfMeta(int64_t meta);

}  // namespace tavrolin
