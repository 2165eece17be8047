// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SensorNames.h"

#include "base/Win1252.h"

namespace tavrolin {

SensorNames SensorNames::Read(const SettingsStore& store) {
    SensorNames names;
    for (int i = 0; i < kSensorCount; ++i) {
        const SensorKey key = SensorAt(i);
        names.Set(key, ProfileTextToUtf8(store.ReadString(kSection, SensorIdOf(key), "")));
    }
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
