// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tavrolin {

// True when stdin is a terminal (a person types), not a pipe or a file.
bool StdinIsTerminal();
// A line from stdin; on a terminal without echo, after the prompt on stderr.
std::string ReadSecretLine(const char* prompt);

}  // namespace tavrolin
