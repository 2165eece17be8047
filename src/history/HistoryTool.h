// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveBackup.h"

#include "base/Clock.h"
#include "base/FileSystem.h"

namespace tavrolin {

// What tavrolin-history gets from the system.
struct HistoryEnvironment {
    FileSystem& files;
    const TimeZone& zone;        // the machine's: local times of --from and --to, today's rain
    std::string defaultProfile;  // the desktop program's profile
    std::string defaultArchive;  // where the archive is when the profile names none; an
                                 // import makes its folder
    std::FILE* in = stdin;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    // Say at the start which archive and which profile are used: for a person at a
    // terminal, not for the scripts and timers whose stderr is mailed or journalled.
    bool tellPlaces = false;
    // The instant now: the date of a backup's name, the moment its copy holds.
    std::function<Instant()> now = [] {
        return std::chrono::time_point_cast<Milliseconds>(std::chrono::system_clock::now());
    };
    // Asked while a backup copies: false once the program is asked to stop.
    std::function<bool()> goOn = nullptr;
    // The processes that have an archive open: a restore waits for none of them, but refuses
    // while one writes it.
    std::function<std::vector<ArchiveUser>(const std::string& path)> archiveUsers = nullptr;
    // Gives a file the owner and group of another: the restored archive stays the account's
    // that wrote the replaced one.
    std::function<bool(const std::string& like, const std::string& file)> takeOwnerOf = nullptr;
};

// tavrolin-history: the archive on the command line (sensors, export, check, import, backup,
// restore). The
// arguments after the program name; the exit status: 0 done, 1 the archive could not be
// read or written, check found problems, or import skipped lines; 2 a wrong command line.
int RunHistory(std::span<const std::string_view> args, const HistoryEnvironment& env);

// The text of --help, German like every message.
std::string HistoryUsage();

}  // namespace tavrolin
