// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/LineSettings.h"

#include <array>
#include <utility>

namespace tavrolin {

namespace {

constexpr std::array<std::pair<uint32_t, speed_t>, 14> kSpeeds{{
    {110, B110},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {921600, B921600},
}};

}  // namespace

std::optional<speed_t> SpeedFromBaudRate(uint32_t baudRate) {
    for (const auto& [rate, speed] : kSpeeds) {
        if (rate == baudRate) {
            return speed;
        }
    }
    return std::nullopt;
}

uint32_t BaudRateFromSpeed(speed_t speed) {
    for (const auto& [rate, s] : kSpeeds) {
        if (s == speed) {
            return rate;
        }
    }
    return 0;
}

void MakeRawLine(termios& t) {
    const tcflag_t cflag = t.c_cflag;
    cfmakeraw(&t);
    // cfmakeraw forces 8 bits without parity; the framing is the Dcb's business.
    t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB)) | (cflag & (CSIZE | PARENB));
    t.c_iflag &= ~(IXOFF | IXANY);
    // CLOCAL: a receiver that does not drive DCD must not make the kernel hang the line up.
    // HUPCL: DTR and RTS are the multiplexer's clock and data; when the port closes (also
    // when the program ends without disconnecting, or crashes) both drop, which is the idle
    // state the multiplexer expects between address words.
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
}

std::optional<termios> TermiosFromDcb(const Dcb& dcb, const termios& current) {
    termios t = current;
    MakeRawLine(t);

    const std::optional<speed_t> speed = SpeedFromBaudRate(dcb.baudRate);
    if (!speed || cfsetispeed(&t, *speed) != 0 || cfsetospeed(&t, *speed) != 0) {
        return std::nullopt;
    }

    t.c_cflag &= ~CSIZE;
    switch (dcb.byteSize) {
        case 5:
            t.c_cflag |= CS5;
            break;
        case 6:
            t.c_cflag |= CS6;
            break;
        case 7:
            t.c_cflag |= CS7;
            break;
        case 8:
            t.c_cflag |= CS8;
            break;
        default:
            return std::nullopt;
    }

    t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (dcb.parity) {
        case comm::NOPARITY:
            break;
        case comm::ODDPARITY:
            t.c_cflag |= PARENB | PARODD;
            break;
        case comm::EVENPARITY:
            t.c_cflag |= PARENB;
            break;
        default:
            return std::nullopt;
    }
    // Without IGNPAR and PARMRK a byte with a parity or framing error still reaches the
    // queue (as 0x00); the error itself is reported through the driver's counters.
    t.c_iflag &= ~(INPCK | IGNPAR | PARMRK);
    if ((dcb.flags & comm::DCB_PARITY) != 0) {
        t.c_iflag |= INPCK;
    }

    switch (dcb.stopBits) {
        case comm::ONESTOPBIT:
            t.c_cflag &= ~CSTOPB;
            break;
        case comm::TWOSTOPBITS:
            t.c_cflag |= CSTOPB;
            break;
        default:
            return std::nullopt;
    }

    // Linux knows no flow control on DSR or DTR.
    if ((dcb.flags & comm::DCB_OUTX_DSR_FLOW) != 0 || DtrControl(dcb) == kLineControlHandshake) {
        return std::nullopt;
    }
    // CRTSCTS covers both directions: CTS holds our output, RTS tells the other side to wait.
    t.c_cflag &= ~CRTSCTS;
    if ((dcb.flags & comm::DCB_OUTX_CTS_FLOW) != 0 || RtsControl(dcb) == kLineControlHandshake) {
        t.c_cflag |= CRTSCTS;
    }
    const bool outX = (dcb.flags & comm::DCB_OUT_X) != 0;
    const bool inX = (dcb.flags & comm::DCB_IN_X) != 0;
    t.c_iflag &= ~(IXON | IXOFF);
    if (outX) {
        t.c_iflag |= IXON;
    }
    if (inX) {
        t.c_iflag |= IXOFF;
    }
    if (outX || inX) {
        t.c_cc[VSTART] = dcb.xonChar;
        t.c_cc[VSTOP] = dcb.xoffChar;
    }
    return t;
}

Dcb DcbFromTermios(const termios& t, const Dcb& lastSet) {
    Dcb dcb = lastSet;
    dcb.baudRate = BaudRateFromSpeed(cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
        case CS5:
            dcb.byteSize = 5;
            break;
        case CS6:
            dcb.byteSize = 6;
            break;
        case CS7:
            dcb.byteSize = 7;
            break;
        default:
            dcb.byteSize = 8;
            break;
    }
    if ((t.c_cflag & PARENB) == 0) {
        dcb.parity = comm::NOPARITY;
    } else {
        dcb.parity = (t.c_cflag & PARODD) != 0 ? comm::ODDPARITY : comm::EVENPARITY;
    }
    dcb.stopBits = (t.c_cflag & CSTOPB) != 0 ? comm::TWOSTOPBITS : comm::ONESTOPBIT;

    const bool rtsCts = (t.c_cflag & CRTSCTS) != 0;
    uint32_t flags = lastSet.flags & ~(comm::DCB_PARITY | comm::DCB_OUTX_CTS_FLOW |
                                       comm::DCB_OUTX_DSR_FLOW | comm::DCB_OUT_X | comm::DCB_IN_X);
    // A tty has no text mode: the line is always binary.
    flags |= comm::DCB_BINARY;
    if ((t.c_iflag & INPCK) != 0) {
        flags |= comm::DCB_PARITY;
    }
    if (rtsCts) {
        flags |= comm::DCB_OUTX_CTS_FLOW;
        flags = (flags & ~comm::DCB_RTS_CONTROL_MASK) | (kLineControlHandshake << 12);
    } else if (RtsControl(lastSet) == kLineControlHandshake) {
        flags &= ~comm::DCB_RTS_CONTROL_MASK;
    }
    if ((t.c_iflag & IXON) != 0) {
        flags |= comm::DCB_OUT_X;
    }
    if ((t.c_iflag & IXOFF) != 0) {
        flags |= comm::DCB_IN_X;
    }
    dcb.flags = flags;
    dcb.xonChar = t.c_cc[VSTART];
    dcb.xoffChar = t.c_cc[VSTOP];
    return dcb;
}

bool SameLineSettings(const termios& wanted, const termios& actual) {
    constexpr tcflag_t kCflags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    constexpr tcflag_t kIflags = INPCK | IXON | IXOFF;
    return cfgetospeed(&wanted) == cfgetospeed(&actual) &&
           cfgetispeed(&wanted) == cfgetispeed(&actual) &&
           (wanted.c_cflag & kCflags) == (actual.c_cflag & kCflags) &&
           (wanted.c_iflag & kIflags) == (actual.c_iflag & kIflags);
}

uint32_t LineErrorsBetween(const LineErrorCounts& before, const LineErrorCounts& after) {
    // The driver's counters only grow (and wrap); any change means new errors.
    uint32_t errors = 0;
    if (after.parity != before.parity) {
        errors |= comm::CE_RXPARITY;
    }
    if (after.frame != before.frame) {
        errors |= comm::CE_FRAME;
    }
    if (after.overrun != before.overrun) {
        errors |= comm::CE_OVERRUN;
    }
    if (after.bufOverrun != before.bufOverrun) {
        errors |= comm::CE_RXOVER;
    }
    if (after.brk != before.brk) {
        errors |= comm::CE_BREAK;
    }
    return errors;
}

}  // namespace tavrolin
