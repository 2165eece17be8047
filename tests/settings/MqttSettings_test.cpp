// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/MqttSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemoryFileSystem.h"
#include "settings/SensorNames.h"

namespace tavrolin {
namespace {

constexpr const char* kPem = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";

struct Profile {
    testing::MemoryFileSystem files;
    SettingsStore store{files, "/p.INI"};

    explicit Profile(const std::string& lines) {
        files.files["/p.INI"] = lines;
        files.files["/secret"] = "geheim\r\nzweite Zeile";
        files.files["/ca.pem"] = kPem;
        files.files["/junk.pem"] = "no certificate";
    }
    MqttSettingsResult Read(std::string_view option = {}) {
        return ReadMqttSettings(store, files, "wetter.local", option);
    }
};

TEST(MqttSettings, TheSectionGivesBrokerTopicsAndTheSecretFromItsFile) {
    struct Case {
        std::string lines;
        std::string option;
        std::string host;
        int port;
        std::string topicPrefix;  // <Topic>/<Receiver>
        std::string receiverName;
    };
    const std::vector<Case> cases = {
        {"[MQTT]\nHost=broker\n", "", "broker", 1883, "tavrolin/wetter_local", "wetter.local"},
        {"[MQTT]\nHost=broker:1884\nPort=9\n", "", "broker", 1884, "tavrolin/wetter_local",
         "wetter.local"},
        {"[MQTT]\nHost=10.0.0.2\nPort=1999\nTopic=haus/wetter\nReceiver=Küche Nord\n", "",
         "10.0.0.2", 1999, "haus/wetter/K_che_Nord", "Küche Nord"},
        {"[MQTT]\nHost=[fd00::1]:1885\n", "", "fd00::1", 1885, "tavrolin/wetter_local",
         "wetter.local"},
        {"[MQTT]\nHost=fd00::1\nCAFile=/ca.pem\n", "", "fd00::1", 8883, "tavrolin/wetter_local",
         "wetter.local"},
        // The command line counts before Host and Port; without Host it turns MQTT on.
        {"[MQTT]\nHost=broker\nPort=1\n", "other:2000", "other", 2000, "tavrolin/wetter_local",
         "wetter.local"},
        {"", "127.0.0.1", "127.0.0.1", 1883, "tavrolin/wetter_local", "wetter.local"},
        // A receiver name of the window's profile, in Windows-1252.
        {"[MQTT]\nHost=b\nReceiver=K\xFC"
         "che\n",
         "", "b", 1883, "tavrolin/K_che", "Küche"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines + c.option);
        Profile profile(c.lines);
        const MqttSettingsResult result = profile.Read(c.option);
        ASSERT_TRUE(result.settings) << result.error;
        const MqttSettings& s = *result.settings;
        EXPECT_EQ(s.host, c.host);
        EXPECT_EQ(s.port, c.port);
        EXPECT_EQ(s.topic + "/" + s.receiver, c.topicPrefix);
        EXPECT_EQ(s.receiverName, c.receiverName);
        EXPECT_TRUE(s.discovery);
        EXPECT_EQ(s.discoveryPrefix, "homeassistant");
    }

    Profile secret(
        "[MQTT]\nHost=b\nUser=wetter\nPasswordFile=/secret\nDiscovery=0\nDiscoveryPrefix=ha\n");
    const MqttSettingsResult result = secret.Read();
    ASSERT_TRUE(result.settings) << result.error;
    EXPECT_EQ(result.settings->user, "wetter");
    EXPECT_EQ(result.settings->password, "geheim");
    EXPECT_FALSE(result.settings->discovery);
    EXPECT_EQ(result.settings->discoveryPrefix, "ha");
    EXPECT_EQ(result.settings->Address(), "b:1883");

    // No Host and no option: nothing to publish, and nothing wrong.
    Profile off("[MQTT]\nUser=x\n");
    const MqttSettingsResult none = off.Read();
    EXPECT_FALSE(none.settings);
    EXPECT_EQ(none.error, "");
}

TEST(MqttSettings, WhatCannotWorkIsSaidAtStart) {
    struct Case {
        std::string lines;
        std::string error;  // a part of the message
    };
    const std::vector<Case> cases = {
        {"Host=mqtt://broker", "Der MQTT-Broker \"mqtt://broker\" ist kein Rechnername"},
        {"Host=broker:0", "\"broker:0\" ist kein Rechnername"},
        {"Host=bro ker", "\"bro ker\" ist kein Rechnername"},
        {"Host=[fd00::1", "ist kein Rechnername"},
        {"Host=b\nPort=70000", "Der MQTT-Port \"70000\" (Port) ist keine Zahl von 1 bis 65535."},
        {"Host=b\nPort=18x", "\"18x\" (Port)"},
        {"Host=b\nUser=u\nPasswordFile=/missing",
         "Die Passwortdatei /missing (PasswordFile) läßt sich nicht lesen: Es gibt sie nicht."},
        {"Host=b\nPasswordFile=/secret", "fehlt der Benutzername (User)"},
        {"Host=b\nUser=u\nPassword=geheim", "Das MQTT-Passwort steht im Profil (Password)"},
        {"Host=b\nCAFile=/missing.pem",
         "Die CA-Datei /missing.pem (CAFile) läßt sich nicht lesen: Es gibt sie nicht."},
        {"Host=b\nCAFile=/junk.pem", "(CAFile) enthält kein Zertifikat im PEM-Format."},
        {"Host=b\nTopic=wetter/#", "Das MQTT-Thema \"wetter/#\" (Topic) ist ungültig"},
        {"Host=b\nTopic=/wetter", "(Topic) ist ungültig"},
        {"Host=b\nDiscoveryPrefix=home//assistant", "(DiscoveryPrefix) ist ungültig"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        Profile profile("[MQTT]\n" + c.lines + "\n");
        const MqttSettingsResult result = profile.Read();
        EXPECT_FALSE(result.settings);
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
    }
}

TEST(SensorNames, FriendlyNamesFromTheProfileAndTheListsNamesOtherwise) {
    testing::MemoryFileSystem files;
    files.files["/p.INI"] =
        "[Sensornamen]\noutdoor-1=Garten\nOUTDOOR-2=Gew\xE4"
        "chshaus\n";
    const SensorNames names = SensorNames::Read(SettingsStore(files, "/p.INI"));
    EXPECT_EQ(names.NameOf({SensorKind::Outdoor, 1, false}), "Garten");
    EXPECT_EQ(names.NameOf({SensorKind::Outdoor, 2, false}), "Gewächshaus");
    EXPECT_EQ(names.NameOf({SensorKind::Outdoor, 3, false}), "Außen 3");
    EXPECT_EQ(names.NameOf({SensorKind::Special, 0, false}), "Fenster");
    EXPECT_EQ(names.NameOf({SensorKind::Special, 0, true}), "Fernbedienung");
}

TEST(SensorNames, ReadOnceTheyAreWhatEachKeyReadsAlone) {
    testing::MemoryFileSystem files;
    files.files["/p.INI"] =
        "[Sensornamen]\nRain-0 = \" Dach \"\nrain-0=zweiter\nwind-9=kein Sensor\n"
        "remote-control=Fernbed.\n[MQTT]\nindoor-4=anderer Abschnitt\n"
        "[sensornamen]\nindoor-4=Keller\nwindow-event\n;brightness-1=Kommentar\n"
        "an-id-longer-than-any-sensor-id=x\n";
    const SettingsStore store(files, "/p.INI");
    const SensorNames names = SensorNames::Read(store);
    EXPECT_EQ(names.NameOf({SensorKind::Rain, 0, false}), " Dach ");
    EXPECT_EQ(names.NameOf({SensorKind::Indoor, 4, false}), "Keller");
    for (int i = 0; i < kSensorCount; ++i) {
        const SensorKey key = SensorAt(i);
        const std::string alone = store.ReadString(SensorNames::kSection, SensorIdOf(key), "");
        SensorNames one;
        one.Set(key, alone);
        EXPECT_EQ(names.NameOf(key), one.NameOf(key)) << SensorIdOf(key);
    }
}

}  // namespace
}  // namespace tavrolin
