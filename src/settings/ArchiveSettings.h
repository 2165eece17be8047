// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "settings/SettingsStore.h"

namespace tavrolin {

// The profile's section "Archiv", which both receiving programs and tavrolin-history read
// and none writes:
//   Datei=/var/lib/tavrolin/archiv.sqlite   the archive; empty or missing: the default
//   Aktiv=1                                 0: the receiving programs keep no archive
//   Schreibintervall=300                    seconds between the receiving programs' commits
//   Sicherung=/media/usb/tavrolin           the folder of tavrolin-history backup's daily
//                                           copies; empty or missing: none set up
//   Sicherungen=7                           how many of those copies it keeps
//   Live=/run/tavrolin/live.sock            the live feed's socket, which the receiving
//                                           program offers and tavrolin-web reads; empty or
//                                           missing: the default (DefaultLivePath)
struct ArchiveSettings {
    static constexpr const char* kSection = "Archiv";
    // Readings reach the archive in one transaction at most this often. Each commit writes
    // the WAL's new frames and the -shm's index, some 18 kB of storage (a few pages of
    // 4 KiB each, however few bytes of them changed), while a reading adds some 40 bytes:
    // it is the commits, not the readings, that wear an SD card. Five minutes keep a
    // typical station's archive at some 7 MB a day (a commit a minute: some 22 MB), readers
    // at most five minutes behind, and what a power cut or SIGKILL costs to the readings of
    // those minutes, which the protocol file has all the same.
    static constexpr int kDefaultCommitSeconds = 300;
    static constexpr int kLongestCommitSeconds = 3600;

    bool active = true;
    std::string file;  // as written in the profile; empty for the default
    std::string live;  // the same
    int commitSeconds = kDefaultCommitSeconds;
    // In German, when Schreibintervall is no whole number of 1 to kLongestCommitSeconds
    // seconds; the default holds then.
    std::string error;

    // A week of daily copies: a fault found after some days can still be gone back on.
    static constexpr int kDefaultBackupsKept = 7;
    static constexpr int kMostBackupsKept = 10000;
    std::string backupFolder;
    int backupsKept = kDefaultBackupsKept;
    // In German, when Sicherungen is no whole number of 1 to kMostBackupsKept; only the
    // backup reads these two keys, and says so.
    std::string backupError;

    static ArchiveSettings Read(const SettingsStore& store);
    // The file to use: this one, or the default where the profile names none.
    std::string PathOr(const std::string& defaultPath) const {
        return file.empty() ? defaultPath : file;
    }
    std::string LiveOr(const std::string& defaultPath) const {
        return live.empty() ? defaultPath : live;
    }
};

}  // namespace tavrolin
