// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Version.h"

namespace tavrolin {

// TAVROLIN_VERSION is defined for this file alone (src/base/CMakeLists.txt), so a new version
// rebuilds one file.
std::string_view TavrolinVersion() {
    return TAVROLIN_VERSION;
}

std::string VersionText(std::string_view program) {
    return std::string(program) + " " + std::string(TavrolinVersion()) + "\n";
}

}  // namespace tavrolin
