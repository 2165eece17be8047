// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/Archive.h"
#include "base/Clock.h"
#include "decode/SensorTracker.h"
#include "history/History.h"
#include "settings/SensorNames.h"
#include "settings/WeatherSettings.h"
#include "weather/WeatherDerivation.h"
#include "web/HttpTarget.h"

namespace tavrolin {

// The station as the browser view shows it: the same overview, charts and export as the
// window's (History), on a tracker and a weather derivation seeded from the archive and fed
// with what the receiving programs commit to it since. The view only reads the archive; it
// follows the commits by the readings' keys (ReadingsAfter), so that a reading reaches every
// page once and in order, also one that was folded in the transaction that wrote it.
//
// The texts are the window's (German, decimal comma); the answers are JSON, CSV and
// Prometheus' text format, made here so that they can be tested without a network.
class Station {
public:
    // A reading as the event stream sends it: its key, and the JSON of the reading with its
    // sensor's overview row after it.
    struct Event {
        int64_t id = 0;
        std::string data;
    };
    // The most readings a page that comes back is given from the archive; one that was gone
    // longer (or asks from more than a day back) loads the overview afresh.
    static constexpr std::size_t kMostReplayed = 5000;

    Station(SensorNames names, const WeatherSettings& weather, std::string archivePath,
            WallClock& clock, const TimeZone& zone);

    // Opens the archive and takes in what it knows. False when it cannot be read (Problem()).
    bool Start();
    // The last trouble with the archive, German; empty while all is well.
    const std::string& Problem() const { return m_problem; }

    // Takes in the readings committed since the last look, oldest first, as events.
    std::vector<Event> Poll();
    // Brings the overdue marks up to now; true when one changed.
    bool CheckOverdue();
    // The key of the newest reading taken in (0 before any).
    int64_t LastId() const { return m_lastKey; }
    // The readings after `after` up to LastId(), for a page that lost its stream for a while;
    // false when that is more than kMostReplayed or too far back to look up.
    bool EventsAfter(int64_t after, std::vector<Event>& events);

    // {"lastId":...,"sensors":[row, ...]}: every sensor heard, as the overview shows it.
    std::string SensorsJson();
    // One sensor's row; nothing when it was never heard.
    std::optional<std::string> SensorJson(const SensorKey& key);
    // A chart of the sensor over the range, as the window draws it: its lines, axes, ticks,
    // texts and the readout of every point.
    std::string SeriesJson(const SensorKey& key, const RangeQuery& range);
    // A download of the readings of a range as tavrolin-history export writes them (CSV):
    // what is to be written, chosen here, and the writing itself (Run), which opens a
    // connection of its own, so that it may run on another thread while this one serves: a
    // decade of a sensor is a hundred megabytes, which go out as they are made.
    struct CsvExport {
        std::string path;
        SensorKey sensor;
        Instant from, to;
        WeatherSettings weather;
        std::string fileName;  // "verlauf_outdoor-1_30-tage_2026-12-08.csv"

        // Writes the CSV in pieces of some 64 KiB; false when the archive could not be read.
        bool Run(const std::function<void(std::string_view)>& write) const;
    };
    CsvExport Csv(const SensorKey& key, const RangeQuery& range);
    // Every sensor's latest values, age and overdue mark in Prometheus' text format.
    std::string Metrics();

private:
    bool OpenFeed();
    void Choose(ChartModel& chart, const SensorKey& key, const RangeQuery& range, bool fill);
    // The row's texts, and with `withReading` the last reading's JSON.
    std::string RowJson(const OverviewRow& row, bool withReading);
    std::string EventJson(const Reading& reading, int64_t key);

    const std::string m_path;
    WallClock& m_clock;
    const TimeZone& m_zone;
    WeatherSettings m_weather;
    SensorTracker m_tracker;
    WeatherDerivation m_derivation;
    History m_history;
    Archive m_feed;
    int64_t m_lastKey = 0;
    std::string m_problem;
};

}  // namespace tavrolin
