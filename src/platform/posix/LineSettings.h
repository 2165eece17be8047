// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <termios.h>

#include <cstdint>

namespace tavrolin {

// The receiver's line on a tty, built on what the tty had: a raw byte line (no editing,
// echo, translation or signal characters), 19200 baud, 8 data bits, odd parity with
// checking, 2 stop bits, no flow control of any kind, the receiver enabled and the modem
// status ignored.
termios ReceiverLine(const termios& current);

// The error counters a serial driver keeps (TIOCGICOUNT).
struct LineErrorCounts {
    uint32_t parity = 0;
    uint32_t frame = 0;
    uint32_t overrun = 0;
    uint32_t bufOverrun = 0;
    uint32_t brk = 0;
};

// The LineFault bits for the errors counted between two readings of the counters.
uint8_t LineFaultsBetween(const LineErrorCounts& before, const LineErrorCounts& after);

}  // namespace tavrolin
