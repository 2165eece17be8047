// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tavrolin {

namespace sql {
class Database;
}

// The archive's tables, format 2. Every reading is one row of `reading`; the summaries are
// kept in the same transaction as the readings they count, so they never disagree.
//
//   reading(sensor, t, meta, interval, a, b, c)        WITHOUT ROWID, key (sensor, t)
//     sensor    IndexOf(SensorKey): 0..55 kinds 0..6 by address, 56 remote control,
//               57 Fenster events
//     t         UTC, milliseconds since 1970
//     meta      the reading's UTC offset in quarter hours * 2, plus 1 for the V1.2 flag
//     interval  milliseconds since the sensor's previous reading; NULL for the remote control
//     a, b, c   the values in the order of QuantitiesOf(kind), as the stored integers
//               (12.3 °C is 123); NULL where the kind has fewer. The remote control keeps its
//               text in a, the Fenster events 1 (high) or 2 (low).
//   hourly(hour, sensor, n, min1, max1, sum1, min2, max2, sum2, min3, max3, sum3)
//                                                       WITHOUT ROWID, key (hour, sensor)
//     hour      t / 3600000, the UTC hour; n readings, and per value slot its minimum,
//               maximum and sum (NULL for the remote control and the Fenster events)
//   daily(day, sensor, n, ...)                          the same per local day: the day of
//               the reading's own local time, (t + offset) / 86400000
//   sensor(id, first_t, last_t, n)                      id = reading.sensor
//
// Readings are kept by sensor and time, so one sensor's range is one contiguous read, and
// the row of an outdoor sensor takes about 25 bytes. The summaries are kept by time and
// sensor: the rows a poll changes lie together, in one or two pages, whatever sensors it
// brought. (Kept by sensor, every sensor's current hour would be a page of its own to write
// at every poll.) Pages are 1 KiB: a poll of ten sensors writes ten leaf pages of readings
// into the WAL, and every byte of them is written twice more at the checkpoint.
//
// Two readings of one sensor in the same millisecond are one: writing it again (a second
// program, an import repeated) adds nothing.
//
// The file says what it is: PRAGMA application_id is kArchiveApplicationId, and PRAGMA
// user_version the format. A file of an older format is brought up to date step by step
// when it is opened for writing.
inline constexpr int kArchiveFormat = 2;
inline constexpr int32_t kArchiveApplicationId = 0x54617672;  // "Tavr"
inline constexpr int64_t kMsPerHour = 3600000;
inline constexpr int kArchivePageSize = 1024;

// Runs the steps from format `from` to kArchiveFormat, each in its own transaction, so a
// crash leaves the file at one of the formats. The SQLite result code of the first failure.
int MigrateArchive(sql::Database& db, int from);
// Runs only the steps up to format `to` (tests make files of older formats with it).
int MigrateArchiveTo(sql::Database& db, int from, int to);

// The rows of `hourly`, `daily` and `sensor` as SELECTs over the readings: what the summaries
// must hold, for building them and for checking them.
enum class SummaryPeriod { Hour, Day };
std::string SummaryFromReadingsSql(SummaryPeriod period);
std::string SensorsFromReadingsSql();
// A reading's local day in SQL, from its columns t and meta.
std::string LocalDaySql();

// Computes the hourly, daily and sensor tables anew from the readings, inside the caller's
// transaction: the upgrade to format 2 does, and so does a bulk load that writes readings
// alone.
int RebuildSummaries(sql::Database& db);

}  // namespace tavrolin
