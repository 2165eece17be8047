// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/StationSensors.h"

#include <algorithm>
#include <iterator>

#include "base/Win1252.h"
#include "settings/SensorNames.h"
#include "settings/SettingsStore.h"
#include "settings/WeatherSettings.h"

namespace tavrolin {

namespace {

std::size_t Slot(StationRole role) {
    return static_cast<std::size_t>(role);
}

// "einen Windsensor (wind-0 bis wind-7)": what the role takes, for a message.
std::string_view WhatServes(StationRole role) {
    switch (role) {
        case StationRole::Outdoor:
            return "einen Außensensor (outdoor-0 bis outdoor-7, temp-only-0 bis temp-only-7)";
        case StationRole::Wind:
            return "einen Windsensor (wind-0 bis wind-7)";
        case StationRole::Rain:
            return "einen Regensensor (rain-0 bis rain-7)";
        case StationRole::Pressure:
            return "einen Innensensor mit Luftdruck (indoor-0 bis indoor-7)";
    }
    return "";
}

}  // namespace

// The keys of [Station] this parser matches itself.
constexpr const char* kOutdoorKey = "Außen";
constexpr const char* kWindKey = "Wind";
constexpr const char* kRainKey = "Regen";
constexpr const char* kPressureKey = "Luftdruck";

std::string_view StationRoleKey(StationRole role) {
    switch (role) {
        case StationRole::Outdoor:
            return kOutdoorKey;
        case StationRole::Wind:
            return kWindKey;
        case StationRole::Rain:
            return kRainKey;
        case StationRole::Pressure:
            return kPressureKey;
    }
    return "";
}

std::optional<StationRole> StationRoleOfKey(std::string_view profileKey) {
    const std::string key = FoldedProfileKey(profileKey);
    if (key == "aussen") {
        return StationRole::Outdoor;
    }
    for (const StationRole role : kStationRoles) {
        if (key == FoldedProfileKey(StationRoleKey(role))) {
            return role;
        }
    }
    return std::nullopt;
}

bool ServesAs(const SensorKey& sensor, StationRole role) {
    switch (role) {
        case StationRole::Outdoor:
            return sensor.kind == SensorKind::Outdoor || sensor.kind == SensorKind::TempOnly;
        case StationRole::Wind:
            return sensor.kind == SensorKind::Wind;
        case StationRole::Rain:
            return sensor.kind == SensorKind::Rain;
        case StationRole::Pressure:
            return sensor.kind == SensorKind::Indoor;
    }
    return false;
}

std::vector<SensorKey> StationSensors::All(std::span<const SensorKey> known) const {
    std::vector<SensorKey> all;
    for (const StationRole role : kStationRoles) {
        const std::optional<SensorKey> key = Of(role, known);
        if (key && std::find(all.begin(), all.end(), *key) == all.end()) {
            all.push_back(*key);
        }
    }
    return all;
}

std::optional<SensorKey> StationSensors::Of(StationRole role,
                                            std::span<const SensorKey> known) const {
    if (const std::optional<SensorKey>& sensor = chosen[Slot(role)]) {
        return sensor;
    }
    std::optional<SensorKey> best;
    const auto rank = [role](const SensorKey& key) {
        // A thermo-hygrometer before a thermometer: it also gives the humidity.
        const bool second = role == StationRole::Outdoor && key.kind == SensorKind::TempOnly;
        return std::pair(second, IndexOf(key));
    };
    for (const SensorKey& key : known) {
        if (ServesAs(key, role) && (!best || rank(key) < rank(*best))) {
            best = key;
        }
    }
    return best;
}

std::vector<SensorKey> SensorsNamed(std::string_view text, const SensorNames& names) {
    if (const std::optional<SensorKey> key = ParseSensorId(text)) {
        return {*key};
    }
    std::vector<SensorKey> named;
    for (int i = 0; i < kSensorCount; ++i) {
        if (names.NameOf(SensorAt(i)) == text) {
            named.push_back(SensorAt(i));
        }
    }
    return named;
}

void StationSensorsParser::AddEntry(std::string_view key, std::string_view value) {
    const std::optional<StationRole> role = StationRoleOfKey(key);
    if (!role || m_seen[Slot(*role)] || value.empty()) {
        return;
    }
    m_seen[Slot(*role)] = true;
    const std::string text = ProfileTextToUtf8(value);
    const std::string entry = "Der Eintrag " + std::string(StationRoleKey(*role)) + "=" + text +
                              " im Abschnitt [Station]";
    const std::string fallback =
        "; es gilt der passende Sensor mit der kleinsten Nummer im Archiv.";
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    std::vector<SensorKey> named = SensorsNamed(text, *m_names);
    if (named.empty() && ParseSensorId(lower)) {
        named = {*ParseSensorId(lower)};
    }
    if (named.size() > 1) {
        // A name two sensors of different kinds share ("Dach"): the one that serves.
        std::vector<SensorKey> serving;
        std::copy_if(named.begin(), named.end(), std::back_inserter(serving),
                     [role](const SensorKey& key) { return ServesAs(key, *role); });
        if (serving.size() == 1) {
            named = serving;
        }
    }
    if (named.size() > 1) {
        std::string ids;
        for (const SensorKey& k : named) {
            ids += (ids.empty() ? "" : ", ") + std::string(SensorIdOf(k));
        }
        m_result.errors.push_back(entry + " ist nicht eindeutig: den Namen tragen " + ids +
                                  "; die Kennung macht ihn eindeutig" + fallback);
    } else if (named.empty()) {
        m_result.errors.push_back(entry +
                                  " nennt keinen Sensor: weder eine Kennung wie outdoor-1 noch "
                                  "einen Namen aus [Sensornamen]" +
                                  fallback);
    } else if (!ServesAs(named.front(), *role)) {
        m_result.errors.push_back(entry + " nennt " + std::string(SensorIdOf(named.front())) +
                                  ", aber " + std::string(StationRoleKey(*role)) + " braucht " +
                                  std::string(WhatServes(*role)) + fallback);
    } else {
        m_result.sensors.chosen[Slot(*role)] = named.front();
    }
}

StationSensorsResult ReadStationSensors(const SettingsStore& store) {
    const SensorNames names = SensorNames::Read(store);
    StationSensorsParser parser(names);
    store.ReadSection(StationSettings::kSection, [&](std::string_view key, std::string_view value) {
        parser.AddEntry(key, value);
    });
    return parser.Take();
}

std::string FoldedProfileKey(std::string_view profileText) {
    std::string text = ProfileTextToUtf8(profileText);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char& c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        } else if (c == '\xC3' && i + 1 < text.size() &&
                   (text[i + 1] == '\x84' || text[i + 1] == '\x96' || text[i + 1] == '\x9C')) {
            text[i + 1] = static_cast<char>(text[i + 1] + 0x20);  // Ä Ö Ü to ä ö ü
        }
    }
    return text;
}

}  // namespace tavrolin
