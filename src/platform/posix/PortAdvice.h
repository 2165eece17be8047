// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "archive/ArchiveBackup.h"
#include "platform/posix/PosixSerialLine.h"

namespace tavrolin {

// What the system tells about a port that did not open, gathered once for the advice.
struct PortFacts {
    std::string group;                 // the device's group (dialout), for NoPermission
    std::string user;                  // who runs the program
    std::vector<ArchiveUser> holders;  // who holds the device's lock, for InUse
    // The names in /dev/serial/by-id/, each with the device it points to.
    std::vector<std::pair<std::string, std::string>> adapters;
    int error = 0;  // the errno, for Other
};

inline constexpr const char* kSerialById = "/dev/serial/by-id";

// Looks up what the advice for this reason needs: the device's group, the holders of its
// lock (the kernel's /proc/locks, as for the archive), the adapters in byIdFolder.
PortFacts LookUpPort(const std::string& device, PortOpenReason reason, int error,
                     const std::string& byIdFolder = kSerialById);

// German lines, without the program's name and without "\n": the device with the reason,
// what to do about it, and the adapters there are.
std::vector<std::string> PortOpenAdvice(const std::string& device, PortOpenReason reason,
                                        const PortFacts& facts);

}  // namespace tavrolin
