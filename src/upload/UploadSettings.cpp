// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/UploadSettings.h"

#include "base/Win1252.h"
#include "settings/DecimalText.h"
#include "settings/SettingsStore.h"
#include "settings/WeatherProfile.h"

namespace tavrolin {

namespace {

constexpr int64_t kMinute = kMsPerMinute;

constexpr const char* kWundergroundSection = "Wunderground";
constexpr const char* kPwsSection = "PWSweather";
constexpr const char* kWowSection = "WOW";
constexpr const char* kWindySection = "Windy";
constexpr const char* kCwopSection = "CWOP";
constexpr const char* kOpenSenseMapSection = "openSenseMap";

constexpr std::array<NetworkInfo, kNetworks.size()> kInfo{{
    {kWundergroundSection, "wunderground",
     "https://weatherstation.wunderground.com/weatherstation/updateweatherstation.php", 5 * kMinute,
     1 * kMinute, true},
    {kPwsSection, "pwsweather", "https://www.pwsweather.com/pwsupdate/pwsupdate.php", 5 * kMinute,
     1 * kMinute, true},
    {kWowSection, "wow", "https://wow.metoffice.gov.uk/automaticreading", 5 * kMinute, 5 * kMinute,
     false},
    {kWindySection, "windy", "https://stations.windy.com/api/v2/observation/update", 5 * kMinute,
     5 * kMinute, false},
    {kCwopSection, "cwop", "cwop.aprs.net:14580", 5 * kMinute, 5 * kMinute, false},
    {kOpenSenseMapSection, "opensensemap", "https://api.opensensemap.org", 5 * kMinute, 1 * kMinute,
     true},
}};

struct SensorKeyName {
    std::string_view folded;
    std::string OpenSenseMapSensors::*field;
};
const std::array<SensorKeyName, 9> kSensorKeys{{
    {"temperatur", &OpenSenseMapSensors::temperature},
    {"feuchte", &OpenSenseMapSensors::humidity},
    {"taupunkt", &OpenSenseMapSensors::dewPoint},
    {"luftdruck", &OpenSenseMapSensors::pressure},
    {"wind", &OpenSenseMapSensors::wind},
    {"b\xC3\xb6"
     "e",
     &OpenSenseMapSensors::gust},
    {"windrichtung", &OpenSenseMapSensors::windDirection},
    {"regen1h", &OpenSenseMapSensors::rainHour},
    {"regenheute", &OpenSenseMapSensors::rainToday},
}};

std::string SecondsText(int64_t ms) {
    return std::to_string(ms / 1000);
}

NetworkSettings ReadNetwork(const SettingsStore& store, Network network,
                            std::vector<std::string>& errors) {
    const NetworkInfo& info = InfoOf(network);
    const std::string section(info.section);
    NetworkSettings n;
    n.network = network;
    n.address = std::string(info.address);
    n.intervalMs = info.defaultIntervalMs;
    n.secret = network == Network::Cwop ? "-1" : "";
    // The keys in ASCII as the store finds them (in any case, the first of a key); the secret,
    // which has an umlaut in either encoding, and openSenseMap's sensors from the section.
    n.id = ProfileTextToUtf8(store.ReadString(section, "Kennung", ""));
    if (const std::string address = store.ReadString(section, "Adresse", ""); !address.empty()) {
        n.address = ProfileTextToUtf8(address);
    }
    if (const std::string text = store.ReadString(section, "Intervall", ""); !text.empty()) {
        const std::optional<int> seconds = ParseWholeInRange(text, 1, 86400);
        if (!seconds || *seconds * int64_t{1000} < info.shortestIntervalMs || *seconds % 60 != 0) {
            errors.push_back("Das Intervall \"" + ProfileTextToUtf8(text) + "\" im Abschnitt [" +
                             section + "] ist keine ganze Zahl von Minuten in Sekunden von " +
                             SecondsText(info.shortestIntervalMs) +
                             " (so oft nimmt das Netz höchstens an) bis 86400; es gilt " +
                             SecondsText(info.defaultIntervalMs) + ".");
        } else {
            n.intervalMs = *seconds * int64_t{1000};
        }
    }
    bool any = !n.id.empty();
    bool secretSeen = false;
    store.ReadSection(section, [&](std::string_view key, std::string_view value) {
        n.fingerprint += std::string(key) + "=" + std::string(value) + "\n";
        const std::string folded = FoldedProfileKey(key);
        if (folded == "kennung" || folded == "adresse" || folded == "intervall") {
            return;
        }
        if (folded == "schl\xC3\xBCssel" || folded == "schluessel") {
            if (!secretSeen && !value.empty()) {
                secretSeen = true;
                n.secret = ProfileTextToUtf8(value);
                any = true;
            }
            return;
        }
        if (network == Network::OpenSenseMap) {
            for (const SensorKeyName& s : kSensorKeys) {
                if (folded == s.folded ||
                    (s.field == &OpenSenseMapSensors::gust && folded == "boee")) {
                    if ((n.sensors.*s.field).empty()) {
                        n.sensors.*s.field = ProfileTextToUtf8(value);
                    }
                    any = any || !value.empty();
                    return;
                }
            }
        }
        errors.push_back("Der Eintrag \"" + ProfileTextToUtf8(key) + "\" im Abschnitt [" + section +
                         "] ist unbekannt; er kennt Kennung, Schlüssel, Intervall und Adresse" +
                         (network == Network::OpenSenseMap
                              ? ", dazu die Sensorkennungen Temperatur, Feuchte, Taupunkt, "
                                "Luftdruck, Wind, Böe, Windrichtung, Regen1h und RegenHeute."
                              : "."));
    });
    if (!any) {
        return n;  // not configured: off, and nothing to say
    }
    std::vector<std::string> missing;
    if (n.id.empty()) {
        missing.push_back(network == Network::OpenSenseMap ? "Kennung (die Box-ID)"
                                                           : "Kennung (die Stationskennung)");
    }
    if (n.secret.empty()) {
        missing.push_back("Schlüssel");
    }
    if (network == Network::OpenSenseMap) {
        bool sensor = false;
        for (const SensorKeyName& s : kSensorKeys) {
            sensor = sensor || !(n.sensors.*s.field).empty();
        }
        if (!sensor) {
            missing.push_back("mindestens eine Sensorkennung (z. B. Temperatur=)");
        }
    }
    if (!n.address.starts_with("https://") && !n.address.starts_with("http://") &&
        network != Network::Cwop) {
        errors.push_back("Die Adresse \"" + n.address + "\" im Abschnitt [" + section +
                         "] beginnt weder mit https:// noch mit http://; an " + section +
                         " wird nicht gesendet.");
        return n;
    }
    if (!missing.empty()) {
        std::string list;
        for (std::size_t i = 0; i < missing.size(); ++i) {
            list += (i == 0 ? "" : i + 1 == missing.size() ? " und " : ", ") + missing[i];
        }
        errors.push_back("Im Abschnitt [" + section + "] fehlt " + list + "; an " + section +
                         " wird nicht gesendet.");
        return n;
    }
    n.on = true;
    return n;
}

}  // namespace

const NetworkInfo& InfoOf(Network network) {
    return kInfo[static_cast<std::size_t>(network)];
}

std::optional<Network> NetworkNamed(std::string_view name) {
    const std::string folded = FoldedProfileKey(name);
    for (Network n : kNetworks) {
        if (folded == InfoOf(n).name || folded == FoldedProfileKey(InfoOf(n).section)) {
            return n;
        }
    }
    return std::nullopt;
}

UploadSettingsResult ReadUploadSettings(const SettingsStore& store) {
    UploadSettingsResult result;
    WeatherSettingsResult weather = ReadWeatherSettings(store);
    result.settings.weather = weather.settings;
    result.errors = std::move(weather.errors);
    StationSensorsResult sensors = ReadStationSensors(store);
    result.settings.sensors = sensors.sensors;
    result.errors.insert(result.errors.end(), sensors.errors.begin(), sensors.errors.end());
    for (Network network : kNetworks) {
        result.settings.networks.push_back(ReadNetwork(store, network, result.errors));
    }
    NetworkSettings& cwop = result.settings.networks[static_cast<std::size_t>(Network::Cwop)];
    const StationSettings& station = result.settings.weather.station;
    if (cwop.on && (!station.latitudeDegrees || !station.longitudeDegrees)) {
        cwop.on = false;
        result.errors.push_back(
            "CWOP braucht den Ort der Station: Breite und Länge im Abschnitt "
            "[Station], z. B. Breite=48.1375 und Länge=11.575; an CWOP wird "
            "nicht gesendet.");
    }
    return result;
}

}  // namespace tavrolin
