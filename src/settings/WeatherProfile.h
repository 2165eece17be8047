// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/WeatherSettings.h"

namespace tavrolin {

class SettingsStore;

// Reads the profile's sections "Regen" and "Station", which the programs only read:
//   [Regen]
//   rain-0=0.25      millimetres per counter step of rain sensor 0; the decimal point a point
//   [Station]
//   Höhe=312         metres above sea level, -500..9000
// The bad entries come back as messages: the logger says them on stderr and ends with 2,
// the window shows them in one message box and goes on without those values.
WeatherSettingsResult ReadWeatherSettings(const SettingsStore& store);

}  // namespace tavrolin
