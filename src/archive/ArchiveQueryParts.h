// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "archive/Archive.h"
#include "archive/ArchiveStatus.h"

namespace tavrolin {

// What the files that read the archive for ArchiveQuery.h share (ArchiveQuery.cpp,
// ArchiveRainQuery.cpp, ArchiveCheck.cpp); not for the archive's users.

// A reading's columns (ReadingFromRow), then its seq: readings of one sensor and millisecond
// come in the order they were received.
inline constexpr const char* kColumns = "sensor, t, meta, interval, a, b, c, seq";

inline ArchiveStatus Failed(Archive& archive, int rc) {
    return StatusOf(archive.Db(), rc, false);
}

// The same SELECT over `reading` and over `recent`, where every reading is in one of them:
// "SELECT <columns> FROM reading WHERE <where> UNION ALL SELECT ... FROM recent WHERE ...".
// With an ORDER BY on t after it, SQLite merges the two (each in key order) without sorting.
std::string BothTables(std::string_view columns, std::string_view where);

}  // namespace tavrolin
