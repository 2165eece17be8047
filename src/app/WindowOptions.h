// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tavrolin {

// The command line of the window program tavrolin: of its own only --help and --version,
// which are answered before Qt starts and so need no display; every other argument is Qt's
// (-platform, -style, ...).
enum class WindowRequest { Run, Help, Version };

// The arguments after the program name; the first of --help (-h) and --version decides.
WindowRequest WindowRequestOf(std::span<const std::string_view> args);

// The text of --help, German like every message.
std::string WindowUsage();

}  // namespace tavrolin
