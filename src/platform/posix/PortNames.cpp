// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PortNames.h"

#include <utility>

namespace tavrolin {

PosixSerialLine::PortPathResolver ProfilePortResolver(const SettingsStore& settings) {
    return [&settings](std::string_view portName) {
        const std::string configured = settings.ReadString(kPortsSection, portName, "");
        return configured.empty() ? DefaultPortPath(portName) : configured;
    };
}

PosixSerialLine::PortPathResolver FixedPortResolver(std::string devicePath) {
    return [devicePath = std::move(devicePath)](std::string_view portName) {
        return portName == "COM1" ? devicePath : DefaultPortPath(portName);
    };
}

}  // namespace tavrolin
