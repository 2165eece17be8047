// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrolin {

namespace sql {
class Database;
}

// Bringing a file of an older format up to the current one (kArchiveFormat, ArchiveSchema.h).
//
// Runs the steps from format `from` to kArchiveFormat, each in its own transaction, so a
// crash leaves the file at one of the formats; a step another program has taken meanwhile
// is skipped. The SQLite result code of the first failure, whose transaction is left open
// for the caller to read the error and roll back.
int MigrateArchive(sql::Database& db, int from);
// Runs only the steps up to format `to` (tests make files of older formats with it).
int MigrateArchiveTo(sql::Database& db, int from, int to);

}  // namespace tavrolin
