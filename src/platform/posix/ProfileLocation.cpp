// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/ProfileLocation.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace tavrolin {

namespace {

// $<variable> when it is an absolute path, else the home folder's <fallback>.
std::string XdgFolder(const char* variable, const char* fallback) {
    const char* xdg = std::getenv(variable);
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* pw = getpwuid(getuid());
        home = pw != nullptr ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/" + fallback;
}

}  // namespace

std::string DefaultUploadStateFolder() {
    if (const char* service = std::getenv("STATE_DIRECTORY");
        service != nullptr && service[0] == '/') {
        const std::string folders = service;  // several are separated by ':'
        return folders.substr(0, folders.find(':'));
    }
    return XdgFolder("XDG_STATE_HOME", ".local/state") + "/tavrolin-upload";
}

std::string ProfileFolder() {
    const std::string folder = XdgFolder("XDG_CONFIG_HOME", ".config");
    ::mkdir(folder.c_str(), 0700);  // fails harmlessly when it exists
    return folder;
}

std::string DefaultArchivePath(bool createFolder) {
    const std::string data = XdgFolder("XDG_DATA_HOME", ".local/share");
    const std::string folder = data + "/tavrolin";
    if (createFolder) {
        // Each level in turn; those that exist fail harmlessly. A failure shows when the
        // archive is opened, with its reason.
        for (std::size_t slash = data.find('/', 1); slash != std::string::npos;
             slash = data.find('/', slash + 1)) {
            ::mkdir(data.substr(0, slash).c_str(), 0700);
        }
        ::mkdir(data.c_str(), 0700);
        ::mkdir(folder.c_str(), 0700);
    }
    return folder + "/archiv.sqlite";
}

std::string DefaultLivePath() {
    if (const char* runtime = std::getenv("RUNTIME_DIRECTORY");
        runtime != nullptr && runtime[0] == '/') {
        // systemd names several folders with colons between them; the first is ours.
        const std::string folders = runtime;
        return folders.substr(0, folders.find(':')) + "/live.sock";
    }
    if (const char* user = std::getenv("XDG_RUNTIME_DIR"); user != nullptr && user[0] == '/') {
        return std::string(user) + "/tavrolin/live.sock";
    }
    return "/run/tavrolin/live.sock";
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
