// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "decode/ReadingSink.h"
#include "settings/WeatherSettings.h"
#include "weather/RainTally.h"
#include "weather/WeatherValues.h"

namespace tavrolin {

// The weather values of every reading, in the order received, with the station's settings
// and the rain counted since the base.
class WeatherDerivation : public ReadingDerivation {
public:
    explicit WeatherDerivation(const WeatherSettings& settings)
        : m_rain(settings.rain), m_station(settings.station) {}

    void Derive(Reading& reading) override {
        reading.weather = DeriveWeatherValues(reading, m_rain, m_station);
    }
    RainTally& Rain() { return m_rain; }

private:
    RainTally m_rain;
    StationSettings m_station;
};

}  // namespace tavrolin
