// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tavrolin {

namespace sql {
class Database;
}

// Why the archive could not be opened, read or written, mapped once from SQLite's result
// codes and the system's error numbers; the German words for each come from Describe().
enum class ArchiveProblem {
    None,
    NoFolder,      // the folder of a new archive does not exist
    NoFile,        // an archive to read does not exist
    NoPermission,  // no right to read or write, or a read-only file system
    DiskFull,
    NotAnArchive,  // not an SQLite file, or one of another program
    Damaged,       // SQLite found the file corrupt
    Locked,        // another program holds the database
    NewerFormat,   // written by a later version of this program
    OlderFormat,   // not yet brought up to date, for a reader (Archive::Access::Read)
    Other,
};

struct ArchiveStatus {
    ArchiveProblem problem = ArchiveProblem::None;
    std::string detail;  // SQLite's own words, or the format number, for Describe()

    bool Ok() const { return problem == ArchiveProblem::None; }
    // ": Der Datenträger ist voll.": the reason as the messages append it to their first
    // sentence, in German.
    std::string Describe() const;
    // "Das Archiv PATH läßt sich nicht lesen: ...", the path as the messages show it
    // (ShownFilePath); without a path when the message names it elsewhere.
    std::string Unreadable(const std::string& path = {}) const;

    friend bool operator==(const ArchiveStatus& a, const ArchiveStatus& b) {
        return a.problem == b.problem;
    }
};

// "1 Messung", "12000 Messungen".
std::string Messungen(int64_t count);

// The status of a call on the connection (rc its result code). `creating` tells a missing
// folder of a new file from a missing file to read.
ArchiveStatus StatusOf(const sql::Database& db, int rc, bool creating);

}  // namespace tavrolin
