// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/ArchiveUsers.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace tavrolin {

namespace {

struct FileId {
    unsigned major = 0;
    unsigned minor = 0;
    unsigned long long inode = 0;
};

bool IdOf(const std::string& path, FileId& id) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return false;
    }
    id = {major(st.st_dev), minor(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
    return true;
}

std::string ProgramOf(int pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "?" : name;
}

}  // namespace

std::vector<ArchiveUser> ArchiveUsers(const std::string& path) {
    std::vector<FileId> files;
    for (const std::string& name : {path, path + "-shm"}) {
        if (FileId id; IdOf(name, id)) {
            files.push_back(id);
        }
    }
    std::vector<ArchiveUser> users;
    // "1: POSIX  ADVISORY  READ 4711 08:02:1234567 128 128"; a lock waited for is listed
    // after its holder with "->" and is not a holder.
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, device;
        int pid = 0;
        if (!(fields >> number >> kind) || kind == "->" ||
            !(fields >> mode >> access >> pid >> device) || pid <= 0) {
            continue;
        }
        FileId id;
        if (std::sscanf(device.c_str(), "%x:%x:%llu", &id.major, &id.minor, &id.inode) != 3) {
            continue;
        }
        const bool ours = std::any_of(files.begin(), files.end(), [&id](const FileId& f) {
            return f.major == id.major && f.minor == id.minor && f.inode == id.inode;
        });
        const bool known = std::any_of(users.begin(), users.end(),
                                       [pid](const ArchiveUser& u) { return u.pid == pid; });
        if (ours && !known && pid != getpid()) {
            users.push_back({pid, ProgramOf(pid)});
        }
    }
    return users;
}

bool TakeOwnerOf(const std::string& like, const std::string& file) {
    struct stat st {};
    return stat(like.c_str(), &st) == 0 && chown(file.c_str(), st.st_uid, st.st_gid) == 0;
}

}  // namespace tavrolin
