// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "archive/ArchiveBackup.h"

namespace tavrolin {

// The processes that have the archive at `path` open: every SQLite connection to a file in
// WAL mode holds a lock in its -shm for as long as it is open, and the kernel lists the
// holders of every lock in /proc/locks. Empty where nothing holds one, or where the system
// does not tell.
std::vector<ArchiveUser> ArchiveUsers(const std::string& path);

// Gives `file` the owner and group of `like`, so that a file put in place of another stays
// the account's that wrote that one. False where that is not allowed.
bool TakeOwnerOf(const std::string& like, const std::string& file);

}  // namespace tavrolin
