// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PortAdvice.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/posix/ArchiveUsers.h"

namespace tavrolin {

PortFacts LookUpPort(const std::string& device, PortOpenReason reason, int error,
                     const std::string& byIdFolder) {
    PortFacts facts;
    facts.error = error;
    if (const passwd* pw = ::getpwuid(::geteuid())) {
        facts.user = pw->pw_name;
    }
    struct stat st {};
    if (reason == PortOpenReason::NoPermission && ::stat(device.c_str(), &st) == 0) {
        if (const group* gr = ::getgrgid(st.st_gid)) {
            facts.group = gr->gr_name;
        }
    }
    if (reason == PortOpenReason::InUse) {
        // A flock shows in /proc/locks like SQLite's lock in an archive's -shm.
        facts.holders = ArchiveUsers(device);
    }
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(byIdFolder, ignored)) {
        const auto target = std::filesystem::canonical(entry.path(), ignored);
        facts.adapters.emplace_back(entry.path().filename().string(),
                                    ignored ? std::string() : target.string());
    }
    std::sort(facts.adapters.begin(), facts.adapters.end());
    return facts;
}

std::vector<std::string> PortOpenAdvice(const std::string& device, PortOpenReason reason,
                                        const PortFacts& facts) {
    std::vector<std::string> lines;
    const std::string head = "Gerät " + device + ": ";
    switch (reason) {
        case PortOpenReason::NoDevice:
            lines.push_back(head +
                            "Das Gerät gibt es nicht. Ist der Empfänger (oder sein USB-Adapter) "
                            "angeschlossen, und ist es die richtige Schnittstelle?");
            break;
        case PortOpenReason::NoPermission: {
            const std::string group = facts.group.empty() ? "dialout" : facts.group;
            const std::string user = facts.user.empty() ? "$USER" : facts.user;
            lines.push_back(head +
                            "Keine Berechtigung. Wer serielle Schnittstellen öffnen will, "
                            "muß in der Gruppe " +
                            group + " sein: sudo adduser " + user + " " + group +
                            ", danach neu anmelden.");
            break;
        }
        case PortOpenReason::InUse: {
            std::string who;
            for (const ArchiveUser& holder : facts.holders) {
                who += (who.empty() ? " (" : ", ") + holder.program + ", PID " +
                       std::to_string(holder.pid);
            }
            lines.push_back(head + "Ein anderes Programm hat es geöffnet" +
                            (who.empty() ? "" : who + ")") +
                            ". Es muß erst beendet werden (auch ein zweiter tavrolin-log, das "
                            "Fenster tavrolin oder ein Terminalprogramm).");
            break;
        }
        case PortOpenReason::NotALine:
            lines.push_back(head + "Das ist keine serielle Schnittstelle.");
            break;
        case PortOpenReason::Other:
        case PortOpenReason::None:
            lines.push_back(
                head +
                (facts.error != 0 ? std::strerror(facts.error) : "Es läßt sich nicht öffnen") +
                ".");
            break;
    }
    if (facts.adapters.empty()) {
        if (reason == PortOpenReason::NoDevice) {
            lines.push_back(std::string("In ") + kSerialById + "/ ist kein USB-Adapter zu sehen.");
        }
        return lines;
    }
    lines.push_back(std::string("Angeschlossene Adapter (") + kSerialById + "/):");
    for (const auto& [name, target] : facts.adapters) {
        lines.push_back("  " + name + (target.empty() ? "" : " -> " + target));
    }
    lines.push_back(std::string("Einer davon wird im Profil eingetragen, etwa [Ports] COM1=") +
                    kSerialById + "/" + facts.adapters.front().first +
                    ", oder mit --port genannt.");
    return lines;
}

}  // namespace tavrolin
