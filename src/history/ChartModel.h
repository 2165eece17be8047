// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveQuery.h"
#include "decode/Reading.h"
#include "history/ChartAxes.h"
#include "settings/WeatherSettings.h"

namespace tavrolin {

// The chart's ranges: the five that end now, shortest first (kChartRanges, the window's
// buttons), and a span chosen by dates or by zooming and panning.
enum class ChartRange { Day, Week, Month, Year, All, Chosen };
inline constexpr std::array<ChartRange, 5> kChartRanges{
    ChartRange::Day, ChartRange::Week, ChartRange::Month, ChartRange::Year, ChartRange::All};
// "24 Stunden", "7 Tage", "30 Tage", "1 Jahr", "Gesamtes Archiv", "Zeitraum".
std::string_view RangeLabel(ChartRange range);
// The recent ranges follow the readings as they come; a year or a decade would not show it,
// and a chosen span stays where it was put.
bool IsLive(ChartRange range);
// Rain is drawn as a bar per hour over spans up to this long, per local day beyond.
inline constexpr int64_t kLongestHourlyRainMs = 14 * kMsPerDay;

// One line of the chart, ready for the plot: keys in seconds since 1970 (UTC), at the middle
// of each bucket; a NaN point where the sensor was silent, so that the line breaks there.
struct ChartLine {
    enum class Scale {
        Linear,
        // The wind direction: 0 to 360° on an axis of the compass points, the means as
        // points without minimum and maximum.
        Compass,
        // The brightness or the pyranometer where its values span two decades or more: a
        // logarithmic axis, on which night and noon both show.
        Logarithmic,
        // The rain: a bar per bucket of the amount that fell in it, from 0 up.
        Bars,
    };
    std::string name;   // "Temperatur", "B-Ziffer", "Helligkeit", "Regen"
    std::string unit;   // "°C"; empty for a number without unit
    int decimals = 0;   // of a value as decoded
    std::string label;  // the axis: AxisLabel, or the name and what it is made of
    Scale scale = Scale::Linear;
    std::vector<double> keys, avg, min, max;
    // A second line in the same plot and unit, at the same keys: the dew point beside the
    // temperature (its mean, without minimum and maximum). Empty where there is none.
    std::string besideName;
    std::vector<double> beside;
    // The compass: the direction in the middle of the axis, a compass point (0, 90, 180 or
    // 270) nearest to where the range's wind blew from on the whole, so that the prevailing
    // direction is not split between the top and the bottom; the values lie within
    // compassCentre ± 180.
    double compassCentre = 180;

    // The value axis that shows the line: its values and those beside it, NaN gaps left out,
    // with a little room above and below; a logarithmic line from the decade below its
    // smallest positive value to the decade above its largest; bars from 0 up to the highest
    // and a little more; the compass half a circle either side of its centre.
    ValueAxis Axis() const;
    // What lies below a logarithmic axis (a dark night's 0) is drawn on its floor.
    std::optional<double> Floor() const;
    // The compass points on the compass's axis ("N", "O", "S", "W" every 90°); none for the
    // other scales, whose ticks fall on whole units (WholeTickStep).
    std::vector<AxisTick> CompassTicks() const;
};

// What the chart window shows of one sensor over one range, without the widgets: the query
// for the archive, the lines built from its answer, the readings that come while it is open,
// and the texts of the title and the cursor readout.
class ChartModel {
public:
    // The most points of a recent range: more than the plot has pixels across, so that a
    // day shows every reading and a month half-hours.
    static constexpr int kMaxPoints = 2000;
    // The most points of a year or the whole archive: a year in days, ten years in weeks.
    static constexpr int kMaxLongPoints = 550;

    // zone: the machine's time zone, in which days begin and the axis counts its hours;
    // weather: the millimetres per counter step of each rain sensor ([Regen]; a sensor
    // without them shows its rain in counter steps) and the station's height ([Station]: an
    // indoor sensor's pressure then has a panel at sea level beside it).
    explicit ChartModel(const TimeZone& zone, const WeatherSettings& weather = {})
        : m_zone(&zone), m_weather(weather) {}

    // Chooses what to show. The range ends now; the whole archive begins at the sensor's
    // first reading (or a day ago when none is known). The last reading known of the sensor
    // is told where the range holds none. A rain sensor's range begins at the start of its
    // first bar, so that the sum of the bars is the rain of the range shown.
    void Choose(const SensorKey& sensor, ChartRange range, Instant now,
                std::optional<Instant> firstSeen, std::optional<Instant> lastSeen = {});
    // A span of the caller's (the dates of "Zeitraum...", or what zooming and panning show):
    // the range is Chosen, and the buckets are those of its length.
    void ChooseSpan(const SensorKey& sensor, Instant from, Instant to,
                    std::optional<Instant> lastSeen = {});
    const SensorKey& Sensor() const { return m_sensor; }
    ChartRange Range() const { return m_range; }
    Instant From() const { return m_from; }
    Instant To() const { return m_to; }
    const TimeZone& Zone() const { return *m_zone; }

    // The archive's part: the query for the chosen sensor and range, and its answer. A rain
    // sensor's is QueryRain's, per RainBucketMs.
    SeriesRequest Request() const;
    bool ShowsRain() const { return m_sensor.kind == SensorKind::Rain; }
    // The rain's bars: an hour over spans up to 14 days, a local day beyond.
    int64_t RainBucketMs() const;
    void SetSeries(Series series);
    const Series& Data() const { return m_series; }

    // A reading as it comes: a live range takes its sensor's readings (into the last bucket
    // or a new one) and moves on with the time. True when the chart changed.
    bool Add(const Reading& reading);

    // The sensor's quantities, one line each; the brightness and pyranometer sensors' value
    // and factor as the one number they make, value × factor.
    std::vector<ChartLine> Lines() const;
    // "480 Messungen" or "1461 Werte zu je 6 Stunden: Mittel, Minimum und Maximum"; the
    // rain's "Summe 12,5 mm seit 07.12.2026 15:00, ein Balken je Stunde", from the start of
    // the first bar.
    std::string Summary() const;
    // The line above the plot: "24 Stunden bis 08.12.2026 17:13 · " and the summary; a
    // chosen span by its dates, "08.11.2026 00:00 – 20.11.2026 12:00 · ...".
    std::string Heading() const;
    // In place of the plot when the range holds no readings: "Keine Messungen in diesem
    // Zeitraum; zuletzt empfangen am 28.11.2026 um 10:17".
    std::string EmptyText() const;
    // The line above a saved picture: "Garten (outdoor-1) · Temperatur, Feuchte · 30 Tage,
    // 08.11.2026 – 08.12.2026", with the friendly name of the sensor.
    std::string Title(std::string_view name) const;
    // The picture's file name: "verlauf_outdoor-1_30-tage_2026-12-08.png".
    std::string FileName() const;
    // The point under a time (UTC seconds, as the plot's keys): the bucket that holds it, or
    // the reading nearest to it within the usual distance of two readings; nothing over a
    // gap or where the range holds nothing.
    std::optional<std::size_t> PointAt(double keySeconds) const;
    // What the readout says at a time: the point's Readout, or where there is none, that
    // there is no reading there: "Mo 07.12.2026 14:03 · keine Messung", a bucket's
    // "Mo 07.12.2026 12:00–18:00 · keine Messungen".
    std::string ReadoutAt(double keySeconds) const;
    // "Mo 07.12.2026 14:03 · Temperatur 12,3 °C · Feuchte 67 %"; a bucket with its time
    // span, its mean and, in brackets, its minimum and maximum. Values and means with the
    // decimals of their decoding (a mean is no finer than the steps its values move in), and
    // a bucket of one value throughout by that value.
    std::string Readout(std::size_t point) const;
    // Where a point's bucket ends (its time for a reading).
    Instant EndOf(const SeriesPoint& point) const;

private:
    // What a line is drawn from: a value slot of the series, value × factor, the rain, or
    // the pressure reduced to sea level.
    struct Plotted {
        std::size_t slot = 0;
        bool scaled = false;
        bool rain = false;
        bool seaLevel = false;
    };
    std::vector<Plotted> PlottedLines() const;
    ChartLine Describe(const Plotted& plotted) const;
    // The rain of a number of counter steps, in the line's unit: millimetres or steps.
    double RainAmount(int64_t steps) const;
    bool AddRain(const Reading& reading);
    // The line's values of a point: minimum, mean, maximum.
    std::array<double, 3> ValuesOf(const Plotted& plotted, const SeriesPoint& p) const;
    // The usual distance of two points: the bucket, or the median gap of the readings.
    int64_t UsualGapMs() const;
    // Turns the compass's axis to where the wind of the range blew from.
    void CentreCompass(ChartLine& line) const;
    void Prepare(const SensorKey& sensor, ChartRange range, std::optional<Instant> lastSeen);

    const TimeZone* m_zone;
    WeatherSettings m_weather;
    SensorKey m_sensor;
    ChartRange m_range = ChartRange::Day;
    Instant m_from, m_to;
    std::optional<Instant> m_lastSeen;
    Series m_series;
};

}  // namespace tavrolin
