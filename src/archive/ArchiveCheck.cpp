// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's check of ArchiveQuery.h: the file's integrity, what each row holds, and the
// summaries against the readings.
#include "archive/ArchiveQuery.h"

#include <algorithm>
#include <string>

#include "archive/ArchiveQueryParts.h"
#include "archive/ArchiveSchema.h"

namespace tavrolin {

namespace {

// What a row of each sensor holds: the condition it must meet, in SQL.
std::string RowRule(SensorKind kind, bool remoteControl) {
    if (kind == SensorKind::Special) {
        return remoteControl ? "typeof(a) = 'text' AND b IS NULL AND c IS NULL AND interval IS NULL"
                             : "a IN (1, 2) AND b IS NULL AND c IS NULL AND interval IS NOT NULL";
    }
    const std::size_t count = QuantitiesOf(kind).size();
    std::string rule = "interval IS NOT NULL";
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string slot(1, "abc"[i]);
        rule +=
            " AND " + slot +
            (i < count ? " BETWEEN -2147483648 AND 2147483647 AND typeof(" + slot + ") = 'integer'"
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
    int64_t sensors = 0, bad = 0;
    int rc =
        sql::ReadInt(db, "SELECT (SELECT count(*) FROM reading) + (SELECT count(*) FROM recent)",
                     report.readings);
    if (rc == sql::kOk) {
        rc = sql::ReadInt(db,
                          "SELECT count(DISTINCT sensor) FROM (SELECT sensor FROM daily UNION ALL "
                          "SELECT sensor FROM recent)",
                          sensors);
    }
    report.sensors = static_cast<int>(sensors);

    // Every row holds what its sensor's kind sends.
    for (const char* table : {"reading", "recent"}) {
        if (rc == sql::kOk) {
            rc = sql::ReadInt(
                db,
                std::string("SELECT count(*) FROM ") + table + " WHERE sensor NOT BETWEEN 0 AND " +
                    std::to_string(kSensorCount - 1) + " OR meta NOT BETWEEN -112 AND 113",
                bad);
            if (rc == sql::kOk && bad > 0) {
                report.findings.push_back(
                    "Ohne gültige Sensornummer oder Zeitzone: " + Messungen(bad) + ".");
            }
        }
        for (int index = 0; index < kSensorCount && rc == sql::kOk;) {
            // One rule per kind: its eight addresses (or the one special sensor) at once.
            const SensorKey key = SensorAt(index);
            const int last = key.kind == SensorKind::Special ? index : index + 7;
            rc = sql::ReadInt(db,
                              std::string("SELECT count(*) FROM ") + table +
                                  " WHERE sensor BETWEEN " + std::to_string(index) + " AND " +
                                  std::to_string(last) + " AND NOT (" +
                                  RowRule(key.kind, key.remoteControl) + ")",
                              bad);
            if (rc == sql::kOk && bad > 0) {
                report.findings.push_back("Nicht die Werte der Sensorart " +
                                          std::string(KindLabel(key)) + ": " + Messungen(bad) +
                                          ".");
            }
            index = last + 1;
        }
    }
    if (rc == sql::kOk) {
        rc = sql::ReadInt(db,
                          "SELECT count(*) FROM recent r WHERE EXISTS (SELECT 1 FROM reading "
                          "WHERE sensor = r.sensor AND t = r.t AND seq = r.seq)",
                          bad);
        if (rc == sql::kOk && bad > 0) {
            report.findings.push_back("Doppelt im Archiv: " + Messungen(bad) + ".");
        }
    }

    // The summaries count exactly the readings folded into `reading`.
    for (const SummaryPeriod period : {SummaryPeriod::Hour, SummaryPeriod::Day}) {
        if (rc != sql::kOk) {
            break;
        }
        const bool hours = period == SummaryPeriod::Hour;
        const std::string table = SummaryTable(period);
        // Summed once, in a table of the query's own: a reader may not make a temporary one.
        sql::Statement compare = db.Prepare(
            "WITH expected AS MATERIALIZED (" + SummarySql(period, "reading") +
            ") SELECT (SELECT count(*) FROM (SELECT * FROM expected EXCEPT SELECT * FROM " + table +
            ")), (SELECT count(*) FROM (SELECT * FROM " + table +
            " EXCEPT SELECT * FROM expected))");
        int64_t missing = 0, extra = 0;
        rc = compare.Valid() ? compare.Step() : db.ErrorCode();
        if (rc == sql::kRow) {
            missing = compare.Int(0);
            extra = compare.Int(1);
            rc = sql::kOk;
        }
        if (rc == sql::kOk && missing + extra > 0) {
            report.findings.push_back(std::string(hours ? "Die Stundenwerte" : "Die Tageswerte") +
                                      " stimmen bei " + std::to_string(std::max(missing, extra)) +
                                      (hours ? " Stunden" : " Tagen") +
                                      " nicht mit den Messungen überein.");
        }
    }
    return rc == sql::kOk ? ArchiveStatus{} : Failed(archive, rc);
}

}  // namespace tavrolin
