// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-history: the archive on the command line. The commands are HistoryTool's; this
// file gives them the profile's and the archive's default places.

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string_view>
#include <vector>

#include "history/HistoryTool.h"
#include "platform/posix/ArchiveUsers.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/ProfileLocation.h"
#include "platform/posix/SignalPipe.h"
#include "platform/posix/SystemClocks.h"

using namespace tavrolin;

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    PosixFileSystem files;
    SystemTimeZone zone;
    HistoryEnvironment env{files, zone, ProfilePath("tavrolin"), DefaultArchivePath(false)};
    env.tellPlaces = ::isatty(STDERR_FILENO) == 1;
    env.archiveUsers = ArchiveUsers;
    env.takeOwnerOf = TakeOwnerOf;
    // A backup that is stopped (a timer's unit stopped, Ctrl+C) takes its unfinished copy
    // with it; the other commands end at once, as any program does.
    SignalPipe signals;
    const bool backup = std::find(args.begin(), args.end(), "backup") != args.end();
    if (backup && signals.Install({SIGINT, SIGTERM, SIGHUP})) {
        env.goOn = [&signals, stopped = false]() mutable {
            stopped = stopped || signals.Take() != 0;
            return !stopped;
        };
    }
    return RunHistory(args, env);
}
