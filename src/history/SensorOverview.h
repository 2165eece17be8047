// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/ArchiveQuery.h"
#include "decode/OverdueWatch.h"
#include "decode/ReadingSink.h"
#include "decode/SensorTracker.h"
#include "settings/SensorNames.h"
#include "settings/WeatherSettings.h"
#include "weather/RainTally.h"

namespace tavrolin {

// One line of the sensor overview, as the window shows it (UTF-8).
struct OverviewRow {
    SensorKey key;
    std::string id;    // "outdoor-1"
    std::string name;  // "Garten", or "Außen 1" where [Sensornamen] gives none
    // "12,3 °C, 67 %, Taupunkt 6,2 °C", with the German decimal comma: the values of the
    // last reading and what they give (dew point, sea-level pressure, compass point), and a
    // rain sensor's rain of today.
    std::string values;
    std::string lastSeen;  // "2026-12-07 14:03:07", local as received
    std::string period;    // "00:03:00"; "-" while unknown and for event sensors
    std::string state;     // kOverdueText, or empty
    bool overdue = false;
    // What the columns sort by: the first value, the last reception (UTC), the period.
    std::optional<double> firstValue;
    int64_t lastSeenMs = 0;
    std::optional<int64_t> periodMs;
};

// ", Taupunkt 6,2 °C", ", Luftdruck auf Meereshöhe 1021,3 hPa", ", Himmelsrichtung SSW": what
// the values of a reading give (its weather values), with the German decimal comma; of a rain
// sensor, with the rain of its day counted up to it (RainTally's amounts of it):
// ", Regen heute 2,5 mm" where that day is the day of `now`, else ", Regen am 06.12.2026
// 2,5 mm"; in counter steps where [Regen] gives no millimetres.
std::string WeatherText(const Reading& reading, const std::optional<RainAmounts>& rain,
                        const std::optional<LocalTime>& now);

// Every sensor heard, as the overview window shows it: what the program's tracker knows of
// all of them (not only the recorded ones: the overview shows what is on the air, which also
// tells which addresses a neighbour's sensors take), started from what the archive knows. A
// sensor silent for more than three usual periods is overdue (SensorTracker's rule) until it
// is heard again. As a sink of every reading, behind the tracker, it lets the open windows
// follow, and counts the rain of today (with the settings of [Regen] and [Station], as the
// receiving programs derive the values).
class SensorOverview : public ReadingSink {
public:
    static constexpr const char* kOverdueText = "überfällig";

    SensorOverview(SensorNames names, SensorTracker& tracker, const WeatherSettings& weather = {})
        : m_names(std::move(names)),
          m_tracker(tracker),
          m_station(weather.station),
          m_rain(weather.rain) {}

    void Accept(const Reading& reading) override;

    // Takes the archive's sensors (ListSensors) into the tracker. A sensor the archive has
    // heard last is taken from it, with its usual period; one heard since (or only live, such
    // as a sensor the recording mask leaves out of the archive) keeps what the readings said.
    void Load(std::span<const SensorSummary> sensors);
    // Goes on with the rain from the archive's (QueryRainResume), and the last reading
    // heard since; without it the rain is counted from the first reading heard.
    void LoadRain(std::span<const RainResume> resumes);

    // Brings the overdue marks up to nowMs (UTC); true when one changed. Rows tell the rain of
    // this day as today's.
    bool Check(int64_t nowMs);

    // The heard sensors in the order of their ids, with the marks of the last Check.
    std::vector<OverviewRow> Rows() const;
    // The heard sensors that have quantities to chart, in the same order.
    std::vector<SensorKey> ChartableSensors() const;
    std::string NameOf(const SensorKey& key) const { return m_names.NameOf(key); }
    // The first reading known of the sensor: the archive's first, or the first live one.
    std::optional<int64_t> FirstSeenMs(const SensorKey& key) const;
    // The last reading known of the sensor.
    std::optional<int64_t> LastSeenMs(const SensorKey& key) const;

    // Called with every reading after it has been taken in (the open windows follow it).
    std::function<void(const Reading&)> onReading;

private:
    const SensorNames m_names;
    SensorTracker& m_tracker;
    OverdueWatch m_overdue;
    std::array<int64_t, kSensorCount> m_archiveFirstMs{};  // 0: the archive has none
    StationSettings m_station;
    RainTally m_rain;
    // Per rain sensor, what its last reading counted brought, and when it came.
    struct RainSoFar {
        std::optional<RainAmounts> amounts;
        int64_t timeMs = 0;
    };
    std::array<RainSoFar, 8> m_rainSoFar{};
    int64_t m_nowMs = 0;
};

}  // namespace tavrolin
