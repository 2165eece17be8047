// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/FileSystem.h"
#include "settings/SettingsStore.h"

namespace tavrolin {

// "broker.local", "broker.local:1884", "192.168.1.10:1883", "[fd00::1]:1884", "fd00::1".
struct BrokerAddress {
    std::string host;
    std::optional<int> port;
};
// Nothing for a text that names no host: empty, blanks, a scheme ("mqtt://"), a bad port.
std::optional<BrokerAddress> ParseBrokerAddress(std::string_view text);

// A topic level or an id as Home Assistant accepts it: [a-zA-Z0-9_-], every other character
// (a UTF-8 sequence counts as one) becomes '_'.
std::string SanitizedId(std::string_view text);

// The profile's section "MQTT": where the readings are published. All texts UTF-8.
// A topic the broker takes as a prefix of ours: not empty, no wildcard, no empty level, no
// control character.
bool IsTopicPrefix(std::string_view topic);

struct MqttSettings {
    static constexpr const char* kSection = "MQTT";
    static constexpr int kDefaultPort = 1883;
    static constexpr int kDefaultTlsPort = 8883;

    std::string host;
    int port = kDefaultPort;
    std::string user;                     // empty: anonymous
    std::optional<std::string> password;  // the first line of PasswordFile
    std::string caFile;                   // TLS with this CA when set
    std::string topic = "tavrolin";
    std::string receiver;      // the topic level and id part: SanitizedId of the name
    std::string receiverName;  // as configured (the host name by default), for people
    bool discovery = true;
    std::string discoveryPrefix = "homeassistant";

    // "broker.local:1883" for messages.
    std::string Address() const;
};

struct MqttSettingsResult {
    // None when MQTT is off (no Host and no --mqtt) or the settings are wrong.
    std::optional<MqttSettings> settings;
    // Why the settings cannot be used, German, UTF-8; empty when they can (or MQTT is off).
    std::string error;
};

// Reads section "MQTT". hostOption is the logger's --mqtt HOST[:PORT] (empty without it); it
// counts before Host and Port. hostName is the receiver's default name. The password and the
// CA file are read here, so that a file that cannot be read is said at start.
MqttSettingsResult ReadMqttSettings(const SettingsStore& store, FileSystem& files,
                                    std::string_view hostName, std::string_view hostOption);

}  // namespace tavrolin
