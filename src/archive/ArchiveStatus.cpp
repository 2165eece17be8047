// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveStatus.h"

#include <sqlite3.h>

#include <system_error>

#include "archive/Sqlite.h"
#include "base/FileSystem.h"

namespace tavrolin {

namespace {

bool Is(int error, std::errc code) {
    return error != 0 && std::error_code(error, std::generic_category()) == code;
}

// The system's error behind a failed open, read or write; Other when it says nothing more.
ArchiveProblem FromErrno(int error, bool creating) {
    if (Is(error, std::errc::no_such_file_or_directory) || Is(error, std::errc::not_a_directory)) {
        return creating ? ArchiveProblem::NoFolder : ArchiveProblem::NoFile;
    }
    if (Is(error, std::errc::permission_denied) || Is(error, std::errc::operation_not_permitted) ||
        Is(error, std::errc::read_only_file_system)) {
        return ArchiveProblem::NoPermission;
    }
    if (Is(error, std::errc::no_space_on_device)) {
        return ArchiveProblem::DiskFull;
    }
    return ArchiveProblem::Other;
}

}  // namespace

ArchiveStatus StatusOf(const sql::Database& db, int rc, bool creating) {
    ArchiveStatus status;
    status.detail = db.ErrorMessage();
    switch (rc & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            status.detail.clear();
            return status;
        case SQLITE_CANTOPEN:
        case SQLITE_IOERR:
            status.problem = FromErrno(db.SystemErrno(), creating);
            break;
        case SQLITE_PERM:
        case SQLITE_READONLY:
        case SQLITE_AUTH:
            status.problem = ArchiveProblem::NoPermission;
            break;
        case SQLITE_FULL:
            status.problem = ArchiveProblem::DiskFull;
            break;
        case SQLITE_NOTADB:
            status.problem = ArchiveProblem::NotAnArchive;
            break;
        case SQLITE_CORRUPT:
            status.problem = ArchiveProblem::Damaged;
            break;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            status.problem = ArchiveProblem::Locked;
            break;
        default:
            status.problem = ArchiveProblem::Other;
            break;
    }
    return status;
}

std::string ArchiveStatus::Unreadable(const std::string& path) const {
    return (path.empty() ? std::string("Das Archiv") : "Das Archiv " + ShownFilePath(path)) +
           " läßt sich nicht lesen" + Describe();
}

std::string ArchiveStatus::Describe() const {
    switch (problem) {
        case ArchiveProblem::None:
            return ".";
        case ArchiveProblem::NoFolder:
            return ": Der Ordner existiert nicht.";
        case ArchiveProblem::NoFile:
            return ": Die Datei existiert nicht.";
        case ArchiveProblem::NoPermission:
            return ": Keine Berechtigung.";
        case ArchiveProblem::DiskFull:
            return ": Der Datenträger ist voll.";
        case ArchiveProblem::NotAnArchive:
            return ": Die Datei ist kein Tavrolin-Archiv.";
        case ArchiveProblem::Damaged:
            return ": Die Datei ist beschädigt (SQLite: " + detail + ").";
        case ArchiveProblem::Locked:
            return ": Ein anderes Programm hält es gesperrt.";
        case ArchiveProblem::NewerFormat:
            return ": Es stammt von einer neueren Version von Tavrolin (Format " + detail + ").";
        case ArchiveProblem::OlderFormat:
            return ": Es hat noch das ältere Format " + detail +
                   ", das erst ein Programm erneuert, das es schreibt: tavrolin oder "
                   "tavrolin-log, sobald sie es öffnen.";
        case ArchiveProblem::Other:
            break;
    }
    return detail.empty() ? "." : " (SQLite: " + detail + ").";
}

std::string Messungen(int64_t count) {
    return std::to_string(count) + (count == 1 ? " Messung" : " Messungen");
}

}  // namespace tavrolin
