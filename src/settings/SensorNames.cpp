// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SensorNames.h"

#include "base/Win1252.h"

namespace tavrolin {

SensorNames SensorNames::Read(const SettingsStore& store) {
    // One reading of the profile for all sensors. Keys match without regard to case, and of
    // a key that is there twice the first counts, as with ReadString.
    SensorNames names;
    std::array<bool, kSensorCount> named{};
    store.ReadSection(kSection, [&](std::string_view key, std::string_view value) {
        std::array<char, 16> lower{};
        if (key.size() > lower.size()) {
            return;  // longer than any sensor id
        }
        for (std::size_t i = 0; i < key.size(); ++i) {
            const char c = key[i];
            lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        const std::optional<SensorKey> sensor = ParseSensorId({lower.data(), key.size()});
        if (!sensor || named[static_cast<std::size_t>(IndexOf(*sensor))]) {
            return;
        }
        named[static_cast<std::size_t>(IndexOf(*sensor))] = true;
        names.Set(*sensor, ProfileTextToUtf8(value));
    });
    return names;
}

void SensorNames::Set(const SensorKey& key, std::string name) {
    m_names[static_cast<std::size_t>(IndexOf(key))] = std::move(name);
}

const std::string& SensorNames::FriendlyName(const SensorKey& key) const {
    return m_names[static_cast<std::size_t>(IndexOf(key))];
}

std::string SensorNames::NameOf(const SensorKey& key) const {
    const std::string& name = FriendlyName(key);
    if (!name.empty()) {
        return name;
    }
    std::string shown(KindLabel(key));
    if (key.kind != SensorKind::Special) {
        shown += ' ';
        shown += static_cast<char>('0' + key.address);
    }
    return shown;
}

}  // namespace tavrolin
