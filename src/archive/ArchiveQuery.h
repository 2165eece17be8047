// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "decode/Reading.h"

namespace tavrolin {

// Reading the archive: what the sensor overview, the chart window and tavrolin-history ask
// of it. Each function works on an open Archive of its caller's thread (Access::Read is
// enough) and may run while other programs write the file: it sees the transactions
// committed when it began. Times are instants; a Reading carries the UTC offset it was
// received with.
//
// Typical use, e.g. in a window:
//
//   Archive archive;
//   if (ArchiveStatus s = archive.Open(path, Archive::Access::Read, 100); !s.Ok()) ...
//   std::vector<SensorSummary> sensors;
//   ListSensors(archive, sensors);                          // the overview
//   Series series;
//   QuerySeries(archive, {key, now - Milliseconds(365 * kMsPerDay), now, 2000, &zone}, series);
//   for (const SeriesPoint& p : series.points) ...          // p.avg[0] is the temperature
//
// Failures come back as an ArchiveStatus (Describe() gives the German reason); the outputs
// are then empty.
//
// Made in ArchiveQuery.cpp, the rain (c, d) in ArchiveRainQuery.cpp, the check in
// ArchiveCheck.cpp.

// (a) One sensor as the archive knows it. The count comes from the daily summaries, first
// and last from the keys: the list of a ten-year archive of 20 sensors takes about 50 ms.
// A live overview takes it once and goes on with the readings as they come (a sink of its
// own); SensorTracker::NoteSeen with `recent` gives the same usual period as here.
struct SensorSummary {
    SensorKey key;
    int64_t count = 0;         // readings kept
    Instant firstSeen;         // the first reading's time
    LocalTime firstSeenLocal;  // the same, local as received
    Reading last;              // the last reading, with its values and the time it came
    // How often it usually sends: the median of its last gaps, by SensorTracker's rule;
    // none for the remote control and the Fenster events, and before three gaps are known.
    std::optional<Milliseconds> usualPeriod;
    // The times of its newest readings (at most SensorTracker::kGapsKept + 1), oldest first:
    // what a live tracker goes on from.
    std::vector<Instant> recent;
};
// Every sensor the archive holds readings of, in the order of their ids (IndexOf).
ArchiveStatus ListSensors(Archive& archive, std::vector<SensorSummary>& sensors);

// (b) One sensor's quantities over a time range, for a chart.
struct SeriesRequest {
    SensorKey sensor;
    Instant from;  // included
    Instant to;    // excluded
    // The most points the chart wants. A range that holds no more readings than this comes
    // as the readings themselves; a longer one as min/avg/max per bucket, with the shortest
    // bucket of kBucketLadder that gives at most maxPoints buckets.
    int maxPoints = 2000;
    // The buckets follow BucketStart in this zone; a day bucket holds the readings of a
    // local day as each was received (the daily summaries'), its time the start of that day
    // in the zone, longer ones a run of such days.
    const TimeZone* zone = &UtcZone();
};

// Bucket lengths, shortest first. Buckets shorter than an hour are computed from the
// readings, those of an hour to half a day from the hourly summaries, a day and longer from
// the daily ones; the readings not yet folded (ArchiveSchema.h) join each. On a ten-year
// archive of 20 sensors every 3 minutes a year's chart (6-hour buckets) takes about 50 ms,
// the whole archive (2-day buckets) about 40 ms, the sensor list about 50 ms.
inline constexpr std::array<int64_t, 16> kBucketLadder{
    60000LL,       300000LL,       600000LL,       900000LL,       1800000LL, 3600000LL,
    2 * 3600000LL, 3 * 3600000LL,  6 * 3600000LL,  12 * 3600000LL, kMsPerDay, 2 * kMsPerDay,
    7 * kMsPerDay, 14 * kMsPerDay, 30 * kMsPerDay, 91 * kMsPerDay,
};

// The wind as a vector: km/h towards east and north. Summed over readings, it points where
// the air went on the whole, each reading weighted by its speed: a vane standing still in a
// calm says nothing of the wind, and a gale that turns decides more than a breeze.
struct WindVector {
    double east = 0, north = 0;
};
// One reading's wind, its direction in degrees (north 0, east 90); a negative speed is calm.
WindVector WindOf(double speedKmh, double directionDegrees);
// The direction of the summed wind, 0 <= d < 360; NaN where no wind blew or the vectors
// cancel out.
double MeanDirection(const WindVector& sum);

struct SeriesPoint {
    Instant time;       // the reading's time, or the bucket's start
    int64_t count = 0;  // readings in the bucket; 1 for a reading
    // Per quantity of Series::quantities, in their units (InfoOf(q).unit): 12.3 for 12.3 °C.
    // For a reading all three are its value. The wind direction of a bucket is the
    // MeanDirection of its wind, without minimum and maximum (NaN): around north they would
    // span the circle.
    std::array<double, 3> min{}, avg{}, max{};
    // The brightness and pyranometer sensors: value × factor, the one number the two make
    // (the factor scales the value); 0 for other sensors.
    double scaledMin = 0, scaledAvg = 0, scaledMax = 0;
    // The wind sensors: the sum of the readings' wind (WindOf).
    WindVector wind;
    // The thermo-hygrometers and indoor sensors: the dew point in °C of a reading, and of a
    // bucket that of its mean temperature and humidity (within a few tenths of a degree of the
    // mean of its readings' dew points over a day); NaN where there is none.
    double dewPoint = std::numeric_limits<double>::quiet_NaN();
    // The rain sensors, in QueryRain's buckets: the counter steps the bucket's readings
    // brought.
    int64_t rainSteps = 0;
};
// Sets what a point of one reading derives from its values (min, avg and max alike).
void DeriveFromReading(SensorKind kind, SeriesPoint& reading);
// Sets a point's dew point from its mean temperature and humidity.
void DeriveDewPoint(SensorKind kind, SeriesPoint& point);

struct Series {
    std::span<const Quantity> quantities;  // QuantitiesOf the sensor's kind
    // 0: every point is one reading. Else each point sums the readings of its bucket, from
    // its time for bucketMs (a local day: 23 to 25 hours); empty buckets have no point. Buckets of
    // an hour or longer take whole hours (or days) of summaries, so the first and last may hold
    // readings a little outside the range.
    int64_t bucketMs = 0;
    std::vector<SeriesPoint> points;  // oldest first
    // QueryRain: the counter of the sensor's last reading before the range's end, from which
    // a reading that comes next counts its steps.
    std::optional<int32_t> lastCounter;
};
ArchiveStatus QuerySeries(Archive& archive, const SeriesRequest& request, Series& series);

// (c) A rain sensor's rain per hour (bucketMs kMsPerHour) or per local day (kMsPerDay, as
// each reading was received): the steps each bucket's readings brought, as the summaries
// count them (ArchiveSchema.h), in rainSteps; maxPoints is not looked at. The buckets are
// whole hours and days, the first and last as far as they reach beyond the range.
ArchiveStatus QueryRain(Archive& archive, const SeriesRequest& request, int64_t bucketMs,
                        Series& series);

// (d) Where each rain sensor's rain stands at the archive's last reading of it, for a program
// to go on from at its start: the total steps of all its readings (summaries and `recent`),
// and its readings from the base on, so that the day's and the hour's sums are right. The
// base is the last reading before an hour ahead of the local midnight (by the last reading's
// UTC offset) of the last reading's day: a day whose clocks were set back begins up to an
// hour earlier, and the last hour lies after it.
struct RainResume {
    uint8_t address = 0;
    int64_t stepsBefore = 0;        // the total at the base: every reading's steps up to it
    std::vector<Reading> readings;  // the base, then the readings after it, oldest first
};
// Of every rain sensor the archive holds readings of, by address. Takes a few milliseconds
// on a ten-year archive (bench/archive_bench). A program goes on from there with
// RainTally::Resume and each of the readings counted (SeedFromArchive).
ArchiveStatus QueryRainResume(Archive& archive, std::vector<RainResume>& resumes);

// Every reading of one sensor in [from, to), oldest first, as it was received: what
// tavrolin-history export writes. `each` must not use the archive.
ArchiveStatus ForEachReading(Archive& archive, const SensorKey& sensor, Instant from, Instant to,
                             const std::function<void(const Reading&)>& each);

// The same a batch at a time: each batch a query of its own from after the last reading of
// the one before, so that a reader that takes its time (a download paced by its client)
// holds no read transaction between batches, which would hold back the writer's checkpoints.
// A reading that a commit folds from `recent` into `reading` meanwhile is found once all the
// same, by its place.
class ReadingCursor {
public:
    ReadingCursor(const SensorKey& sensor, Instant from, Instant to)
        : m_sensor(sensor), m_from(UnixMs(from)), m_to(UnixMs(to)) {}
    // The next at most `most` readings; none at the end.
    ArchiveStatus Next(Archive& archive, std::size_t most, std::vector<Reading>& batch);

private:
    SensorKey m_sensor;
    int64_t m_from;  // of the next batch: the time of the last reading given
    int64_t m_to;
    int64_t m_afterSeq = std::numeric_limits<int64_t>::min();  // of the last reading given
};

// (e) What a view that follows the archive (tavrolin-web) takes in as other programs commit
// it: every reading whose RecentKey (ArchiveSchema.h) of its sensor, t and seq is above
// `after`, in the order of those keys (time, then sensor), at most `limit` of them. The key
// is the reading's place in the station's history, so a follower that keeps the last key it
// took misses none and takes none twice, whether the reading is still in `recent` or was
// folded into `reading` in the transaction that wrote it. `more` tells whether the limit
// cut the answer short.
struct KeyedReading {
    int64_t key = 0;
    Reading reading;
};
ArchiveStatus ReadingsAfter(Archive& archive, int64_t after, std::size_t limit,
                            std::vector<KeyedReading>& readings, bool* more = nullptr);
// The key of the archive's newest reading; 0 for an empty archive.
ArchiveStatus NewestKey(Archive& archive, int64_t& key);

// The file's integrity (PRAGMA integrity_check) and the archive's own rules: the summaries
// agree with the readings, every row holds what its sensor's kind sends.
struct CheckReport {
    std::vector<std::string> findings;  // German, one per problem; empty when all is well
    int64_t readings = 0;
    int sensors = 0;
};
ArchiveStatus CheckArchive(Archive& archive, CheckReport& report);

}  // namespace tavrolin
