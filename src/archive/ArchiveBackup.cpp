// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveBackup.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "archive/ArchiveSchema.h"

namespace tavrolin {

namespace fs = std::filesystem;

namespace {

// A name in the copy's folder that no other copy, running at the same time, takes: a
// leftover of a copy that was killed is seen at once for what it is.
std::string TemporaryBeside(const std::string& path) {
    std::random_device random;
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", random());
    const fs::path target(path);
    return (target.parent_path() / ("." + target.filename().string() + "." + tag + ".tmp"))
        .string();
}

// The temporary copies of `path` that a backup killed on its way left (SIGKILL, a power
// cut): a day old, so that none of a backup still at work is taken.
void RemoveLeftovers(const std::string& path) {
    const fs::path target(path);
    const std::string prefix = "." + target.filename().string() + ".";
    std::error_code error;
    const fs::file_time_type dayAgo = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (const fs::directory_entry& entry :
         fs::directory_iterator(target.parent_path().empty() ? "." : target.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        std::error_code ignored;
        if (name.starts_with(prefix) && name.find(".tmp") == prefix.size() + 8 &&
            entry.last_write_time(ignored) < dayAgo) {
            fs::remove(entry.path(), ignored);
        }
    }
}

void RemoveWithCompanions(const std::string& path) {
    std::error_code ignored;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        fs::remove(path + suffix, ignored);
    }
}

ArchiveStatus StatusOfCopy(const sql::Database& db, int rc, const std::string& path) {
    ArchiveStatus status = StatusOf(db, rc, true);
    // SQLite tells a folder it may not write from one that is not there by its last try, a
    // read-only open of a file that does not exist.
    std::error_code error;
    const fs::path folder = fs::path(path).parent_path();
    if (status.problem == ArchiveProblem::NoFolder &&
        fs::is_directory(folder.empty() ? "." : folder, error)) {
        status.problem = ArchiveProblem::NoPermission;
    }
    return status;
}

ArchiveStatus StatusOfFiles(const std::error_code& error) {
    ArchiveStatus status;
    status.detail = error.message();
    status.problem = error == std::errc::no_space_on_device ? ArchiveProblem::DiskFull
                     : error == std::errc::permission_denied ||
                             error == std::errc::operation_not_permitted ||
                             error == std::errc::read_only_file_system
                         ? ArchiveProblem::NoPermission
                     : error == std::errc::no_such_file_or_directory ? ArchiveProblem::NoFolder
                                                                     : ArchiveProblem::Other;
    return status;
}

// Writes the copy to `temporary` and checks it there; on every failure it is gone again.
CopyOutcome WriteCheckedCopy(Archive& archive, const std::string& temporary,
                             const std::function<bool()>& goOn) {
    CopyOutcome outcome;
    {
        sql::Database copy;
        int rc = copy.Open(temporary, true);
        // The copy is written by this connection alone and checked before it counts, so it
        // needs no journal on the way and no sync but the last, which makes the file one of
        // its own: the archive's pages say WAL, and a copy on a stick or a share should need
        // no -wal and -shm beside it (nor a share's support of shared memory, which a
        // connection that holds the file alone does without).
        if (rc == sql::kOk) {
            rc = copy.Exec(
                "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF");
        }
        if (rc == sql::kOk) {
            rc = sql::CopyDatabase(archive.Db(), copy, goOn);
            outcome.stopped = rc == sql::kInterrupt;
        }
        if (rc == sql::kOk) {
            rc = copy.Exec("PRAGMA synchronous=FULL; PRAGMA journal_mode=DELETE");
        }
        if (rc != sql::kOk && !outcome.stopped) {
            outcome.status = StatusOfCopy(copy, rc, temporary);
        }
    }
    if (outcome.status.Ok() && !outcome.stopped) {
        Archive written;
        outcome.status = written.Open(temporary, Archive::Access::Read, 0);
        // The check sorts the summaries of every hour afresh, temporary files of some tenth
        // of the archive's size: they go beside the copy, where room was made for it,
        // rather than onto the archive's card.
        const fs::path folder = fs::path(temporary).parent_path();
        if (outcome.status.Ok() &&
            sql::PutTemporaryFilesIn(written.Db(), folder.empty() ? "." : folder.string()) !=
                sql::kOk) {
            outcome.status = StatusOf(written.Db(), written.Db().ErrorCode(), false);
        }
        if (outcome.status.Ok()) {
            written.Db().InterruptUnless(&goOn);
            outcome.status = CheckArchive(written, outcome.check);
            written.Db().InterruptUnless(nullptr);
            outcome.stopped = goOn && !goOn();
        } else if (outcome.status.problem != ArchiveProblem::DiskFull) {
            // What was just written cannot be read back as an archive: the copy is damaged.
            outcome.check.findings.push_back("Die Kopie läßt sich nicht als Archiv lesen" +
                                             outcome.status.Describe());
            outcome.status = {};
        }
    }
    if (!outcome.Kept()) {
        RemoveWithCompanions(temporary);
    }
    return outcome;
}

bool IsDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An SQLite file whose header carries the archive's application id.
bool HasArchiveHeader(const fs::path& path) {
    std::array<unsigned char, 72> header{};
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) {
        return false;
    }
    constexpr std::string_view kMagic("SQLite format 3\0", 16);
    const auto id = static_cast<int32_t>(uint32_t{header[68]} << 24 | uint32_t{header[69]} << 16 |
                                         uint32_t{header[70]} << 8 | uint32_t{header[71]});
    return std::equal(kMagic.begin(), kMagic.end(), header.begin()) && id == kArchiveApplicationId;
}

}  // namespace

CopyOutcome CopyArchive(Archive& archive, const std::string& path, Instant taken,
                        const std::function<bool()>& goOn) {
    RemoveLeftovers(path);
    const std::string temporary = TemporaryBeside(path);
    CopyOutcome outcome = WriteCheckedCopy(archive, temporary, goOn);
    if (!outcome.Kept()) {
        return outcome;
    }
    std::error_code error;
    fs::last_write_time(temporary, std::chrono::file_clock::from_sys(taken), error);
    fs::rename(temporary, path, error);
    if (error) {
        outcome.status = StatusOfFiles(error);
        RemoveWithCompanions(temporary);
    }
    return outcome;
}

CopyOutcome RestoreArchive(const std::string& copy, const std::string& path,
                           const std::string& kept) {
    CopyOutcome outcome;
    Archive source;
    outcome.status = source.Open(copy, Archive::Access::Read, 2000);
    if (!outcome.status.Ok()) {
        return outcome;
    }
    const std::string temporary = TemporaryBeside(path);
    outcome = WriteCheckedCopy(source, temporary, {});
    source.Close();
    if (!outcome.Kept()) {
        return outcome;
    }
    std::error_code error;
    if (fs::exists(path, error)) {
        // The archive's owner and rights go to the copy, so that the program that wrote the
        // archive (another user, a service's account) may write it again.
        fs::permissions(temporary, fs::status(path).permissions(), error);
        fs::rename(path, kept, error);
        if (!error && fs::exists(path + "-wal")) {
            fs::rename(path + "-wal", kept + "-wal", error);
        }
        if (!error) {
            fs::remove(path + "-shm", error);
        }
    }
    if (!error) {
        fs::rename(temporary, path, error);
    }
    if (error) {
        outcome.status = StatusOfFiles(error);
        RemoveWithCompanions(temporary);
    }
    return outcome;
}

std::string DatedCopyName(const std::string& archivePath, const LocalTime& day) {
    const fs::path archive(archivePath);
    char date[16];
    std::snprintf(date, sizeof date, "-%04d-%02d-%02d", day.year, day.month, day.day);
    return archive.stem().string() + date + archive.extension().string();
}

std::vector<std::string> DatedCopies(const std::string& folder, const std::string& archivePath) {
    const fs::path archive(archivePath);
    const std::string stem = archive.stem().string() + "-";
    const std::string extension = archive.extension().string();
    constexpr std::size_t kDate = 10;  // 2026-12-09
    std::vector<std::string> copies;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != stem.size() + kDate + extension.size() || !name.starts_with(stem) ||
            !name.ends_with(extension)) {
            continue;
        }
        const std::string_view date = std::string_view(name).substr(stem.size(), kDate);
        if (!IsDigits(date.substr(0, 4)) || date[4] != '-' || !IsDigits(date.substr(5, 2)) ||
            date[7] != '-' || !IsDigits(date.substr(8, 2))) {
            continue;
        }
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && !entry.is_symlink(ignored) &&
            HasArchiveHeader(entry.path())) {
            copies.push_back(entry.path().string());
        }
    }
    std::sort(copies.begin(), copies.end());
    return copies;
}

std::vector<std::string> RemoveOldCopies(const std::string& folder, const std::string& archivePath,
                                         std::size_t keep) {
    std::vector<std::string> copies = DatedCopies(folder, archivePath);
    std::vector<std::string> removed;
    for (std::size_t i = 0; i + keep < copies.size(); ++i) {
        std::error_code error;
        if (fs::remove(copies[i], error)) {
            removed.push_back(copies[i]);
        }
    }
    return removed;
}

std::optional<LastCopy> NewestCopy(const std::string& folder, const std::string& archivePath) {
    const std::vector<std::string> copies = DatedCopies(folder, archivePath);
    if (copies.empty()) {
        return std::nullopt;
    }
    std::error_code error;
    const fs::file_time_type written = fs::last_write_time(copies.back(), error);
    if (error) {
        return std::nullopt;
    }
    return LastCopy{copies.back(), std::chrono::time_point_cast<Milliseconds>(
                                       std::chrono::file_clock::to_sys(written))};
}

}  // namespace tavrolin
