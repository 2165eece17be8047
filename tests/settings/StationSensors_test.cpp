// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/StationSensors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemoryFileSystem.h"
#include "settings/SettingsStore.h"
#include "settings/WeatherProfile.h"

namespace tavrolin {
namespace {

// The main sensors a profile gives with these sensors in the archive, "Außen Wind Regen
// Luftdruck" as ids ("-" for none), and after a '|' how many messages it says.
std::string MainSensors(const std::string& station, const std::vector<SensorKey>& known) {
    testing::MemoryFileSystem files;
    files.files["/p.INI"] =
        "[Sensornamen]\r\noutdoor-2=Garten\r\nrain-1=Dach\r\nwind-0=Dach\r\n[Station]\r\n" +
        station;
    const SettingsStore store(files, "/p.INI");
    const StationSensorsResult result = ReadStationSensors(store);
    std::string text;
    for (const StationRole role : kStationRoles) {
        const std::optional<SensorKey> sensor = result.sensors.Of(role, known);
        text += (text.empty() ? "" : " ") + (sensor ? std::string(SensorIdOf(*sensor)) : "-");
    }
    // The altitude's reader leaves the main sensors to this one.
    EXPECT_TRUE(ReadWeatherSettings(store).errors.empty()) << station;
    for (const std::string& error : result.errors) {
        EXPECT_NE(error.find("im Abschnitt [Station]"), std::string::npos) << error;
        EXPECT_NE(error.find("es gilt"), std::string::npos) << error;
    }
    return text + "|" + std::to_string(result.errors.size());
}

TEST(StationSensors, EntriesByIdOrNameElseTheLowestKnownOfTheKindAndBadOnesSaid) {
    const SensorKey outdoor3{SensorKind::Outdoor, 3, false};
    const SensorKey outdoor2{SensorKind::Outdoor, 2, false};
    const SensorKey temp0{SensorKind::TempOnly, 0, false};
    const SensorKey wind5{SensorKind::Wind, 5, false};
    const SensorKey rain4{SensorKind::Rain, 4, false};
    const SensorKey indoor6{SensorKind::Indoor, 6, false};
    const std::vector<SensorKey> known{temp0, outdoor3, outdoor2, wind5, rain4, indoor6};
    struct Case {
        std::string station;
        std::vector<SensorKey> known;
        std::string expected;
    } const cases[] = {
        {"", known, "outdoor-2 wind-5 rain-4 indoor-6|0"},
        {"", {temp0, rain4}, "temp-only-0 - rain-4 -|0"},
        {"", {}, "- - - -|0"},
        // Ids in any case, names from [Sensornamen], keys in any case and spelling.
        {"AUSSEN=Outdoor-7\r\nwind=wind-1\r\nRegen=Dach\r\nLuftdruck=indoor-0\r\n", known,
         "outdoor-7 wind-1 rain-1 indoor-0|0"},
        {"Au\xDF"
         "en=Garten\r\n",
         known, "outdoor-2 wind-5 rain-4 indoor-6|0"},
        {"Außen=temp-only-4\r\nHöhe=312\r\n", known, "temp-only-4 wind-5 rain-4 indoor-6|0"},
        // Of a key twice the first counts; an empty value is no entry.
        {"Wind=wind-2\r\nWind=wind-3\r\nRegen=\r\n", known, "outdoor-2 wind-2 rain-4 indoor-6|0"},
        // Bad entries: the default stands, and each is said.
        {"Wind=outdoor-1\r\n", known, "outdoor-2 wind-5 rain-4 indoor-6|1"},
        {"Luftdruck=Keller\r\n", known, "outdoor-2 wind-5 rain-4 indoor-6|1"},
        {"Regen=Dach\r\nWind=Dach\r\n", known, "outdoor-2 wind-0 rain-1 indoor-6|0"},
        {"Außen=Dach\r\nLuftdruck=outdoor-2\r\n", known, "outdoor-2 wind-5 rain-4 indoor-6|2"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MainSensors(c.station, c.known), c.expected) << c.station;
    }
}

}  // namespace
}  // namespace tavrolin
