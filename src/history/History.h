// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "archive/Archive.h"
#include "base/Clock.h"
#include "history/ChartModel.h"
#include "history/SensorOverview.h"
#include "settings/WeatherSettings.h"

namespace tavrolin {

// What the window's sensor overview and chart share: the overview of the sensors (on the
// program's tracker), a sink of every reading from the program's start, and a connection of
// the GUI thread's own that reads the archive. Reading on the GUI thread is fine here: the list of
// a ten-year archive's sensors and a chart over all of it each take well under a tenth of a second
// (the benchmarks in bench/history_bench.cpp).
class History {
public:
    // archivePath: the archive the window writes (from [Archiv]), empty when it keeps none;
    // weather: [Regen] and [Station], for the rain in millimetres and the derived values.
    History(SensorNames names, SensorTracker& tracker, std::string archivePath, LocalClock& clock,
            const WeatherSettings& weather)
        : m_overview(std::move(names), tracker, weather),
          m_path(std::move(archivePath)),
          m_clock(clock),
          m_weather(weather) {}

    ReadingSink& Sink() { return m_overview; }
    // The overview; the first call takes in the archive's sensors.
    SensorOverview& Overview();
    // Called with every reading after the overview has taken it (the open windows follow).
    void OnReading(std::function<void(const Reading&)> onReading) {
        m_overview.onReading = std::move(onReading);
    }
    int64_t NowMs() { return ToUnixMs(m_clock.Now()); }
    const WeatherSettings& Weather() const { return m_weather; }

    // Chooses the sensor and range of the chart (ending now) and fills it from the archive (a
    // rain sensor's rain per bar); without an archive it starts empty and fills with the
    // readings that come.
    void ShowChart(ChartModel& chart, const SensorKey& sensor, ChartRange range);

    // The last trouble with the archive in German ("Das Archiv ... läßt sich nicht lesen:
    // ..."), empty while all is well.
    const std::string& Problem() const { return m_problem; }

private:
    bool Open();

    SensorOverview m_overview;
    const std::string m_path;
    LocalClock& m_clock;
    const WeatherSettings m_weather;
    Archive m_archive;
    bool m_loaded = false;
    // An archive that could not be opened is tried again a minute later, not at every
    // reading: opening one that another program holds locked waits up to kBusyMs.
    std::optional<int64_t> m_nextTryMs;
    std::string m_problem;
};

}  // namespace tavrolin
