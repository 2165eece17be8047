// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>

#include "serial/CommDevice.h"

namespace tavrolin {

// The DTR and RTS control fields of a Dcb: 0 line off, 1 line on, 2 handshake (RTS also 3,
// toggle).
inline constexpr uint32_t kLineControlDisable = 0;
inline constexpr uint32_t kLineControlEnable = 1;
inline constexpr uint32_t kLineControlHandshake = 2;
inline uint32_t DtrControl(const Dcb& dcb) {
    return (dcb.flags & comm::DCB_DTR_CONTROL_MASK) >> 4;
}
inline uint32_t RtsControl(const Dcb& dcb) {
    return (dcb.flags & comm::DCB_RTS_CONTROL_MASK) >> 12;
}

// The termios speed for a baud rate; nullopt for a rate the kernel has no constant for.
std::optional<speed_t> SpeedFromBaudRate(uint32_t baudRate);
// The baud rate of a termios speed; 0 for a speed outside the table.
uint32_t BaudRateFromSpeed(speed_t speed);

// A byte line as a comm port is: no line editing, echo, translation, signal characters or
// software flow control; the receiver enabled, modem status ignored, and DTR and RTS
// dropped when the last descriptor closes. Speed, character size, parity and stop bits
// are left to the caller.
void MakeRawLine(termios& t);

// The termios that carries the line settings of dcb, built on current (which keeps what a
// Dcb does not describe). nullopt when the Dcb asks for something the line cannot do.
std::optional<termios> TermiosFromDcb(const Dcb& dcb, const termios& current);

// The line settings in force as a Dcb. What termios does not hold (event character,
// XON/XOFF limits, DTR and RTS control, reserved bits) comes from lastSet.
Dcb DcbFromTermios(const termios& t, const Dcb& lastSet);

// Whether speed, character size, parity, stop bits and flow control of actual are those
// of wanted: the kernel accepts a tcsetattr as soon as one change was made.
bool SameLineSettings(const termios& wanted, const termios& actual);

// The error counters a serial driver keeps (TIOCGICOUNT).
struct LineErrorCounts {
    uint32_t parity = 0;
    uint32_t frame = 0;
    uint32_t overrun = 0;
    uint32_t bufOverrun = 0;
    uint32_t brk = 0;
};

// The comm::CE_* flags for the errors counted between two readings of the counters.
uint32_t LineErrorsBetween(const LineErrorCounts& before, const LineErrorCounts& after);

}  // namespace tavrolin
