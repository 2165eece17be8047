// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PortNames.h"

#include <utility>

namespace tavrolin {

PosixSerialLine::PortPathResolver ProfilePortResolver(const SettingsStore& settings) {
    return [&settings](int portNumber) {
        const std::string configured =
            settings.ReadString(kPortsSection, "COM" + std::to_string(portNumber), "");
        return configured.empty() ? DefaultPortPath(portNumber) : configured;
    };
}

PosixSerialLine::PortPathResolver FixedPortResolver(std::string devicePath) {
    return [devicePath = std::move(devicePath)](int /*portNumber*/) { return devicePath; };
}

}  // namespace tavrolin
