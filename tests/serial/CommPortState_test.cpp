// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/CommPortState.h"

#include <gtest/gtest.h>

#include <array>

#include "serial/CommDevice.h"

namespace tavrolin {
namespace {

constexpr uint8_t kEtx = 0x03;

CommPortState OpenedState(std::size_t capacity = CommPortState::kDefaultCapacity) {
    CommPortState s(capacity);
    s.SetEventChar(kEtx);
    s.SetCommMask(comm::EV_RXFLAG | comm::EV_ERR);
    s.CreateReadEvent();
    return s;
}

TEST(CommPortState, ReadEventFollowsTheOverlappedRules) {
    CommPortState s = OpenedState();
    EXPECT_FALSE(s.ReadEventSet());  // not set after open: polls wait for the first completion

    // A wait with nothing happened stays pending and clears the event; the ETX completes it.
    uint32_t mask = 0xFFFF;
    EXPECT_FALSE(s.WaitCommEvent(mask));
    EXPECT_TRUE(s.WaitPending());
    const std::array<uint8_t, 2> noEtx{0x02, 0x06};
    s.Deliver(noEtx);
    EXPECT_FALSE(s.ReadEventSet());
    const std::array<uint8_t, 1> etx{kEtx};
    s.Deliver(etx);
    EXPECT_TRUE(s.ReadEventSet());
    EXPECT_EQ(mask, comm::EV_RXFLAG);

    // A read completes at once and leaves the event set, also when it reads nothing.
    std::array<uint8_t, 8> buf{};
    EXPECT_EQ(s.Read(buf.data(), 8), 3u);
    EXPECT_TRUE(s.ReadEventSet());
    EXPECT_EQ(s.Read(buf.data(), 8), 0u);
    EXPECT_TRUE(s.ReadEventSet());

    // An ETX that came before the wait completes it at once.
    s.Deliver(etx);
    mask = 0;
    EXPECT_TRUE(s.WaitCommEvent(mask));
    EXPECT_EQ(mask, comm::EV_RXFLAG);
    EXPECT_TRUE(s.ReadEventSet());
}

TEST(CommPortState, LineErrorsAndOverflow) {
    CommPortState s = OpenedState(4);
    uint32_t mask = 0;
    EXPECT_FALSE(s.WaitCommEvent(mask));
    const std::array<uint8_t, 6> bytes{1, 2, 4, 5, 6, 7};
    s.Deliver(bytes);  // two bytes do not fit
    EXPECT_EQ(mask, comm::EV_ERR);
    uint32_t errors = 0;
    uint32_t inQueue = 0;
    s.ClearCommError(errors, inQueue);
    EXPECT_EQ(errors, comm::CE_RXOVER);
    EXPECT_EQ(inQueue, 4u);
    s.ClearCommError(errors, inQueue);
    EXPECT_EQ(errors, 0u);  // cleared by the previous call

    s.ReportLineErrors(comm::CE_RXPARITY | comm::CE_FRAME);
    s.Purge(comm::PURGE_RXABORT | comm::PURGE_RXCLEAR);
    s.ClearCommError(errors, inQueue);
    EXPECT_EQ(errors, comm::CE_RXPARITY | comm::CE_FRAME);
    EXPECT_EQ(inQueue, 0u);
}

TEST(CommPortState, QueueKeepsOrderRoundTheRing) {
    CommPortState s = OpenedState(5);
    std::array<uint8_t, 8> buf{};
    const std::array<uint8_t, 3> first{1, 2, 3};
    const std::array<uint8_t, 6> second{4, 5, 6, 7, 8, 9};
    s.Deliver(first);
    EXPECT_EQ(s.Read(buf.data(), 2), 2u);
    s.Deliver(second);  // wraps round the end; 8 and 9 do not fit
    EXPECT_EQ(s.QueuedCount(), 5u);
    EXPECT_EQ(s.Read(buf.data(), 4), 4u);  // the read wraps round too
    EXPECT_EQ(s.Read(buf.data() + 4, 8), 1u);
    EXPECT_EQ(buf, (std::array<uint8_t, 8>{3, 4, 5, 6, 7, 0, 0, 0}));
    uint32_t errors = 0;
    uint32_t inQueue = 0;
    s.ClearCommError(errors, inQueue);
    EXPECT_EQ(errors, comm::CE_RXOVER);
    EXPECT_EQ(inQueue, 0u);
}

TEST(CommPortState, ResetForgetsAPendingWait) {
    CommPortState s = OpenedState();
    uint32_t mask = 0;
    s.WaitCommEvent(mask);
    s.Reset();
    EXPECT_FALSE(s.WaitPending());
    EXPECT_FALSE(s.HasReadEvent());
    s.SetEventChar(kEtx);
    s.SetCommMask(comm::EV_RXFLAG);
    const std::array<uint8_t, 1> etx{kEtx};
    mask = 0;
    s.Deliver(etx);  // must not write through the forgotten pointer
    EXPECT_EQ(mask, 0u);
}

}  // namespace
}  // namespace tavrolin
