// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>

namespace tavrolin {

// Signals turned into input on a pipe, so that a poll(2) loop wakes for them and handles
// them in its own time instead of inside a handler. The handler only writes the signal's
// number; there is one such pipe per process.
class SignalPipe {
public:
    SignalPipe() = default;
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    // Catches these signals from now on. False (errno tells why) when the pipe or a handler
    // cannot be set up, or another SignalPipe is installed.
    bool Install(std::initializer_list<int> caught);
    // Readable once a signal has come.
    int Fd() const;
    // The number of the first signal not taken yet, 0 when none has come; does not block.
    int Take();
};

}  // namespace tavrolin
