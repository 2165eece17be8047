// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveSettings.h"

#include "base/Win1252.h"

namespace tavrolin {

ArchiveSettings ArchiveSettings::Read(const SettingsStore& store) {
    ArchiveSettings s;
    s.active = store.ReadInt(kSection, "Aktiv", 1) != 0;
    s.file = store.ReadString(kSection, "Datei", "");
    return s;
}

std::string SensorName(const SettingsStore& store, const SensorKey& key) {
    // A profile written by hand on Linux is UTF-8; one of the window's, Windows-1252.
    return FileNameToUtf8(store.ReadString("Sensornamen", SensorIdOf(key), ""));
}

}  // namespace tavrolin
