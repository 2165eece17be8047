// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "decode/ReadingSink.h"
#include "decode/WeatherValues.h"
#include "settings/WeatherSettings.h"
#include "weather/RainTally.h"

namespace tavrolin {

// What a reading's own values give with the station's settings: the dew point, the
// sea-level pressure, the compass point, value × factor. No rain: that needs the readings
// before it (WeatherDerivation).
WeatherValues InstantWeatherValues(const Reading& reading, const StationSettings& station);

// The numbers a sensor's readings give beyond their own with these settings, in the order
// WeatherDerivation gives them (a reading may lack one: no dew point at 0 %).
std::vector<WeatherQuantity> WeatherQuantitiesOf(const SensorKey& key,
                                                 const WeatherSettings& settings);

// The weather values of every reading, in the order received: the instant ones, and a rain
// sensor's rain counted since the base. A program keeps one, which every reading passes
// through once before its sinks see it; the rain is counted nowhere else.
class WeatherDerivation : public ReadingDerivation {
public:
    explicit WeatherDerivation(const WeatherSettings& settings)
        : m_rain(settings.rain), m_station(settings.station) {}

    void Derive(Reading& reading) override;
    // The tally, to go on from what was counted before this run (ResumeRainTally).
    RainTally& Rain() { return m_rain; }
    const StationSettings& Station() const { return m_station; }

private:
    RainTally m_rain;
    StationSettings m_station;
};

}  // namespace tavrolin
