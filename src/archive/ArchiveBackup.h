// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "base/Clock.h"

namespace tavrolin {

// Copies of the archive that are whole or not there: a copy is written under a temporary
// name beside its place, checked as `tavrolin-history check` checks an archive, and only
// then renamed to its own name. Whatever fails on the way leaves nothing behind.

struct CopyOutcome {
    ArchiveStatus status;  // why the archive could not be read or the copy not written
    CheckReport check;     // the copy's check; findings mean it was not kept
    bool stopped = false;  // the caller asked to stop; nothing was kept
    bool Kept() const { return status.Ok() && check.findings.empty() && !stopped; }
};

// Writes a copy of the open archive to `path` (replacing a copy there), consistent as of the
// moment it begins while writers go on; `goOn` is asked now and then, false stops it. The
// copy is a file of its own (no -wal beside it) whose modification time is `taken`, the
// moment it holds every reading committed before.
CopyOutcome CopyArchive(Archive& archive, const std::string& path, Instant taken,
                        const std::function<bool()>& goOn);

// Puts the copy at `copy` in place of the archive at `path`: checks it, copies it into the
// archive's folder under a temporary name, moves the archive that is there (and its WAL,
// which may hold committed readings) to `kept`, and renames the copy in. The caller makes
// sure that no program writes the archive meanwhile.
CopyOutcome RestoreArchive(const std::string& copy, const std::string& path,
                           const std::string& kept);

// The folder's copies of an archive by day: "archiv-2026-12-09.sqlite" for the archive
// "archiv.sqlite", so that copies of two archives may share a folder.
std::string DatedCopyName(const std::string& archivePath, const LocalTime& day);
// The dated copies of the archive in `folder` that this program made: a name of that form,
// a regular file, and an archive's header. Oldest first.
std::vector<std::string> DatedCopies(const std::string& folder, const std::string& archivePath);
// Removes the oldest of them beyond `keep`; the paths it removed.
std::vector<std::string> RemoveOldCopies(const std::string& folder, const std::string& archivePath,
                                         std::size_t keep);

// A process that has the archive open, as the system tells (ArchiveUsers).
struct ArchiveUser {
    int pid = 0;
    std::string program;  // its name, "tavrolin-log"
    // The window and the logger write the archive; other programs only read it.
    bool Writes() const { return program == "tavrolin" || program == "tavrolin-log"; }
};

struct LastCopy {
    std::string path;
    Instant taken;  // as CopyArchive set it
};
// The newest of them, if any.
std::optional<LastCopy> NewestCopy(const std::string& folder, const std::string& archivePath);

}  // namespace tavrolin
