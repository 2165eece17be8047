// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

#include "decode/Reading.h"
#include "settings/SettingsStore.h"

namespace tavrolin {

// The profile's section "Sensornamen": friendly names by sensor id, e.g. "outdoor-1=Garten".
// Home Assistant's device names, the sensor overview, the chart window, the logger's messages
// and tavrolin-history all take them from here. Only read, never written.
class SensorNames {
public:
    static constexpr const char* kSection = "Sensornamen";

    static SensorNames Read(const SettingsStore& store);

    // UTF-8; empty gives the default name back.
    void Set(const SensorKey& key, std::string name);
    // The friendly name the profile gives, empty where it gives none.
    const std::string& FriendlyName(const SensorKey& key) const;
    // The friendly name, or what the received list calls the sensor: "Außen 1", "Fenster".
    std::string NameOf(const SensorKey& key) const;

private:
    std::array<std::string, kSensorCount> m_names;
};

}  // namespace tavrolin
