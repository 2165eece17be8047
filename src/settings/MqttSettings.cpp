// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/MqttSettings.h"

#include <algorithm>

#include "base/Win1252.h"
#include "settings/DecimalText.h"

namespace tavrolin {

namespace {

constexpr std::size_t kMaxSecretBytes = 4096;
constexpr std::size_t kMaxCaFileBytes = 1024 * 1024;

bool IsAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsHostNameChar(char c) {
    return IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_';
}

bool IsIpv6Char(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
           c == '.';
}

std::optional<int> ParsePort(std::string_view text) {
    return ParseWholeInRange(text, 1, 65535);
}

std::string Quoted(std::string_view text) {
    return "\"" + ProfileTextToUtf8(text) + "\"";
}

}  // namespace

std::optional<BrokerAddress> ParseBrokerAddress(std::string_view text) {
    BrokerAddress address;
    std::string_view host = text;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (!rest.starts_with(':') || !(address.port = ParsePort(rest.substr(1)))) {
                return std::nullopt;
            }
        }
        if (host.empty() || !std::all_of(host.begin(), host.end(), IsIpv6Char)) {
            return std::nullopt;
        }
    } else if (std::count(text.begin(), text.end(), ':') >= 2) {
        // A bare IPv6 address: its colons leave no room for a port.
        if (!std::all_of(text.begin(), text.end(), IsIpv6Char)) {
            return std::nullopt;
        }
    } else {
        const std::size_t colon = text.find(':');
        if (colon != std::string_view::npos) {
            host = text.substr(0, colon);
            if (!(address.port = ParsePort(text.substr(colon + 1)))) {
                return std::nullopt;
            }
        }
        if (host.empty() || !std::all_of(host.begin(), host.end(), IsHostNameChar)) {
            return std::nullopt;
        }
    }
    address.host = std::string(host);
    return address;
}

std::string SanitizedId(std::string_view text) {
    std::string id;
    for (const char c : text) {
        if (IsAsciiAlnum(c) || c == '_' || c == '-') {
            id += c;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            id += '_';  // one for a whole UTF-8 sequence: skip its continuation bytes
        }
    }
    return id;
}

std::string MqttSettings::Address() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool IsTopicPrefix(std::string_view topic) {
    return !topic.empty() && topic.find_first_of("+#") == std::string_view::npos &&
           topic.front() != '/' && topic.back() != '/' &&
           topic.find("//") == std::string_view::npos && IsUtf8(topic) &&
           std::none_of(topic.begin(), topic.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

MqttSettingsResult ReadMqttSettings(const SettingsStore& store, FileSystem& files,
                                    std::string_view hostName, std::string_view hostOption) {
    const char* const section = MqttSettings::kSection;
    const auto fail = [](std::string text) { return MqttSettingsResult{std::nullopt, text}; };
    const std::string hostText =
        hostOption.empty() ? store.ReadString(section, "Host", "") : std::string(hostOption);
    if (hostText.empty()) {
        return {};
    }
    MqttSettings s;
    const std::optional<BrokerAddress> address = ParseBrokerAddress(hostText);
    if (!address) {
        return fail("Der MQTT-Broker " + Quoted(hostText) +
                    " ist kein Rechnername und keine IP-Adresse (Beispiele: broker.local, "
                    "192.168.1.10:1883).");
    }
    s.host = address->host;

    s.caFile = store.ReadString(section, "CAFile", "");
    if (!s.caFile.empty()) {
        FileError error = FileError::None;
        const std::optional<std::string> ca = files.ReadFile(s.caFile, kMaxCaFileBytes, error);
        if (!ca) {
            return fail("Die CA-Datei " + ProfileTextToUtf8(s.caFile) +
                        " (CAFile) läßt sich nicht lesen" +
                        std::string(FileErrorReason(error, FileAccess::Read)));
        }
        if (ca->find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
            return fail("Die CA-Datei " + ProfileTextToUtf8(s.caFile) +
                        " (CAFile) enthält kein Zertifikat im PEM-Format.");
        }
    }
    const std::string portText = store.ReadString(section, "Port", "");
    if (address->port) {
        s.port = *address->port;
    } else if (!portText.empty()) {
        const std::optional<int> port = ParsePort(portText);
        if (!port) {
            return fail("Der MQTT-Port " + Quoted(portText) +
                        " (Port) ist keine Zahl von 1 bis 65535.");
        }
        s.port = *port;
    } else {
        s.port = s.caFile.empty() ? MqttSettings::kDefaultPort : MqttSettings::kDefaultTlsPort;
    }

    if (!store.ReadString(section, "Password", "").empty()) {
        return fail(
            "Das MQTT-Passwort steht im Profil (Password). Es gehört in eine eigene Datei, "
            "die nur der Benutzer des Programms lesen kann und die PasswordFile nennt.");
    }
    s.user = ProfileTextToUtf8(store.ReadString(section, "User", ""));
    const std::string passwordFile = store.ReadString(section, "PasswordFile", "");
    if (!passwordFile.empty()) {
        FileError error = FileError::None;
        std::optional<std::string> secret = files.ReadFile(passwordFile, kMaxSecretBytes, error);
        if (!secret) {
            return fail("Die Passwortdatei " + ProfileTextToUtf8(passwordFile) +
                        " (PasswordFile) läßt sich nicht lesen" +
                        std::string(FileErrorReason(error, FileAccess::Read)));
        }
        if (s.user.empty()) {
            return fail("Zur Passwortdatei (PasswordFile) fehlt der Benutzername (User).");
        }
        // The first line: an editor's line end is not part of the password.
        secret->resize(std::min(secret->size(), secret->find_first_of("\r\n")));
        s.password = std::move(*secret);
    }

    s.topic = ProfileTextToUtf8(store.ReadString(section, "Topic", s.topic));
    if (!IsTopicPrefix(s.topic)) {
        return fail("Das MQTT-Thema " + Quoted(s.topic) +
                    " (Topic) ist ungültig: es darf weder leer sein noch + oder # enthalten "
                    "und nicht mit / beginnen oder enden.");
    }
    s.discovery = store.ReadInt(section, "Discovery", 1) != 0;
    s.discoveryPrefix =
        ProfileTextToUtf8(store.ReadString(section, "DiscoveryPrefix", s.discoveryPrefix));
    if (!IsTopicPrefix(s.discoveryPrefix)) {
        return fail("Das Thema für Home Assistant " + Quoted(s.discoveryPrefix) +
                    " (DiscoveryPrefix) ist ungültig: es darf weder leer sein noch + oder # "
                    "enthalten und nicht mit / beginnen oder enden.");
    }
    s.receiverName = ProfileTextToUtf8(store.ReadString(section, "Receiver", ""));
    if (s.receiverName.empty()) {
        s.receiverName = std::string(hostName);
    }
    s.receiver = SanitizedId(s.receiverName);
    if (s.receiver.empty()) {
        s.receiver = s.receiverName = "tavrolin";
    }
    return {std::move(s), {}};
}

}  // namespace tavrolin
