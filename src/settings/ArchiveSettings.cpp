// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ArchiveSettings.h"

namespace tavrolin {

ArchiveSettings ArchiveSettings::Read(const SettingsStore& store) {
    ArchiveSettings s;
    s.active = store.ReadInt(kSection, "Aktiv", 1) != 0;
    s.file = store.ReadString(kSection, "Datei", "");
    return s;
}

}  // namespace tavrolin
