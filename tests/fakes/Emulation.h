// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdlib>

// The arm64 and armhf suites run on this machine under qemu's user emulation (their test
// presets set TAVROLIN_EMULATED): every program runs many times slower than natively and
// unevenly, and some system interfaces are qemu's, not the kernel's. A test whose point is a
// timing emulation cannot keep, or an interface qemu does not pass on, skips there and says
// why; it still runs natively (scripts/test) and on the real board.
inline bool UnderEmulation() {
    return std::getenv("TAVROLIN_EMULATED") != nullptr;
}
#define TAVROLIN_SKIP_UNDER_EMULATION(why)                \
    if (UnderEmulation()) {                               \
        GTEST_SKIP() << "not under emulation: " << (why); \
    }
