// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "MemoryFileSystem.h"
#include "decode/ReadingJson.h"
#include "settings/SettingsStore.h"
#include "settings/WeatherProfile.h"

namespace tavrolin {
namespace {

// What the settings hold, e.g. "rain-3=0.254 Höhe=-12.5", and the messages after a '|'.
std::string Read(const std::string& profile) {
    testing::MemoryFileSystem files;
    files.files["/p.INI"] = profile;
    const WeatherSettingsResult result = ReadWeatherSettings(SettingsStore(files, "/p.INI"));
    std::string text;
    for (int a = 0; a < 8; ++a) {
        if (const std::optional<Decimal> mm = result.settings.rain.mmPerStep[a]) {
            text += "rain-" + std::to_string(a) + "=";
            AppendFixed(mm->raw, mm->decimals, text);
            text += ' ';
        }
    }
    if (const std::optional<double> metres = result.settings.station.altitudeMetres) {
        AppendFixed(static_cast<int64_t>(*metres * 10), 1, text += "Höhe=");
    }
    for (const std::string& error : result.errors) {
        text += "|" + error;
    }
    return text;
}

// The window writes the profile in Windows-1252, an editor mostly in UTF-8. Each bad entry is
// said once and left out; the good one beside it is used.
TEST(WeatherSettings, GoodEntriesAreUsedAndEachBadOneIsSaidOnce) {
    const std::vector<std::pair<std::string, std::string>> good = {
        // The first of a repeated key counts, an empty value is no entry.
        {"[Regen]\nrain-0=0.25\nRAIN-3 = 0.254\nrain-0=0.3\nrain-1=\n[Station]\nH\xF6he=312",
         "rain-0=0.25 rain-3=0.254 Höhe=312.0"},
        {"[station]\nH\xC3\xB6he=-12.5", "Höhe=-12.5"},
        {"[STATION]\nH\xD6HE=9000", "Höhe=9000.0"},
        {"[Station]\nH\xC3\x96HE=-500", "Höhe=-500.0"},
    };
    for (const auto& [profile, settings] : good) {
        EXPECT_EQ(Read(profile), settings) << profile;
    }
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"[Regen]\nrain-1=0,25",
         "|Die Regenmenge je Zählschritt \"0,25\" (rain-1 im Abschnitt "
         "[Regen]) ist keine positive Zahl"},
        {"[Regen]\nrain-2=-0.2", "\"-0.2\" (rain-2"},
        {"[Regen]\nrain-4=0", "\"0\" (rain-4"},
        {"[Regen]\nrain-5=abc", "\"abc\" (rain-5"},
        {"[Regen]\nrain-6=1e3", "\"1e3\" (rain-6"},
        {"[Regen]\nrain-7=0.1234567", "\"0.1234567\" (rain-7"},
        {"[Regen]\nrain-0=1000", "\"1000\" (rain-0"},
        {"[Regen]\nregen-0=0.2", "|Der Eintrag \"regen-0\" im Abschnitt [Regen] nennt keinen"},
        {"[Regen]\nrain-8=0.2", "\"rain-8\""},
        {"[Station]\nH\xF6he=9001", "|Die Höhe \"9001\" (Höhe im Abschnitt [Station]) ist keine"},
        {"[Station]\nH\xF6he=-500.5", "\"-500.5\""},
        {"[Station]\nH\xF6he=312 m", "\"312 m\""},
        {"[Station]\nHoehe=300", "|Der Eintrag \"Hoehe\" im Abschnitt [Station] ist unbekannt"},
    };
    for (const auto& [profile, message] : bad) {
        const std::string settings = Read(profile + "\n[Regen]\nrain-3=0.2\n");
        EXPECT_TRUE(settings.starts_with("rain-3=0.2 |")) << settings;
        EXPECT_NE(settings.find(message), std::string::npos) << settings;
        EXPECT_EQ(std::count(settings.begin(), settings.end(), '|'), 1) << settings;
    }
}

}  // namespace
}  // namespace tavrolin

namespace tavrolin {
namespace {

// Breite and Länge as an owner copies them from a map: decimal degrees, south and west
// negative; the ends of the range are places, one beyond is a typing error said in German.
TEST(WeatherSettings, StationPositionInDecimalDegrees) {
    struct Case {
        std::string profile;
        std::optional<double> latitude, longitude;
        std::string error;  // part of the one message, empty for none
    };
    const std::vector<Case> cases = {
        {"[Station]\nBreite=48.1375\nL\xE4nge=11.575", 48.1375, 11.575, ""},
        {"[Station]\nbreite=-90\nLAENGE=-180", -90, -180, ""},
        {"[Station]\nBREITE=90\nL\xC3\x84NGE=180\nBreite=1", 90, 180, ""},
        {"[Station]\nBreite=90.01\nL\xC3\xA4nge=8", std::nullopt, 8, "Die Breite \"90.01\""},
        {"[Station]\nL\xE4nge=11,5", std::nullopt, std::nullopt, "Die Länge \"11,5\""},
        {"[Station]\nL\xE4nge=-180.5", std::nullopt, std::nullopt, "-180 bis 180 Grad"},
        {"[Station]\nBreite=N48", std::nullopt, std::nullopt, "nicht an CWOP"},
    };
    for (const Case& c : cases) {
        testing::MemoryFileSystem files;
        files.files["/p.INI"] = c.profile;
        const WeatherSettingsResult r = ReadWeatherSettings(SettingsStore(files, "/p.INI"));
        EXPECT_EQ(r.settings.station.latitudeDegrees, c.latitude) << c.profile;
        EXPECT_EQ(r.settings.station.longitudeDegrees, c.longitude) << c.profile;
        ASSERT_EQ(r.errors.size(), c.error.empty() ? 0u : 1u) << c.profile;
        if (!c.error.empty()) {
            EXPECT_NE(r.errors[0].find(c.error), std::string::npos) << r.errors[0];
        }
    }
}

}  // namespace
}  // namespace tavrolin
