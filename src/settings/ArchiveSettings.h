// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "settings/SettingsStore.h"

namespace tavrolin {

// The profile's section "Archiv", which both receiving programs and tavrolin-history read
// and none writes:
//   Datei=/var/lib/tavrolin/archiv.sqlite   the archive; empty or missing: the default
//   Aktiv=1                                 0: the receiving programs keep no archive
struct ArchiveSettings {
    static constexpr const char* kSection = "Archiv";

    bool active = true;
    std::string file;  // as written in the profile; empty for the default

    static ArchiveSettings Read(const SettingsStore& store);
    // The file to use: this one, or the default where the profile names none.
    std::string PathOr(const std::string& defaultPath) const {
        return file.empty() ? defaultPath : file;
    }
};

}  // namespace tavrolin
