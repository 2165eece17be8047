// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/ProfileLocation.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace tavrolin {

std::string ProfileFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (xdg != nullptr && xdg[0] == '/') {
        folder = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            const passwd* pw = getpwuid(getuid());
            home = pw != nullptr ? pw->pw_dir : "/tmp";
        }
        folder = std::string(home) + "/.config";
    }
    ::mkdir(folder.c_str(), 0700);  // fails harmlessly when it exists
    return folder;
}

std::string ProfilePath(std::string_view programName) {
    const auto slash = programName.find_last_of('/');
    if (slash != std::string_view::npos) {
        programName.remove_prefix(slash + 1);
    }
    const auto dot = programName.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0) {
        programName = programName.substr(0, dot);
    }
    return ProfileFolder() + "/" + std::string(programName) + ".INI";
}

}  // namespace tavrolin
