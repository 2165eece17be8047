// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/LineSettings.h"

#include <gtest/gtest.h>

namespace tavrolin {
namespace {

// The receiver's line as the port layer asks for it: 19200 baud, 8 data bits, odd parity
// checked, two stop bits, ETX as event character, no flow control, DTR and RTS manual.
Dcb ReceiverDcb() {
    Dcb dcb;
    dcb.baudRate = 19200;
    dcb.flags = comm::DCB_BINARY | comm::DCB_PARITY | (1u << 15);  // bit 15: reserved, kept
    dcb.byteSize = 8;
    dcb.parity = comm::ODDPARITY;
    dcb.stopBits = comm::TWOSTOPBITS;
    dcb.xonLim = 2048;
    dcb.xoffLim = 512;
    dcb.xonChar = 0x11;
    dcb.xoffChar = 0x13;
    dcb.evtChar = 0x03;
    return dcb;
}

// A tty as a terminal session leaves it: line editing, echo, signals, CR/NL translation,
// XON/XOFF and hardware flow control.
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
    const std::optional<termios> t = TermiosFromDcb(ReceiverDcb(), CookedTerminal());
    ASSERT_TRUE(t);
    EXPECT_EQ(cfgetispeed(&*t), B19200);
    EXPECT_EQ(cfgetospeed(&*t), B19200);
    EXPECT_EQ(t->c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t->c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD));
    EXPECT_NE(t->c_cflag & CSTOPB, 0u);
    EXPECT_NE(t->c_iflag & INPCK, 0u);
    EXPECT_EQ(t->c_cflag & (CREAD | CLOCAL | HUPCL), static_cast<tcflag_t>(CREAD | CLOCAL | HUPCL));
    // No flow control of any kind: 0x11 and 0x13 are data, and CTS is not wired.
    EXPECT_EQ(t->c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t->c_iflag & (IXON | IXOFF | IXANY), 0u);
    // Every byte passes as it is: no editing, echo, signals, stripping or translation, and
    // a bad byte is neither dropped nor marked.
    EXPECT_EQ(t->c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t->c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IGNPAR | PARMRK | BRKINT), 0u);
    EXPECT_EQ(t->c_oflag & OPOST, 0u);
    EXPECT_EQ(t->c_cc[VMIN], 1);
    EXPECT_EQ(t->c_cc[VTIME], 0);
}

TEST(LineSettings, FramingAndFlowControlTable) {
    struct Row {
        uint8_t byteSize;
        uint8_t parity;
        uint8_t stopBits;
        uint32_t flags;
        tcflag_t cflag;  // of CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS
        tcflag_t iflag;  // of INPCK | IXON | IXOFF
    };
    const Row rows[] = {
        {8, comm::NOPARITY, comm::ONESTOPBIT, 0, CS8, 0},
        {7, comm::EVENPARITY, comm::ONESTOPBIT, comm::DCB_PARITY, CS7 | PARENB, INPCK},
        {8, comm::ODDPARITY, comm::TWOSTOPBITS, 0, CS8 | PARENB | PARODD | CSTOPB, 0},
        {5, comm::NOPARITY, comm::TWOSTOPBITS, 0, CS5 | CSTOPB, 0},
        {6, comm::NOPARITY, comm::ONESTOPBIT, comm::DCB_OUTX_CTS_FLOW, CS6 | CRTSCTS, 0},
        {8, comm::NOPARITY, comm::ONESTOPBIT, 2u << 12, CS8 | CRTSCTS, 0},  // RTS handshake
        {8, comm::NOPARITY, comm::ONESTOPBIT, comm::DCB_OUT_X, CS8, IXON},
        {8, comm::NOPARITY, comm::ONESTOPBIT, comm::DCB_IN_X, CS8, IXOFF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "size " << int{row.byteSize} << " parity "
                                          << int{row.parity} << " flags " << row.flags);
        Dcb dcb = ReceiverDcb();
        dcb.byteSize = row.byteSize;
        dcb.parity = row.parity;
        dcb.stopBits = row.stopBits;
        dcb.flags = comm::DCB_BINARY | row.flags;
        const std::optional<termios> t = TermiosFromDcb(dcb, CookedTerminal());
        ASSERT_TRUE(t);
        EXPECT_EQ(t->c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS), row.cflag);
        EXPECT_EQ(t->c_iflag & (INPCK | IXON | IXOFF), row.iflag);

        // Read back, the line settings are those that were set.
        const Dcb back = DcbFromTermios(*t, dcb);
        EXPECT_EQ(back.byteSize, row.byteSize);
        EXPECT_EQ(back.parity, row.parity);
        EXPECT_EQ(back.stopBits, row.stopBits);
        EXPECT_EQ(back.flags & comm::DCB_OUTX_CTS_FLOW,
                  (row.cflag & CRTSCTS) ? comm::DCB_OUTX_CTS_FLOW : 0u);
        EXPECT_EQ(back.flags & (comm::DCB_PARITY | comm::DCB_OUT_X | comm::DCB_IN_X),
                  row.flags & (comm::DCB_PARITY | comm::DCB_OUT_X | comm::DCB_IN_X));
        EXPECT_TRUE(SameLineSettings(*t, *t));
    }
}

TEST(LineSettings, BaudRatesOfTheTableRoundTripAndOthersAreRefused) {
    for (const uint32_t rate :
         {110u, 300u, 1200u, 9600u, 19200u, 38400u, 57600u, 115200u, 921600u}) {
        Dcb dcb = ReceiverDcb();
        dcb.baudRate = rate;
        const std::optional<termios> t = TermiosFromDcb(dcb, CookedTerminal());
        ASSERT_TRUE(t) << rate;
        EXPECT_EQ(DcbFromTermios(*t, dcb).baudRate, rate);
    }
    // Windows rates without a termios constant, and nonsense.
    for (const uint32_t rate : {0u, 14400u, 56000u, 128000u, 19201u}) {
        Dcb dcb = ReceiverDcb();
        dcb.baudRate = rate;
        EXPECT_FALSE(TermiosFromDcb(dcb, CookedTerminal())) << rate;
    }
}

TEST(LineSettings, SettingsALinuxTtyCannotCarryAreRefused) {
    const auto refused = [](auto change) {
        Dcb dcb = ReceiverDcb();
        change(dcb);
        return !TermiosFromDcb(dcb, CookedTerminal()).has_value();
    };
    EXPECT_TRUE(refused([](Dcb& d) { d.byteSize = 4; }));
    EXPECT_TRUE(refused([](Dcb& d) { d.byteSize = 9; }));
    EXPECT_TRUE(refused([](Dcb& d) { d.parity = 3; }));    // mark
    EXPECT_TRUE(refused([](Dcb& d) { d.stopBits = 1; }));  // one and a half
    EXPECT_TRUE(refused([](Dcb& d) { d.flags |= comm::DCB_OUTX_DSR_FLOW; }));
    EXPECT_TRUE(refused([](Dcb& d) { d.flags |= 2u << 4; }));   // DTR handshake
    EXPECT_FALSE(refused([](Dcb& d) { d.flags |= 1u << 4; }));  // DTR on: a line state
}

TEST(LineSettings, WhatTermiosDoesNotHoldIsReportedAsLastSet) {
    Dcb set = ReceiverDcb();
    set.errorChar = 0x3F;
    set.eofChar = 0x1A;
    set.flags |= (1u << 4) | (1u << 12) | (1u << 20);  // DTR and RTS on, a reserved bit
    const std::optional<termios> t = TermiosFromDcb(set, CookedTerminal());
    ASSERT_TRUE(t);
    const Dcb got = DcbFromTermios(*t, set);
    EXPECT_EQ(got.evtChar, 0x03);
    EXPECT_EQ(got.errorChar, 0x3F);
    EXPECT_EQ(got.eofChar, 0x1A);
    EXPECT_EQ(got.xonLim, 2048);
    EXPECT_EQ(got.xoffLim, 512);
    EXPECT_EQ(got.flags, set.flags);
    EXPECT_EQ(DtrControl(got), kLineControlEnable);

    // Hardware flow control found on the line shows as CTS flow with RTS handshake; gone
    // again, RTS is no longer reported as handshake.
    termios flow = *t;
    flow.c_cflag |= CRTSCTS;
    const Dcb withFlow = DcbFromTermios(flow, ReceiverDcb());
    EXPECT_NE(withFlow.flags & comm::DCB_OUTX_CTS_FLOW, 0u);
    EXPECT_EQ(RtsControl(withFlow), kLineControlHandshake);
    EXPECT_EQ(RtsControl(DcbFromTermios(*t, withFlow)), kLineControlDisable);
    EXPECT_FALSE(SameLineSettings(*t, flow));
}

TEST(LineSettings, LineErrorsComeFromTheCountersThatMoved) {
    struct Row {
        LineErrorCounts after;
        uint32_t errors;
    };
    const LineErrorCounts before{5, 6, 7, 8, 9};
    const Row rows[] = {
        {{5, 6, 7, 8, 9}, 0},
        {{6, 6, 7, 8, 9}, comm::CE_RXPARITY},
        {{5, 7, 7, 8, 9}, comm::CE_FRAME},
        {{5, 6, 9, 8, 9}, comm::CE_OVERRUN},
        {{5, 6, 7, 9, 9}, comm::CE_RXOVER},
        {{5, 6, 7, 8, 10}, comm::CE_BREAK},
        {{6, 7, 7, 8, 9}, comm::CE_RXPARITY | comm::CE_FRAME},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(LineErrorsBetween(before, row.after), row.errors);
    }
    // A counter that wrapped still counts as moved.
    EXPECT_EQ(LineErrorsBetween({0xFFFFFFFF, 0, 0, 0, 0}, {0, 0, 0, 0, 0}), comm::CE_RXPARITY);
}

}  // namespace
}  // namespace tavrolin
