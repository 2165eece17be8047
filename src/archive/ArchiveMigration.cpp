// SPDX-License-Identifier: GPL-3.0-or-later
// The steps that bring a file of an older format up to the current one (ArchiveSchema.h),
// one per format, and the run of them when an archive is opened for writing.
#include "archive/ArchiveMigration.h"

#include <string>

#include "archive/ArchiveSchema.h"
#include "archive/Sqlite.h"
#include "decode/Reading.h"

namespace tavrolin {

namespace {

// Format 1: the readings alone.
int CreateReadings(sql::Database& db) {
    const std::string sql = "PRAGMA application_id=" + std::to_string(kArchiveApplicationId) +
                            ";"
                            "CREATE TABLE reading("
                            " sensor INTEGER NOT NULL,"
                            " t INTEGER NOT NULL,"
                            " meta INTEGER NOT NULL,"
                            " interval INTEGER,"
                            " a, b, c,"  // no type: the remote control's text stays text
                            " PRIMARY KEY(sensor, t)) WITHOUT ROWID;";
    return db.Exec(sql.c_str());
}

// Format 2: summaries per hour and per day, so that a chart over years and the sensor list
// read thousands of rows instead of millions, and the table of new readings.
int AddSummaries(sql::Database& db) {
    std::string sql =
        "CREATE TABLE recent(sensor INTEGER NOT NULL, t INTEGER NOT NULL, meta INTEGER NOT NULL,"
        " interval INTEGER, a, b, c, PRIMARY KEY(t, sensor)) WITHOUT ROWID;";
    for (const SummaryPeriod period : {SummaryPeriod::Hour, SummaryPeriod::Day}) {
        const std::string key = SummaryKeyColumn(period);
        sql += "CREATE TABLE " + std::string(SummaryTable(period)) + "(" + key +
               " INTEGER NOT NULL, sensor INTEGER NOT NULL, n INTEGER NOT NULL,"
               " min1 INTEGER, max1 INTEGER, sum1 INTEGER,"
               " min2 INTEGER, max2 INTEGER, sum2 INTEGER,"
               " min3 INTEGER, max3 INTEGER, sum3 INTEGER,"
               " PRIMARY KEY(" +
               key + ", sensor)) WITHOUT ROWID;";
    }
    const int rc = db.Exec(sql.c_str());
    return rc != sql::kOk ? rc : RebuildSummaries(db, Derived::Without);
}

// Format 3: `recent` keyed by one integer made of time and sensor, a table of its own rows
// rather than an index. New readings always come at its end, where SQLite adds a page of
// their own when the last one is full; kept as an index by (t, sensor), every full page was
// shared out again with its neighbours, and a poll changed four pages.
int KeyRecentByInteger(sql::Database& db) {
    return db.Exec(
        "CREATE TABLE recent3(k INTEGER PRIMARY KEY, sensor INTEGER NOT NULL,"
        " t INTEGER NOT NULL, meta INTEGER NOT NULL, interval INTEGER, a, b, c);"
        "INSERT INTO recent3 SELECT t * 64 + sensor, * FROM recent;"
        "DROP TABLE recent; ALTER TABLE recent3 RENAME TO recent;");
}

// Format 4: readings known by (sensor, t, seq), so that two readings of one sensor in one
// millisecond are both kept. Every reading of an older file was the only one of its
// millisecond: seq 0. `reading` is copied sensor by sensor, each one's rows deleted once
// copied, so that the file grows by one sensor's share, not by all of it: the pages a
// sensor's rows leave free take the next one's (a year of 20 sensors, 3.5 million
// readings, takes some five seconds). Then the new readings are folded into it, and
// `recent` begins anew.
int NumberReadingsOfOneTime(sql::Database& db) {
    int rc = db.Exec(
        "CREATE TABLE reading4(sensor INTEGER NOT NULL, t INTEGER NOT NULL,"
        " seq INTEGER NOT NULL, meta INTEGER NOT NULL, interval INTEGER, a, b, c,"
        " PRIMARY KEY(sensor, t, seq)) WITHOUT ROWID;"
        "ALTER TABLE recent ADD COLUMN seq INTEGER NOT NULL DEFAULT 0;");
    {
        sql::Statement next = db.Prepare("SELECT min(sensor) FROM reading");
        sql::Statement copy = db.Prepare(
            "INSERT INTO reading4 SELECT sensor, t, 0, meta, interval, a, b, c FROM reading"
            " WHERE sensor = ?1");
        sql::Statement remove = db.Prepare("DELETE FROM reading WHERE sensor = ?1");
        if (rc == sql::kOk && (!next.Valid() || !copy.Valid() || !remove.Valid())) {
            rc = db.ErrorCode();
        }
        // Any sensor number, also one the check would call wrong: nothing is left behind.
        while (rc == sql::kOk && (rc = next.Step()) == sql::kRow && !next.IsNull(0)) {
            const int64_t sensor = next.Int(0);
            next.Reset();
            copy.Bind(1, sensor);
            remove.Bind(1, sensor);
            if ((rc = copy.Step()) == sql::kDone && (rc = remove.Step()) == sql::kDone) {
                rc = sql::kOk;
            }
            copy.Reset();
            remove.Reset();
        }
        if (rc == sql::kRow) {
            rc = sql::kOk;  // no sensor left
        }
    }  // the statements end before their table is dropped
    if (rc == sql::kOk) {
        rc = db.Exec("DROP TABLE reading; ALTER TABLE reading4 RENAME TO reading;");
    }
    if (rc == sql::kOk) {
        rc = FoldRecent(db, Derived::Without);
    }
    return rc != sql::kOk
               ? rc
               : db.Exec(
                     "DROP TABLE recent;"
                     "CREATE TABLE recent(k INTEGER PRIMARY KEY, sensor INTEGER NOT NULL,"
                     " t INTEGER NOT NULL, seq INTEGER NOT NULL, meta INTEGER NOT NULL,"
                     " interval INTEGER, a, b, c);");
}

// Format 5: the summaries of what values of a reading make with others, so that a chart over
// years reads them from the summaries too: the brightness and pyranometer sensors' value ×
// factor, the wind's vectors, and the rain sensors' steps, each reading's from the one before.
// Only those sensors' summaries are computed anew.
int AddDerivedSummaries(sql::Database& db) {
    std::string sql;
    for (const SummaryPeriod period : {SummaryPeriod::Hour, SummaryPeriod::Day}) {
        const std::string table = SummaryTable(period);
        for (const char* column : {"min4", "max4", "sum4", "east", "north", "rain"}) {
            sql += "ALTER TABLE " + table + " ADD COLUMN " + column + " INTEGER;";
        }
        // Kind by kind: one range of `reading` each, read in the order of its key, so that a
        // rain sensor's readings come in the order its steps are counted in without a sort.
        for (const SensorKind kind : {SensorKind::Rain, SensorKind::Wind, SensorKind::Brightness,
                                      SensorKind::Pyranometer}) {
            sql += "DELETE FROM " + table + " WHERE " + SensorsOfKind(kind) + "; INSERT INTO " +
                   table + " " +
                   SummarySelect(period, "reading", SensorsOfKind(kind), Derived::With) + ";";
        }
    }
    return db.Exec(sql.c_str());
}

// Format 6: an index of the hours with rain, by sensor, so that a rain sensor's wettest
// hours are read from it rather than from the hours of every sensor: a few thousand entries
// a year where it rains, none for the other sensors, and an entry changed only at a fold
// that brings a rain sensor's steps.
int IndexRainyHours(sql::Database& db) {
    return db.Exec("CREATE INDEX hourly_rain ON hourly(sensor, hour, rain) WHERE rain > 0");
}

using Step = int (*)(sql::Database&);
// kSteps[v] takes a file of format v to format v + 1.
constexpr Step kSteps[] = {CreateReadings,          AddSummaries,        KeyRecentByInteger,
                           NumberReadingsOfOneTime, AddDerivedSummaries, IndexRainyHours};
static_assert(sizeof kSteps / sizeof kSteps[0] == kArchiveFormat);

}  // namespace

int MigrateArchiveTo(sql::Database& db, int from, int to) {
    for (int version = from; version < to; ++version) {
        int rc = db.Exec("BEGIN IMMEDIATE");
        // Another program may have taken the file this step while this one waited for it.
        int64_t current = version;
        if (rc == sql::kOk) {
            rc = sql::ReadInt(db, "PRAGMA user_version", current);
        }
        if (rc == sql::kOk && current <= version) {
            rc = kSteps[version](db);
            if (rc == sql::kOk) {
                rc = db.Exec(("PRAGMA user_version=" + std::to_string(version + 1)).c_str());
            }
        }
        if (rc == sql::kOk) {
            rc = db.Exec("COMMIT");
        }
        if (rc != sql::kOk) {
            return rc;  // the caller reads the error, then rolls back
        }
    }
    return sql::kOk;
}

int MigrateArchive(sql::Database& db, int from) {
    return MigrateArchiveTo(db, from, kArchiveFormat);
}

}  // namespace tavrolin
