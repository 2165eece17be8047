// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveSchema.h"

#include <string>

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

// Format 2: summaries per hour and per day, and per sensor, so that a chart over years and
// the sensor list read thousands of rows instead of millions.
int AddSummaries(sql::Database& db) {
    std::string sql;
    for (const char* table : {"hourly", "daily"}) {
        sql += std::string("CREATE TABLE ") + table + "(" + (table[0] == 'h' ? "hour" : "day") +
               " INTEGER NOT NULL, sensor INTEGER NOT NULL, n INTEGER NOT NULL,"
               " min1 INTEGER, max1 INTEGER, sum1 INTEGER,"
               " min2 INTEGER, max2 INTEGER, sum2 INTEGER,"
               " min3 INTEGER, max3 INTEGER, sum3 INTEGER,"
               " PRIMARY KEY(" +
               (table[0] == 'h' ? "hour" : "day") + ", sensor)) WITHOUT ROWID;";
    }
    sql +=
        "CREATE TABLE sensor("
        " id INTEGER PRIMARY KEY, first_t INTEGER NOT NULL, last_t INTEGER NOT NULL,"
        " n INTEGER NOT NULL);";
    const int rc = db.Exec(sql.c_str());
    return rc != sql::kOk ? rc : RebuildSummaries(db);
}

using Step = int (*)(sql::Database&);
// kSteps[v] takes a file of format v to format v + 1.
constexpr Step kSteps[] = {CreateReadings, AddSummaries};
static_assert(sizeof kSteps / sizeof kSteps[0] == kArchiveFormat);

}  // namespace

std::string SummaryFromReadingsSql(SummaryPeriod period) {
    // The remote control and the Fenster events keep words in slot a, not numbers.
    const std::string numeric = "sensor < " + std::to_string(kSensorCount - 2);
    std::string sql =
        period == SummaryPeriod::Hour ? "SELECT t / 3600000" : "SELECT " + LocalDaySql();
    sql += ", sensor, count(*)";
    for (const char* slot : {"a", "b", "c"}) {
        for (const char* f : {"min", "max", "sum"}) {
            sql += std::string(", ") + f + "(CASE WHEN " + numeric + " THEN " + slot + " END)";
        }
    }
    return sql + " FROM reading GROUP BY 1, 2";
}

std::string LocalDaySql() {
    return "(t + (meta >> 1) * 900000) / 86400000";
}

std::string SensorsFromReadingsSql() {
    return "SELECT sensor, min(t), max(t), count(*) FROM reading GROUP BY 1";
}

int RebuildSummaries(sql::Database& db) {
    const std::string sql =
        "DELETE FROM hourly; DELETE FROM daily; DELETE FROM sensor;"
        "INSERT INTO hourly " +
        SummaryFromReadingsSql(SummaryPeriod::Hour) + "; INSERT INTO daily " +
        SummaryFromReadingsSql(SummaryPeriod::Day) + "; INSERT INTO sensor " +
        SensorsFromReadingsSql() + ";";
    return db.Exec(sql.c_str());
}

int MigrateArchiveTo(sql::Database& db, int from, int to) {
    for (int version = from; version < to; ++version) {
        int rc = db.Exec("BEGIN IMMEDIATE");
        if (rc == sql::kOk) {
            rc = kSteps[version](db);
        }
        if (rc == sql::kOk) {
            rc = db.Exec(("PRAGMA user_version=" + std::to_string(version + 1)).c_str());
        }
        if (rc == sql::kOk) {
            rc = db.Exec("COMMIT");
        }
        if (rc != sql::kOk) {
            if (db.InTransaction()) {
                db.Exec("ROLLBACK");
            }
            return rc;
        }
    }
    return sql::kOk;
}

int MigrateArchive(sql::Database& db, int from) {
    return MigrateArchiveTo(db, from, kArchiveFormat);
}

}  // namespace tavrolin
