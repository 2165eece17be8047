// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/TerminalInput.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace tavrolin {

bool StdinIsTerminal() {
    return ::isatty(STDIN_FILENO) != 0;
}

std::string ReadSecretLine(const char* prompt) {
    const bool terminal = StdinIsTerminal();
    termios saved{};
    if (terminal) {
        std::fputs(prompt, stderr);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    return line;
}

}  // namespace tavrolin
