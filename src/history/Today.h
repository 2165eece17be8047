// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "archive/Archive.h"
#include "base/Clock.h"
#include "decode/Reading.h"
#include "history/Climate.h"
#include "settings/StationSensors.h"
#include "settings/WeatherSettings.h"

namespace tavrolin {

// "Jetzt und heute" of the station's main sensors, as the front page of tavrolin-web opens
// with it: each sensor's value now and today's figures (the low and the high with their
// instants, the strongest wind), the rain of the last hour, today, yesterday, this month and
// this year, and the pressure's tendency over three hours. Of the archive, with the readings
// it has not committed yet folded in, so that the figures move with every reading; some
// 2 ms on a ten-year archive (bench/web_bench).
//
// Today's figures are ComputeClimateReport's of today alone (ClimateRequest::day). The rain
// sums are the rain gauge's steps per local day (QueryRain, of the daily summaries), the last
// hour's those of its readings within the hour before now; the steps count to the reading
// that brings them, as everywhere.

// The pressure's change over three hours in words, by the bands the Met Office uses (and
// CumulusMX after it): below 0,1 hPa "gleichbleibend"; up to 1,5 "leicht", up to 3,5
// "deutlich", up to 6,0 "stark", beyond "sehr stark", each "steigend" or "fallend". The
// change is taken to the tenth of a hectopascal, as it is shown.
std::string_view TendencyWords(double changeHpa);

// A report's quantity in one reading: measured, or what its values give (the dew point and
// the sea-level pressure of Reading::weather); none where it has none.
std::optional<double> ValueIn(const Reading& reading, ClimateQuantity quantity);

// A main sensor as the caller knows it now (its tracker, the live feed).
struct TodaySensor {
    SensorKey key;
    Reading last;  // the value now
    std::optional<Milliseconds> usualPeriod;
};

struct TodayRequest {
    std::vector<TodaySensor> sensors;  // the main sensors, each once
    // Of each role, the sensor that serves in it, among `sensors`.
    std::array<std::optional<SensorKey>, kStationRoles.size()> roles;
    const TimeZone* zone = &UtcZone();
    WeatherSettings weather;
    Instant now;
    // The readings the archive has not committed yet, oldest first (of any sensor).
    std::vector<Reading> uncommitted;
};

struct TodayRain {
    SensorKey sensor;
    bool inMm = false;  // else counter steps
    // None where the gauge sent nothing in it (the year: nothing this year).
    std::optional<double> lastHour, today, yesterday, month, year;
};

struct TodayTendency {
    SensorKey sensor;
    double now = 0, before = 0;  // hPa: the last reading's, and the last one three hours before
    Instant at, beforeAt;
    int beforeUtcOffsetSeconds = 0;  // as the reading of then was received
    double change = 0;               // now - before
    std::string_view words;          // TendencyWords(change)
};

struct TodayReport {
    int64_t today = 0;  // the local day of `now`
    Instant now;
    struct Sensor {
        TodaySensor sensor;
        ClimatePeriod day;  // today's figures (daysWithReadings 0: none yet)
    };
    std::vector<Sensor> sensors;  // as requested
    std::optional<TodayRain> rain;
    std::optional<TodayTendency> tendency;  // with a pressure reading three hours back

    const Sensor* Of(const SensorKey& key) const;
};

ArchiveStatus ComputeToday(Archive& archive, const TodayRequest& request, TodayReport& report);

}  // namespace tavrolin
