// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "base/Clock.h"
#include "history/ChartModel.h"
#include "history/Climate.h"
#include "history/SensorOverview.h"
#include "history/Today.h"
#include "settings/StationSensors.h"
#include "settings/WeatherSettings.h"

namespace tavrolin {

// What the window's sensor overview and charts share: the overview on the program's tracker,
// the readings as they come (the open windows follow them), and a connection of the GUI
// thread's own that reads the archive. Reading on the GUI thread is fine here: a chart over
// a ten-year archive takes well under a tenth of a second (bench/history_bench.cpp).
class History {
public:
    // Hands each reading that the archive has not committed yet to the function, oldest
    // first: what the receiving program keeps of them (LiveReadings), or what tavrolin-web's
    // feed brought since its last commit.
    using Uncommitted = std::function<void(const std::function<void(const Reading&)>&)>;

    // tracker: the program's, seeded from the archive and fed every reading; archivePath:
    // the archive the window writes (from [Archiv]), empty when it keeps none; weather:
    // [Regen] and [Station], for the rain in millimetres; uncommitted: the readings the
    // archive's writer has not committed yet, which a chart adds to the archive's.
    History(SensorNames names, const SensorTracker& tracker, std::string archivePath,
            WallClock& clock, const TimeZone& zone, const WeatherSettings& weather,
            Uncommitted uncommitted = {})
        : m_overview(std::move(names), tracker, zone),
          m_path(std::move(archivePath)),
          m_clock(clock),
          m_zone(zone),
          m_weather(weather),
          m_uncommitted(std::move(uncommitted)) {}

    // A sink of every reading, behind the tracker: the open windows follow the readings.
    ReadingSink& Sink() { return m_sink; }
    void OnReading(std::function<void(const Reading&)> onReading) {
        m_sink.onReading = std::move(onReading);
    }
    SensorOverview& Overview() { return m_overview; }
    Instant Now() { return m_clock.Now(); }
    const TimeZone& Zone() const { return m_zone; }
    const WeatherSettings& Weather() const { return m_weather; }

    // Chooses the sensor and range of the chart (ending now) and fills it from the archive (a
    // rain sensor's rain per bar); without an archive it starts empty and fills with the
    // readings that come.
    void ShowChart(ChartModel& chart, const SensorKey& sensor, ChartRange range);
    // The same for a span of the user's: dates chosen, or what zooming and panning show.
    void ShowSpan(ChartModel& chart, const SensorKey& sensor, Instant from, Instant to);
    // The readings of the chart's sensor and range as tavrolin-history export writes them
    // (CSV), through `write`; false when the archive could not be read (Problem()).
    bool ExportShown(const ChartModel& chart, const std::function<void(std::string_view)>& write);

    // The readings the archive has not committed yet, oldest first.
    void ForEachUncommitted(const std::function<void(const Reading&)>& each) const {
        if (m_uncommitted) {
            m_uncommitted(each);
        }
    }
    // The station's main sensors ([Station] Außen, Wind, Regen, Luftdruck), for "Heute".
    void SetStation(const StationSensors& station) { m_station = station; }
    // The sensors the archive knows (ListSensors); none when it cannot be read (Problem()).
    std::vector<SensorSummary> Sensors();
    // The station's main sensors among them, else those it has.
    std::vector<SensorKey> MainSensors(const std::vector<SensorSummary>& sensors) const;
    std::string NameOf(const SensorKey& sensor) const { return m_overview.NameOf(sensor); }
    // What tavrolin-history report and records compute, now; false when the archive could
    // not be read (Problem()).
    bool Report(const SensorSummary& sensor, int year, int month, ClimateReport& report);
    bool Records(const SensorKey& sensor, std::vector<ClimateRecord>& records);
    // "Heute": the value now and today's figures of each main sensor (TodayText).
    std::string Today();
    // "Jetzt und heute" of the request's sensors (ComputeToday), now, in the history's zone
    // and weather settings and with the readings not committed yet; false when the archive
    // could not be read (Problem()).
    bool NowAndToday(TodayRequest request, TodayReport& report);
    // The station's main sensors as set.
    const StationSensors& MainSensorChoice() const { return m_station; }

    // The last trouble with the archive in German ("Das Archiv ... läßt sich nicht lesen:
    // ..."), empty while all is well.
    const std::string& Problem() const { return m_problem; }

private:
    bool Open();
    void Fill(ChartModel& chart);
    void Failed(const ArchiveStatus& status);

    struct Follow : ReadingSink {
        void Accept(const Reading& reading) override {
            if (onReading) {
                onReading(reading);
            }
        }
        std::function<void(const Reading&)> onReading;
    };

    SensorOverview m_overview;
    Follow m_sink;
    const std::string m_path;
    WallClock& m_clock;
    const TimeZone& m_zone;
    const WeatherSettings m_weather;
    StationSensors m_station;
    Archive m_archive;
    // An archive that could not be opened is tried again a minute later, not at every
    // reading: opening one that another program holds locked waits up to kBusyMs.
    std::optional<Instant> m_nextTry;
    std::string m_problem;
    // A chart filled from the archive takes these too, so that it does not end with a gap
    // until the next commit: the readings of its range, its buckets and its rain's bars.
    // Being exactly those the archive lacks, none is counted twice.
    Uncommitted m_uncommitted;
};

}  // namespace tavrolin
