// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "platform/posix/PosixSerialLine.h"
#include "settings/SettingsStore.h"

namespace tavrolin {

// The section of the profile that maps the port names "COM1".."COM4" to device paths, for
// USB adapters and stable names such as /dev/serial/by-id/...; it is only read.
inline constexpr std::string_view kPortsSection = "Ports";

// The device of port n: the "Ports" entry "COMn" of the profile when there is one, else the
// default (/dev/ttyS<n-1>). The profile is read at every open, so an entry added
// while the program runs counts at the next connect.
PosixSerialLine::PortPathResolver ProfilePortResolver(const SettingsStore& settings);

// The given device, whatever the port (a device named on the logger's command line).
PosixSerialLine::PortPathResolver FixedPortResolver(std::string devicePath);

}  // namespace tavrolin
