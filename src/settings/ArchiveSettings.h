// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "settings/SettingsStore.h"

namespace tavrolin {

// The profile's section "Archiv", which both receiving programs and tavrolin-history read
// and none writes:
//   Datei=/var/lib/tavrolin/archiv.sqlite   the archive; empty or missing: the default
//   Aktiv=1                                 0: the receiving programs keep no archive
//   Schreibintervall=60                     seconds between the receiving programs' commits
struct ArchiveSettings {
    static constexpr const char* kSection = "Archiv";
    // Readings reach the archive in one transaction at most this often. Each commit writes
    // a few pages into the WAL and the -shm, 4 KiB of storage each however few bytes of
    // them changed, while a reading adds some 40 bytes: it is the commits, not the readings,
    // that wear an SD card. A minute keeps a typical station's archive well below 10 MB a
    // day, readers a minute behind at most, and a power cut or SIGKILL costs at most that
    // minute's readings; the protocol file has them all the same.
    static constexpr int kDefaultCommitSeconds = 60;
    static constexpr int kLongestCommitSeconds = 3600;

    bool active = true;
    std::string file;  // as written in the profile; empty for the default
    int commitSeconds = kDefaultCommitSeconds;
    // In German, when Schreibintervall is no whole number of 1 to kLongestCommitSeconds
    // seconds; the default holds then.
    std::string error;

    static ArchiveSettings Read(const SettingsStore& store);
    // The file to use: this one, or the default where the profile names none.
    std::string PathOr(const std::string& defaultPath) const {
        return file.empty() ? defaultPath : file;
    }
};

}  // namespace tavrolin
