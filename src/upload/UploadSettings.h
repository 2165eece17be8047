// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/StationSensors.h"
#include "settings/WeatherSettings.h"
#include "upload/Encoders.h"

namespace tavrolin {

class SettingsStore;

// The networks tavrolin-upload sends to, each configured in a profile section of its own.
enum class Network : uint8_t { Wunderground, PWSweather, Wow, Windy, Cwop, OpenSenseMap };
inline constexpr std::array<Network, 6> kNetworks{Network::Wunderground, Network::PWSweather,
                                                  Network::Wow,          Network::Windy,
                                                  Network::Cwop,         Network::OpenSenseMap};

struct NetworkInfo {
    std::string_view section;  // "Wunderground": the profile's section and the name in messages
    std::string_view name;     // "wunderground": --test NAME, the state file's name
    std::string_view address;  // the network's own server
    int64_t defaultIntervalMs;
    int64_t shortestIntervalMs;  // what the network allows at most
    // Whether the network takes observations of the past: after an outage it is sent what it
    // missed, else only the newest.
    bool takesPast;
};
const NetworkInfo& InfoOf(Network network);
std::optional<Network> NetworkNamed(std::string_view name);  // by name or section, any case

// One network's section, e.g.
//   [Wunderground]
//   Kennung=IMUNIC123       the station's id (WOW: the site id; CWOP: CW1234 or a callsign;
//                           openSenseMap: the box's id)
//   Schlüssel=…             the station key, password, passcode or access token
//   Intervall=300           seconds between observations
//   Adresse=https://…       another server of the same protocol
// openSenseMap names its sensors' ids: Temperatur=, Feuchte=, Taupunkt=, Luftdruck=, Wind=,
// Böe=, Windrichtung=, Regen1h=, RegenHeute=.
struct NetworkSettings {
    Network network = Network::Wunderground;
    bool on = false;  // configured: a station and (but for CWOP) its secret
    std::string address;
    std::string id;
    std::string secret;  // CWOP: the passcode, -1 for a CW number
    int64_t intervalMs = 0;
    OpenSenseMapSensors sensors;
    // What the section says, to tell whether the profile changed after the network refused
    // the credentials.
    std::string fingerprint;
};

struct UploadSettings {
    std::vector<NetworkSettings> networks;  // every network, in the order of kNetworks
    WeatherSettings weather;
    StationSensors sensors;

    const NetworkSettings& Of(Network network) const {
        return networks[static_cast<std::size_t>(network)];
    }
};

struct UploadSettingsResult {
    UploadSettings settings;
    std::vector<std::string> errors;  // German, one per bad or missing entry
};

// Reads the networks' sections, [Station], [Regen] and [Sensornamen]. A network whose
// section is incomplete stays off and says what is missing.
UploadSettingsResult ReadUploadSettings(const SettingsStore& store);

}  // namespace tavrolin
