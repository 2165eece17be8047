// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/LineSettings.h"

#include <gtest/gtest.h>

#include "serial/SerialLine.h"

namespace tavrolin {
namespace {

// A tty as a terminal session leaves it: line editing, echo, signals, CR/NL translation,
// XON/XOFF and hardware flow control. (A pty drops parity and counts no errors, so what it
// is set to is checked here.)
termios CookedTerminal() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | ISTRIP | IGNPAR | PARMRK | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS7 | PARENB | CRTSCTS;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 5;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    return t;
}

TEST(LineSettings, TheReceiverLineIsARawOddParityLineWithTwoStopBits) {
    const termios t = ReceiverLine(CookedTerminal());
    EXPECT_EQ(cfgetispeed(&t), B19200);
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_iflag & INPCK, 0u);
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL | HUPCL), static_cast<tcflag_t>(CREAD | CLOCAL | HUPCL));
    // No flow control of any kind: 0x11 and 0x13 are data, and CTS is not wired.
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
    // Every byte passes as it is: no editing, echo, signals, stripping or translation, and
    // a bad byte is neither dropped nor marked.
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IGNPAR | PARMRK | BRKINT), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(LineSettings, FaultsComeFromTheCountersThatMoved) {
    struct Row {
        LineErrorCounts after;
        uint8_t faults;
    };
    const LineErrorCounts before{5, 6, 7, 8, 9};
    const Row rows[] = {
        {{5, 6, 7, 8, 9}, 0},
        {{6, 6, 7, 8, 9}, kParityFault},
        {{5, 7, 7, 8, 9}, kFramingFault},
        {{5, 6, 9, 8, 9}, kOverrunFault},
        {{5, 6, 7, 9, 9}, kOverrunFault},
        {{5, 6, 7, 8, 10}, kOtherFault},
        {{6, 7, 7, 8, 9}, kParityFault | kFramingFault},
        {{4, 6, 7, 8, 9}, kParityFault},  // a counter that wrapped still moved
    };
    for (const Row& row : rows) {
        EXPECT_EQ(LineFaultsBetween(before, row.after), row.faults);
    }
}

}  // namespace
}  // namespace tavrolin
