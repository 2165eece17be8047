// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "decode/Reading.h"
#include "decode/WeatherValues.h"
#include "settings/WeatherSettings.h"
#include "weather/RainTally.h"

namespace tavrolin {

// Derives the values of one reading. A rain sensor's reading is counted in the tally, so each
// reading must be derived once, in the order received. Readings of sensors that give none
// (kind 0, the remote control, the Fenster events) give an empty set.
WeatherValues DeriveWeatherValues(const Reading& reading, RainTally& rain,
                                  const StationSettings& station);

// The numbers a sensor's readings give beyond their own with these settings, in the order
// DeriveWeatherValues gives them (a reading may lack one: no dew point at 0 %).
std::vector<WeatherQuantity> WeatherQuantitiesOf(const SensorKey& key,
                                                 const WeatherSettings& settings);

}  // namespace tavrolin
