#include "platform/posix/PortNames.h"

namespace tavrolin {

PosixCommDevice::PortPathResolver ProfilePortResolver(const SettingsStore& settings) {
    return [&settings](std::string_view portName) {
        const std::string configured = settings.ReadString(kPortsSection, portName, "");
        return configured.empty() ? DefaultPortPath(portName) : configured;
    };
}

}  // namespace tavrolin
