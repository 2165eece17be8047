// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ArchiveSettings.h"

#include "base/Win1252.h"
#include "settings/DecimalText.h"

namespace tavrolin {

ArchiveSettings ArchiveSettings::Read(const SettingsStore& store) {
    ArchiveSettings s;
    s.active = store.ReadInt(kSection, "Aktiv", 1) != 0;
    s.file = store.ReadString(kSection, "Datei", "");
    s.live = store.ReadString(kSection, "Live", "");
    const std::string interval = store.ReadString(kSection, "Schreibintervall", "");
    if (!interval.empty()) {
        if (const std::optional<int> seconds =
                ParseWholeInRange(interval, 1, kLongestCommitSeconds)) {
            s.commitSeconds = *seconds;
        } else {
            s.error = "Das Schreibintervall des Archivs \"" + ProfileTextToUtf8(interval) +
                      "\" (Schreibintervall) ist keine Zahl von 1 bis " +
                      std::to_string(kLongestCommitSeconds) + " Sekunden.";
        }
    }
    s.backupFolder = store.ReadString(kSection, "Sicherung", "");
    const std::string kept = store.ReadString(kSection, "Sicherungen", "");
    if (!kept.empty()) {
        if (const std::optional<int> count = ParseWholeInRange(kept, 1, kMostBackupsKept)) {
            s.backupsKept = *count;
        } else {
            s.backupError = "Die Zahl der Sicherungen \"" + ProfileTextToUtf8(kept) +
                            "\" (Sicherungen) ist keine Zahl von 1 bis " +
                            std::to_string(kMostBackupsKept) + ".";
        }
    }
    return s;
}

}  // namespace tavrolin
