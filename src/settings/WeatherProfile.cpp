// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/WeatherProfile.h"

#include "settings/SettingsStore.h"

namespace tavrolin {

WeatherSettingsResult ReadWeatherSettings(const SettingsStore& store) {
    WeatherSettingsParser parser;
    store.ReadSection(RainSettings::kSection, [&](std::string_view key, std::string_view value) {
        parser.AddRainEntry(key, value);
    });
    store.ReadSection(StationSettings::kSection, [&](std::string_view key, std::string_view value) {
        parser.AddStationEntry(key, value);
    });
    return parser.Take();
}

}  // namespace tavrolin
