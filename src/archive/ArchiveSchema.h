// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decode/Reading.h"

namespace tavrolin {

namespace sql {
class Database;
}

// The archive's tables, format 6.
//
//   reading(sensor, t, seq, meta, interval, a, b, c)   WITHOUT ROWID, key (sensor, t, seq)
//     sensor    IndexOf(SensorKey): 0..55 kinds 0..6 by address, 56 remote control,
//               57 Fenster events
//     t         UTC, milliseconds since 1970
//     seq       which of the sensor's readings of that millisecond it is: 0, 1, ... (below)
//     meta      the reading's UTC offset in quarter hours * 2, plus 1 for the V1.2 flag
//     interval  milliseconds since the sensor's previous reading; NULL for the remote control
//     a, b, c   the values in the order of QuantitiesOf(kind), as the stored integers
//               (12.3 °C is 123); NULL where the kind has fewer. The remote control keeps its
//               text in a, the Fenster events 1 (high) or 2 (low).
//   recent(k, sensor, t, seq, ...)                      k INTEGER PRIMARY KEY, RecentKey
//               of the row's sensor, t and seq; then the same columns
//   hourly(hour, sensor, n, min1, max1, sum1, min2, max2, sum2, min3, max3, sum3,
//          min4, max4, sum4, east, north)              WITHOUT ROWID, key (hour, sensor)
//     hour      t / 3600000, the UTC hour (UtcHourOf); n readings, and per value slot its minimum,
//               maximum and sum (NULL for the remote control and the Fenster events)
//     min4..sum4  the brightness and pyranometer sensors: the same of value × factor
//               (ScaledSql), the one number the two make; NULL for other sensors
//     east, north  the wind sensors: the sums of the wind's vectors (WindEastSql,
//               WindNorthSql), which the direction's mean is taken from; an average of
//               the angles would put the mean of 350° and 10° in the south. NULL for
//               other sensors
//     rain      the rain sensors: the counter steps the readings brought, each counted from
//               the sensor's reading before it (RainStepsOfReading), also where that one
//               lies in an earlier hour or day; a chart's bars and the totals a receiving
//               program goes on from at its start. NULL for other sensors
//   daily(day, sensor, n, ...)                          the same per local day: the day of
//               the reading's own local time, (t + offset) / 86400000 (LocalDayOf)
//   hourly_rain  an index of hourly by (sensor, hour, rain) of the hours with rain > 0:
//               a rain sensor's wettest hours without reading every sensor's hours
//
// Every reading is in `reading` or in `recent`, never in both. New readings go into
// `recent`, kept by time, so that a poll writes one page (two when it starts a new one)
// whatever sensors it brought; once it holds kFoldRows readings, the writing transaction folds them
// into `reading`, kept by sensor and time (one sensor's range is one contiguous read, an outdoor
// sensor's row takes about 25 bytes) and adds them to the summaries. The summaries always
// count exactly the rows of `reading`; a query adds the few of `recent` itself (for the rain,
// RainOfRecent). (Written
// into `reading` and the summaries at every poll, a poll of ten sensors changed some twenty
// pages, each written into the WAL and again at the checkpoint: twice the CPU the logger
// may spend.) Pages are 1 KiB, so that a changed page costs little to write.
//
// A reading is known by (sensor, t, seq). The receiving programs stamp a telegram with the
// millisecond they decode it in, so a sensor heard twice in one poll (a backlog, a fast
// sensor) has two readings of one millisecond, the second with an interval of 0; seq tells
// them apart by the order they came in. A reading of the same t as its sensor's previous
// one (in the order written) and an interval of 0 ms (or none: the remote control) gets
// that one's seq + 1; every other reading 0. The count goes on across one connection's
// Writes, so that an import's lines are numbered alike whatever its batches. The same
// readings in the same order thus get the same keys whoever writes them: the receiving
// program, and later an import of its --json lines or of an export (which lists a sensor's
// readings by t and seq). Written again (an import repeated, a file given twice, a second
// program), readings get the keys they got the first time, since the first of a
// millisecond comes with its interval since the reading before and starts at 0 again: they
// add nothing. A sensor's readings of one millisecond are told apart up to
// kSameTimeReadings (a poll reads at most 500 bytes, some 60 telegrams); later ones of that
// millisecond count as the last of them.
//
// The file says what it is: PRAGMA application_id is kArchiveApplicationId, and PRAGMA
// user_version the format. A file of an older format is brought up to date step by step
// when it is opened for writing (ArchiveMigration.h).
inline constexpr int kArchiveFormat = 6;
inline constexpr int32_t kArchiveApplicationId = 0x54617672;  // "Tavr"
inline constexpr int kArchivePageSize = 1024;
inline constexpr int64_t kFoldRows = 2000;
inline constexpr int64_t kSameTimeReadings = 512;

// The key of a row of `recent`: in the order of (t, sensor, seq), one per reading. Sensor
// numbers are below 64 and seq below kSameTimeReadings; every time of a four-digit year
// fits (up to 2^48 ms, the year 10889).
constexpr int64_t RecentKey(int64_t sensor, int64_t t, int64_t seq) {
    return (t * 64 + sensor) * kSameTimeReadings + seq;
}
// The time in a key (UTC milliseconds), and the first key of a time: every reading of that
// millisecond or later has a key at or above it.
constexpr int64_t TimeOfKey(int64_t key) {
    return key / (64 * kSameTimeReadings);
}
constexpr int64_t FirstKeyAt(int64_t t) {
    return RecentKey(0, t, 0);
}

// The summaries of formats 2 to 4 had no derived columns (min4 ... north); the steps to
// those formats (ArchiveMigration.cpp) fold and sum as they did then.
enum class Derived { Without, With };

// The summary rows of `hourly` or `daily` as a SELECT over the readings of `table`: what the
// summaries must hold, for folding, rebuilding and checking them.
enum class SummaryPeriod { Hour, Day };
// A period's table of summaries, and the column of its hour or day.
constexpr const char* SummaryTable(SummaryPeriod period) {
    return period == SummaryPeriod::Hour ? "hourly" : "daily";
}
constexpr const char* SummaryKeyColumn(SummaryPeriod period) {
    return period == SummaryPeriod::Hour ? "hour" : "day";
}
std::string SummarySql(SummaryPeriod period, const char* table);
// The same of the readings that meet `condition`, an SQL condition that is never empty.
std::string SummarySelect(SummaryPeriod period, const char* table, const std::string& condition,
                          Derived derived);
// A reading's local day in SQL, from its columns t and meta: LocalDayOf with the offset kept
// in meta. (SQL's division rounds towards zero, LocalDayOf's down: the same for every time
// an archive holds, which are all after 1970.)
std::string LocalDaySql();

// What a reading adds to the derived summaries, in SQL over its columns sensor, a and b;
// NULL for the sensors it does not concern. SQLite computes them for the summaries folded
// and for those checked alike, so the two agree to the last digit.
// The brightness and pyranometer sensors' value × factor.
std::string ScaledSql();
// The wind's vector: its speed (the stored tenths of km/h, a negative one taken as calm)
// times the sine (east) or cosine (north) of its direction, in units of
// 1 / kWindVectorScale of the stored speed, rounded to a whole number.
std::string WindEastSql();
std::string WindNorthSql();
inline constexpr int64_t kWindVectorScale = 1000;

// The readings of a kind's eight sensors, as an SQL condition on the column sensor.
std::string SensorsOfKind(SensorKind kind);

// The steps a rain sensor's reading adds to the rain sums: RainStepsBetween from the counter
// of the sensor's reading before it (by t and seq, in `reading` or in `recent`); 0 for the
// sensor's first reading, and where a row holds no counter (the check tells of such a row).
int64_t RainStepsOfReading(std::optional<int64_t> previousCounter, std::optional<int64_t> counter);
// What a connection's SQL needs beside SQLite's own: rain_steps(previous, counter), the same
// rule for the summaries computed in SQL (a migration, the check) as for those folded here.
int DefineArchiveFunctions(sql::Database& db);

// What the readings of `recent` change in the rain sums, reading by reading: each new one
// adds its steps from the reading before it, folded or new. A new reading that came in
// between two folded ones (an import of the past) also changes the steps of the folded one
// after it, counted now from the new one: that one's change comes as a step of its own.
struct RainStep {
    int sensor = 0;
    int64_t t = 0;  // the reading's time and meta, which say its hour and day
    int64_t meta = 0;
    int64_t steps = 0;
    bool fresh = true;  // a reading of `recent`; else the change of a folded one
};
// Of one sensor, or of every rain sensor; by sensor, then in the order of the readings.
int RainOfRecent(sql::Database& db, std::optional<int> sensor, std::vector<RainStep>& steps);

// Moves the readings of `recent` into `reading` and the summaries, inside the caller's
// transaction.
int FoldRecent(sql::Database& db, Derived derived = Derived::With);
// Computes the summaries anew from `reading`, inside the caller's transaction.
int RebuildSummaries(sql::Database& db, Derived derived = Derived::With);

}  // namespace tavrolin
