// SPDX-License-Identifier: GPL-3.0-or-later
// tavrolin-history: the archive on the command line. The commands are HistoryTool's; this
// file gives them the profile's and the archive's default places.

#include <string_view>
#include <vector>

#include "history/HistoryTool.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/ProfileLocation.h"
#include "platform/posix/SystemClocks.h"

using namespace tavrolin;

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    PosixFileSystem files;
    SystemTimeZone zone;
    const HistoryEnvironment env{files, zone, ProfilePath("tavrolin"), DefaultArchivePath(false)};
    return RunHistory(args, env);
}
