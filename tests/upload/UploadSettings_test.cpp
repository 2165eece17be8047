// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/UploadSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemoryFileSystem.h"
#include "settings/SettingsStore.h"

namespace tavrolin {
namespace {

UploadSettingsResult Read(const std::string& profile) {
    testing::MemoryFileSystem files;
    files.files["/p.INI"] = profile;
    return ReadUploadSettings(SettingsStore(files, "/p.INI"));
}

// An owner pastes a station's id and key: the network is on at its own address and interval;
// a section that lacks something, or asks for more than the network takes, says so in German
// and sends nothing rather than something wrong.
TEST(UploadSettings, NetworksAreOffUntilConfiguredAndSayWhatIsMissing) {
    struct Case {
        std::string profile;
        Network network;
        bool on;
        std::string error;  // part of the one message, empty for none
    };
    const std::vector<Case> cases = {
        {"", Network::Wunderground, false, ""},
        {"[Wunderground]\nKennung=IMUNIC1\nSchl\xFCssel=k", Network::Wunderground, true, ""},
        {"[wunderground]\nKENNUNG=I\nSCHLUESSEL=k\nIntervall=60", Network::Wunderground, true, ""},
        {"[Wunderground]\nKennung=I", Network::Wunderground, false, "fehlt Schlüssel;"},
        {"[WOW]\nSchl\xC3\xBCssel=k", Network::Wow, false, "fehlt Kennung (die Stationskennung)"},
        {"[WOW]\nKennung=1\nSchl\xFCssel=k\nIntervall=60", Network::Wow, true, "von 300 (so oft"},
        {"[Windy]\nKennung=1\nSchl\xFCssel=k\nIntervall=330", Network::Windy, true,
         "ganze Zahl von Minuten"},
        {"[Windy]\nKennung=1\nSchl\xFCssel=k\nAdresse=ftp://x", Network::Windy, false,
         "weder mit https://"},
        {"[Windy]\nKennung=1\nPasswort=k", Network::Windy, false,
         "\"Passwort\" im Abschnitt [Windy] ist unbekannt"},
        {"[CWOP]\nKennung=CW1", Network::Cwop, false, "Breite und Länge"},
        {"[Station]\nBreite=48\nL\xE4nge=11\n[CWOP]\nKennung=CW1", Network::Cwop, true, ""},
        {"[openSenseMap]\nKennung=box\nSchl\xFCssel=t", Network::OpenSenseMap, false,
         "mindestens eine Sensorkennung"},
        {"[openSenseMap]\nKennung=box\nSchl\xFCssel=t\nB\xF6"
         "e=s1",
         Network::OpenSenseMap, true, ""},
    };
    for (const Case& c : cases) {
        const UploadSettingsResult r = Read(c.profile);
        const NetworkSettings& n = r.settings.Of(c.network);
        EXPECT_EQ(n.on, c.on) << c.profile;
        std::string all;
        for (const std::string& e : r.errors) {
            all += e + "|";
        }
        EXPECT_EQ(all.empty(), c.error.empty()) << c.profile << ": " << all;
        EXPECT_NE(all.find(c.error), std::string::npos) << all;
    }
    const UploadSettings s =
        Read(
            "[Wunderground]\nKennung=I\nSchl\xFCssel=k\nIntervall=900\nAdresse=http://127.0.0.1:1/u"
            "\n[openSenseMap]\nKennung=b\nSchl\xFCssel=t\nTemperatur=a\nRegenHeute=r\n"
            "[CWOP]\nKennung=N0CALL\nSchl\xFCssel=12345")
            .settings;
    EXPECT_EQ(s.Of(Network::Wunderground).intervalMs, 900000);
    EXPECT_EQ(s.Of(Network::Wunderground).address, "http://127.0.0.1:1/u");
    EXPECT_EQ(s.Of(Network::Windy).address, "https://stations.windy.com/api/v2/observation/update");
    EXPECT_EQ(s.Of(Network::OpenSenseMap).sensors.rainToday, "r");
    EXPECT_EQ(s.Of(Network::Cwop).secret, "12345");
    EXPECT_EQ(Read("[CWOP]\nKennung=CW1").settings.Of(Network::Cwop).secret, "-1");
    EXPECT_EQ(NetworkNamed("WOW"), Network::Wow);
    EXPECT_EQ(NetworkNamed("opensensemap"), Network::OpenSenseMap);
    EXPECT_FALSE(NetworkNamed("awekas"));
}

}  // namespace
}  // namespace tavrolin
