// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tavrolin {

// The version of the Tavrolin programs, the project's version in CMake ("1.0.0").
std::string_view TavrolinVersion();

// What --version prints: the program's name and the version, one line.
std::string VersionText(std::string_view program);

}  // namespace tavrolin
