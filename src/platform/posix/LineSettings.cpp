// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/LineSettings.h"

#include "serial/SerialLine.h"

namespace tavrolin {

termios ReceiverLine(const termios& current) {
    termios t = current;
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    t.c_cflag &= ~(CSIZE | CMSPAR | CRTSCTS);
    t.c_cflag |= CS8 | PARENB | PARODD | CSTOPB;
    // CLOCAL: a receiver that does not drive DCD must not make the kernel hang the line up.
    // HUPCL: DTR and RTS are the multiplexer's clock and data; when the line closes (also
    // when the program ends without disconnecting, or crashes) both drop, which is the idle
    // state the multiplexer expects between address words.
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
    // Parity is checked; without IGNPAR and PARMRK a byte with a parity or framing error
    // still reaches the input (as 0x00), and the error itself shows in the driver's counters.
    // 0x11 and 0x13 are data: no XON/XOFF.
    t.c_iflag &= ~(IXON | IXOFF | IXANY | IGNPAR | PARMRK);
    t.c_iflag |= INPCK;
    // A read returns what has come; with O_NONBLOCK an empty line says EAGAIN, and only a
    // hung-up line reads as end of file.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return t;
}

uint8_t LineFaultsBetween(const LineErrorCounts& before, const LineErrorCounts& after) {
    // The driver's counters only grow (and wrap); any change means new errors.
    uint8_t faults = 0;
    if (after.parity != before.parity) {
        faults |= kParityFault;
    }
    if (after.frame != before.frame) {
        faults |= kFramingFault;
    }
    if (after.overrun != before.overrun || after.bufOverrun != before.bufOverrun) {
        faults |= kOverrunFault;
    }
    if (after.brk != before.brk) {
        faults |= kOtherFault;
    }
    return faults;
}

}  // namespace tavrolin
