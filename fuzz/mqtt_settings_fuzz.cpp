// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a profile's [MQTT] and [Sensornamen] sections, read the way both programs read
// them at start (ReadMqttSettings, SensorNames::Read), with or without the logger's --mqtt:
// settings that are taken can be used as they are (a broker address that reads back as
// itself, a port in range, topics without wildcards or empty levels, a receiver id Home
// Assistant accepts, texts in UTF-8 that the JSON of the discovery can carry); settings
// that are not taken come with a German message in UTF-8; the names, read at once, are
// those that each sensor's key gives when read alone.
//
// Input: byte 0 bits 0..4 are the length of the --mqtt text (0: none), bits 5..6 choose the
// host name; then the --mqtt text, then the profile.
//
// The profile and the files it may name (a password file, CA files with and without a
// certificate) live in memory; the store over them is made once, and every input replaces
// the profile's content.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "MemoryFileSystem.h"
#include "base/Win1252.h"
#include "settings/MqttSettings.h"
#include "settings/SensorNames.h"
#include "settings/SettingsStore.h"

namespace {

using namespace tavrolin;

const std::string kPath = "/p.INI";
constexpr std::string_view kHostNames[] = {"wetter.local", "",
                                           "K\xC3\xBC"
                                           "che Nord",
                                           "-"};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsIdChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

struct Profile {
    Profile() {
        fs.files["/etc/tavrolin/passwort"] = "geheim\r\nzweite Zeile";
        fs.files["/etc/tavrolin/ca.pem"] =
            "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";
        fs.files["/etc/tavrolin/kein.pem"] = "kein Zertifikat";
        fs.files["/etc/tavrolin/leer"] = "";
    }
    testing::MemoryFileSystem fs;
    SettingsStore store{fs, kPath};
};

void CheckSettings(const MqttSettings& s) {
    Check(!s.host.empty());
    Check(s.port >= 1 && s.port <= 65535);
    const std::optional<BrokerAddress> again = ParseBrokerAddress(s.Address());
    Check(again && again->host == s.host && again->port == s.port);
    Check(IsTopicPrefix(s.topic) && IsTopicPrefix(s.discoveryPrefix));
    Check(!s.receiver.empty() && std::all_of(s.receiver.begin(), s.receiver.end(), IsIdChar));
    Check(!s.receiverName.empty() && IsUtf8(s.receiverName) && IsUtf8(s.user));
    if (s.password) {
        Check(!s.user.empty());
        Check(s.password->find_first_of("\r\n") == std::string::npos);
    }
    if (!s.caFile.empty()) {
        Check(s.caFile == "/etc/tavrolin/ca.pem");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static Profile p;
    const std::size_t optionLength = std::min<std::size_t>(data[0] & 0x1F, size - 1);
    const std::string_view hostName = kHostNames[(data[0] >> 5) & 3];
    const std::string_view option(reinterpret_cast<const char*>(data + 1), optionLength);
    // Assigned, not built anew: the profile's string keeps its room from input to input.
    p.fs.files[kPath].assign(reinterpret_cast<const char*>(data + 1 + optionLength),
                             size - 1 - optionLength);

    const MqttSettingsResult result = ReadMqttSettings(p.store, p.fs, hostName, option);
    Check(IsUtf8(result.error));
    if (result.settings) {
        Check(result.error.empty());
        CheckSettings(*result.settings);
    } else if (result.error.empty()) {
        // Off: no broker named anywhere.
        Check(option.empty() && p.store.ReadString(MqttSettings::kSection, "Host", "").empty());
    }

    // Two sensors, chosen by the input, have names in UTF-8, and the names their keys give
    // when read alone: over many inputs that covers every sensor, at a fraction of the cost
    // of all every time.
    const SensorNames names = SensorNames::Read(p.store);
    for (const std::size_t n : {size, optionLength * 7 + (data[0] >> 5)}) {
        const SensorKey key = SensorAt(static_cast<int>(n % kSensorCount));
        const std::string name = names.NameOf(key);
        Check(!name.empty() && IsUtf8(name));
        SensorNames alone;
        alone.Set(
            key, ProfileTextToUtf8(p.store.ReadString(SensorNames::kSection, SensorIdOf(key), "")));
        Check(name == alone.NameOf(key));
    }
    return 0;
}
