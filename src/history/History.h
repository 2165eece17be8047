// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "archive/Archive.h"
#include "base/Clock.h"
#include "history/ChartModel.h"
#include "history/SensorOverview.h"
#include "settings/WeatherSettings.h"

namespace tavrolin {

// What the window's sensor overview and charts share: the overview on the program's tracker,
// the readings as they come (the open windows follow them), and a connection of the GUI
// thread's own that reads the archive. Reading on the GUI thread is fine here: a chart over
// a ten-year archive takes well under a tenth of a second (bench/history_bench.cpp).
class History {
public:
    // tracker: the program's, seeded from the archive and fed every reading; archivePath:
    // the archive the window writes (from [Archiv]), empty when it keeps none; weather:
    // [Regen] and [Station], for the rain in millimetres; archiveLag: the archive's commit
    // interval, the time its newest readings may wait in the writer before a reader sees them.
    History(SensorNames names, const SensorTracker& tracker, std::string archivePath,
            WallClock& clock, const TimeZone& zone, const WeatherSettings& weather,
            Milliseconds archiveLag = Milliseconds{0})
        : m_overview(std::move(names), tracker, zone),
          m_sink(*this),
          m_path(std::move(archivePath)),
          m_clock(clock),
          m_zone(zone),
          m_weather(weather),
          m_archiveLag(archiveLag) {}

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

    // The last trouble with the archive in German ("Das Archiv ... läßt sich nicht lesen:
    // ..."), empty while all is well.
    const std::string& Problem() const { return m_problem; }

private:
    bool Open();
    void Fill(ChartModel& chart);
    void Failed(const ArchiveStatus& status);
    void Keep(const Reading& reading);

    struct Follow : ReadingSink {
        explicit Follow(History& history) : history(history) {}
        void Accept(const Reading& reading) override {
            history.Keep(reading);
            if (onReading) {
                onReading(reading);
            }
        }
        History& history;
        std::function<void(const Reading&)> onReading;
    };

    SensorOverview m_overview;
    Follow m_sink;
    const std::string m_path;
    WallClock& m_clock;
    const TimeZone& m_zone;
    const WeatherSettings m_weather;
    Archive m_archive;
    // An archive that could not be opened is tried again a minute later, not at every
    // reading: opening one that another program holds locked waits up to kBusyMs.
    std::optional<Instant> m_nextTry;
    std::string m_problem;
    // The readings of the last archiveLag (and a little more), which a chart filled from the
    // archive may not find there yet: a chart of readings takes them from here, so that it
    // does not end with a gap until the next commit. (Buckets and the rain's bars do without
    // them: which of them are in the archive already is not known, and one counted twice
    // would be worse than the last minutes missing from a mean of hours, or than rain that
    // the next reading's counter brings in any case.)
    const Milliseconds m_archiveLag;
    std::deque<Reading> m_recent;
};

}  // namespace tavrolin
