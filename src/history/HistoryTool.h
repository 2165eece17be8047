// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

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
};

// tavrolin-history: the archive on the command line (sensors, export, check, import). The
// arguments after the program name; the exit status: 0 done, 1 the archive could not be
// read or written, check found problems, or import skipped lines; 2 a wrong command line.
int RunHistory(std::span<const std::string_view> args, const HistoryEnvironment& env);

// The text of --help, German like every message.
std::string HistoryUsage();

}  // namespace tavrolin
