// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/Archive.h"
#include "base/Clock.h"
#include "decode/Reading.h"
#include "settings/WeatherSettings.h"

namespace tavrolin {

// The weather of a sensor's local days, months and years, and its records: what
// `tavrolin-history report` and `records` show. Days are the station's local days (BucketStart
// of a day: 23 to 25 hours), made of the hourly summaries (UTC hours, each in the local day its
// start lies in) and the readings not yet folded; a month's report takes a few milliseconds,
// a year's some 45 on a ten-year archive (bench/history_bench).
//
// The rules, per day:
//   - minimum and maximum over the day's readings, with the instant the first of them came
//     (looked up among the readings of the one hour that holds it);
//   - the daily mean is the mean of the day's hourly means, with at most three hours missing;
//     for the temperature, where more are missing, the mean of the 00, 06, 12 and 18 UTC
//     hours (the DWD's rule for its 24 hourly values); else there is none;
//   - the dew point of each hour from its mean temperature and humidity, and the day's from
//     those hours (its extremes at the hour's start);
//   - the pressure at sea level from the pressure by the station's height ([Station] Höhe);
//   - rain: the counter steps of the hourly summaries (through run-overs and new batteries,
//     RainStepsBetween), in mm with [Regen];
//   - wind: the highest speed, the mean speed and the prevailing direction (the speed-weighted
//     mean of the winds' vectors, MeanDirection);
//   - complete: readings from within three usual periods of the day's start to within three
//     of its end, and no gap between two of them longer than three usual periods.
// A day without readings has no figures and counts nowhere, not as zero.
// A month: extremes over its days; the mean of the daily means unless more than five are
// missing or more than three in a row (WMO); the rain summed; the climate days counted. A
// year: the same over its months, the mean only of twelve monthly means.

// The quantities of a report, by their key in tavrolin-log --json.
enum class ClimateQuantity {
    Temperature,
    Humidity,
    Pressure,
    PressureSeaLevel,
    DewPoint,
    WindSpeed
};
inline constexpr std::size_t kClimateQuantities = 6;
std::string_view ClimateKey(ClimateQuantity quantity);

struct Extreme {
    double value = 0;
    Instant at;
    int utcOffsetSeconds = 0;  // as the reading was received, as the export writes it
};
struct Figures {
    std::optional<double> mean;
    std::optional<Extreme> min, max;
};

// The DWD's climate days, counted over the days with a temperature's figures (and for rain,
// with [Regen], over days with rain figures).
struct ClimateCounts {
    int frostDays = 0;       // minimum < 0 °C
    int iceDays = 0;         // maximum < 0 °C
    int summerDays = 0;      // maximum >= 25 °C
    int hotDays = 0;         // maximum >= 30 °C
    int tropicalNights = 0;  // the night's minimum (18 to 06 UTC) >= 20 °C
    int heatingDays = 0;     // mean < 15 °C
    double g2015 = 0;        // VDI 3807: the sum of 20 °C minus the mean over the heating days
    double heatingDegreeDays = 0;  // the sum of 15 °C minus the mean over the same days
    std::optional<int> rainDays01, rainDays1, rainDays10;  // >= 0.1, 1, 10 mm
};

// One local day, month or year.
struct ClimatePeriod {
    int64_t firstDay = 0;  // local day numbers, [firstDay, endDay)
    int64_t endDay = 0;
    int64_t readings = 0;
    int daysWithReadings = 0;
    int completeDays = 0;
    bool complete = false;  // every day of it (up to today) complete
    std::array<std::optional<Figures>, kClimateQuantities> figures;  // where the sensor gives it
    std::optional<double> windDirection;
    std::optional<int64_t> rainSteps;
    std::optional<double> rainMm;
    // A day's: the minimum of the night that begins on its evening, 18 to 06 UTC, where at
    // most three of its twelve hours are missing.
    std::optional<double> nightMin;
    std::optional<ClimateCounts> counts;  // a month's and a year's, of a temperature sensor
    // Kept for the sums: the wind's vector, in the summaries' units.
    int64_t windEast = 0, windNorth = 0;
};

struct ClimateRequest {
    SensorKey sensor;
    int year = 2026;
    int month = 0;  // 1..12; 0: the whole year, by months
    const TimeZone* zone = &UtcZone();
    WeatherSettings weather;
    // The sensor's usual period (ListSensors); none: no day is marked incomplete for gaps.
    std::optional<Milliseconds> usualPeriod;
    Instant now = Instant::max();  // days after today's are not missing, only not yet there
    int day = 0;  // with a month, 1..31: that day alone (days and total), as "today" needs
};

struct ClimateReport {
    SensorKey sensor;
    ClimateRequest request;
    std::vector<ClimatePeriod> days;    // a month's
    std::vector<ClimatePeriod> months;  // a year's
    ClimatePeriod total;                // the month's or the year's figures
};

ArchiveStatus ComputeClimateReport(Archive& archive, const ClimateRequest& request,
                                   ClimateReport& report);

// The records of a sensor, each with its scope: "all", a year "2026", a month "2026-11" or
// a calendar month over all years "month-11".
struct ClimateRecord {
    std::string record;    // highest, lowest, highestDailyMin, lowestDailyMax,
                           // largestDailyRange, wettestHour, wettestDay
    std::string quantity;  // ClimateKey, or rain_mm / rain_steps
    std::string scope;
    double value = 0;
    Instant at;                // the instant; of a day's record its day's start
    int utcOffsetSeconds = 0;  // of `at`
    bool isDay = false;        // `at` names a day: written as its date
};
// Of the days of the daily summaries (the readings' own local days) and the readings not yet
// folded; all records of a thermo-hygrometer over a decade take some 50 ms. The wettest hour
// is looked for among the hours of the wettest days only, as long as a day holds more than
// the wettest hour found: a gauge with the same drizzle every day makes that every day.
ArchiveStatus ComputeClimateRecords(Archive& archive, const SensorKey& sensor, const TimeZone& zone,
                                    const WeatherSettings& weather,
                                    std::vector<ClimateRecord>& records);

// A quantity as the reports write it: its German name ("Temperatur"), its unit ("°C", "hPa NN")
// and the decimals of its extremes (its means get one more where it has none).
std::string_view QuantityName(ClimateQuantity q);
std::string UnitOf(ClimateQuantity q);
int DecimalsOf(ClimateQuantity q);

// The quantities a sensor's report has, in the order they are written.
std::vector<ClimateQuantity> ClimateQuantitiesOf(const SensorKey& sensor,
                                                 const WeatherSettings& weather);

// What report and records write: a fixed-width German table, CSV (RFC 4180, a header line;
// a report's rows are its days or months, then the month's or year's figures), or one JSON
// object (README "Monats- und Jahresberichte"). `name` is the sensor's name as the views show it.
enum class ClimateFormat { Text, Csv, Json };
std::string ReportText(const ClimateReport& report, std::string_view name, ClimateFormat format);
std::string RecordsText(const SensorKey& sensor, std::string_view name,
                        const std::vector<ClimateRecord>& records, ClimateFormat format);

// "Heute" of the window, for one sensor: its last reading (the value now) and today's figures
// from its month's report: the low and the high with their times, the rain of today and of the
// month, the strongest wind. Nothing about today where the report holds no day of `now`.
std::string TodayText(const ClimateReport& month, const Reading& last, std::string_view name,
                      Instant now);

}  // namespace tavrolin
