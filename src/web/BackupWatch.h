// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "archive/ArchiveBackup.h"
#include "base/Clock.h"

namespace tavrolin {

// How old the newest backup of the archive is, for the front page and /metrics: the newest
// dated copy in the folder of [Archiv] Sicherung, looked at once a minute on a thread of its
// own, so that a share that hangs (a NAS asleep, a network gone) never holds up a page.
class BackupWatch {
public:
    // Daily copies: one older than two days means a day was missed.
    static constexpr std::chrono::hours kStaleAfter{48};

    // An empty folder: no backup set up, nothing watched.
    BackupWatch(std::string folder, std::string archivePath);
    ~BackupWatch();
    BackupWatch(const BackupWatch&) = delete;
    BackupWatch& operator=(const BackupWatch&) = delete;

    struct State {
        bool watched = false;            // a folder is set up
        bool looked = false;             // it was looked at once at least
        std::optional<LastCopy> newest;  // nothing: no copy there (or not reachable)
        // Set up, and no copy younger than kStaleAfter; false until the first look.
        bool Stale(Instant now) const;
    };
    State Now() const;

    // "backup": {"folder", "at" (ISO 8601 or null), "stale"}, or nothing when not set up.
    std::string Json(Instant now, const TimeZone& zone) const;
    // tavrolin_archive_last_backup_timestamp_seconds (0 while no copy is there), or nothing.
    std::string Metrics() const;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::string m_folder;
};

}  // namespace tavrolin
