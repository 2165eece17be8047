// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Decimal.h"

namespace tavrolin {

// Section "Regen": the millimetres of rain per counter step, by rain sensor ("rain-0=0.25").
// A sensor without an entry reports counter steps only.
struct RainSettings {
    static constexpr const char* kSection = "Regen";

    std::array<std::optional<Decimal>, 8> mmPerStep;  // by the sensor's address
};

// Section "Station": where the station stands ("Höhe=312", metres above sea level;
// "Breite=48.1375", "Länge=11.575", degrees north and east, south and west negative).
struct StationSettings {
    static constexpr const char* kSection = "Station";
    static constexpr double kLowestAltitude = -500;  // the shore of the Dead Sea is -430
    static constexpr double kHighestAltitude = 9000;

    std::optional<double> altitudeMetres;    // none: no sea-level pressure
    std::optional<double> latitudeDegrees;   // -90..90; none: not said
    std::optional<double> longitudeDegrees;  // -180..180
};

struct WeatherSettings {
    RainSettings rain;
    StationSettings station;
};

struct WeatherSettingsResult {
    // What can be used; a bad entry is left out as if it were not there.
    WeatherSettings settings;
    // One sentence per bad entry, German, UTF-8, for the caller to say at start.
    std::vector<std::string> errors;
};

// Takes the entries of the sections "Regen" and "Station" one by one, as the profile holds
// them (Windows-1252, or UTF-8 from an editor). Keys match without regard to case; of a key
// that is there twice the first counts, as everywhere in the profile. An empty value counts
// as no entry.
class WeatherSettingsParser {
public:
    void AddRainEntry(std::string_view key, std::string_view value);
    void AddStationEntry(std::string_view key, std::string_view value);

    WeatherSettingsResult Take() { return std::move(m_result); }

private:
    void AddPositionEntry(bool latitude, std::string_view value);

    WeatherSettingsResult m_result;
    std::array<bool, 8> m_rainSeen{};
    bool m_altitudeSeen = false;
    bool m_latitudeSeen = false;
    bool m_longitudeSeen = false;
};

}  // namespace tavrolin
