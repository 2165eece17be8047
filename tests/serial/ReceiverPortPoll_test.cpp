// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "FakeClocks.h"
#include "FakeCommDevice.h"
#include "RecordingMessageSink.h"
#include "decode/PresentReport.h"
#include "mux/MultiplexerDialog.h"
#include "platform/posix/PosixFileSystem.h"
#include "serial/ReceiverPort.h"

namespace tavrolin {
namespace {

using testing::CommCall;
using Bytes = std::vector<uint8_t>;
using Kind = CommCall::Kind;

// An outdoor sensor at address a: "Außen (a)  12.3°  67%".
Bytes Outdoor(uint8_t a, uint8_t humidity = 67) {
    return {0x02, static_cast<uint8_t>(0x10 | a), 0, 123, humidity, 0, 0, 0x03};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

class PollTest : public ::testing::Test {
protected:
    // Connected and started: the acknowledgement's read has left the read event set.
    void Connect() {
        device.onWrite = [this](std::span<const uint8_t>) { device.Receive({0x02, 0x06, 0x03}); };
        ASSERT_EQ(port.Connect(0, 0, 0), 1);
        port.SendFrame(kStartCommand.data(), 6);
        device.onWrite = nullptr;
        device.ClearRecord();
    }
    int Poll() {
        PresentingSink sink(&list, file, mask);
        return port.Poll(sink);
    }
    // The address digit of every listed outdoor record, in list order.
    std::string Addresses() const {
        std::string out;
        for (const auto& line : list.Lines()) {
            const auto at = line.find("(", line.find("en"));
            out += line.at(at + 1);
        }
        return out;
    }

    testing::FakeCommDevice device;
    testing::FakeCoarseClock coarse;
    MultiplexerDialog mux{coarse};
    testing::RecordingMessageSink messages;
    testing::FakeLocalClock clock;
    ReceiverPort port{device, mux, messages, clock};
    PosixFileSystem fileSystem;
    ProtocolFile file{fileSystem};
    MemoryList list;
    RecordingMask mask = kAllRecordings;
};

TEST_F(PollTest, NothingHappensWithoutAPortOrBeforeTheFirstCompletedRead) {
    EXPECT_EQ(Poll(), LinkResult::kNotOpen);
    EXPECT_TRUE(device.calls.empty());

    ASSERT_EQ(port.Connect(0, 0, 0), 1);  // opened, but no start command answered yet
    device.Receive(Outdoor(1));
    device.ClearRecord();
    EXPECT_EQ(Poll(), LinkResult::kNothing);
    ASSERT_EQ(device.calls.size(), 1u);
    EXPECT_EQ(device.calls[0].kind, Kind::WaitForReadEvent);
    EXPECT_EQ(device.calls[0].value, 0u);  // a test of the event, never a wait
    EXPECT_TRUE(list.Lines().empty());
}

TEST_F(PollTest, TelegramsAmidNoiseAreDecodedInArrivalOrderAndNothingIsPurged) {
    Connect();
    EXPECT_EQ(Poll(), LinkResult::kNothing);  // empty queue: the read of 0 bytes is still made
    EXPECT_EQ(device.CallsOf(Kind::ReadFile).size(), 1u);

    device.Receive(Concat({{0x55, 0x03, 0x7F}, Outdoor(1), {0x00, 0x41}, Outdoor(2), {0x03}}));
    EXPECT_EQ(Poll(), LinkResult::kNothing);
    EXPECT_EQ(Addresses(), "12");
    EXPECT_TRUE(device.CallsOf(Kind::PurgeComm).empty());
}

TEST_F(PollTest, ATelegramSplitOverTwoPollsGivesOneRecord) {
    Connect();
    const Bytes t = Outdoor(3);
    device.Receive(Bytes(t.begin(), t.begin() + 3));
    Poll();
    EXPECT_TRUE(list.Lines().empty());
    device.Receive(Concat({Bytes(t.begin() + 3, t.end()), Outdoor(4)}));
    Poll();
    EXPECT_EQ(Addresses(), "34");

    // Not when the part that came first holds a data byte 0x03: a short STX ... ETX is taken
    // for noise, since kept it could join the next bytes into a record no sensor sent.
    const Bytes withEtxData{0x02, 0x15, 0x00, 0x03, 0x40, 0x00, 0x00, 0x03};
    device.Receive(Bytes(withEtxData.begin(), withEtxData.begin() + 5));
    Poll();
    device.Receive(Bytes(withEtxData.begin() + 5, withEtxData.end()));
    Poll();
    EXPECT_EQ(Addresses(), "34");
}

TEST_F(PollTest, DataBytesOfAWholeTelegramNeverStartAnotherOne) {
    Connect();
    // A wind telegram with the data bytes 0x03 and 0x02, then noise with ETX in it. Were the
    // search to resume after the data byte 0x03, the data byte 0x02 would open a candidate
    // whose seventh byte is a noise ETX: a record that no sensor sent.
    const Bytes wind{0x02, 0x33, 0x03, 0x32, 0x03, 0x02, 0x22, 0x03};
    device.Receive(Concat({wind, {0x7E, 0x03, 0x03, 0x01, 0x03}, Outdoor(4)}));
    Poll();
    ASSERT_EQ(list.Lines().size(), 2u);
    EXPECT_NE(list.Lines()[0].find("Wind (3)"), std::string::npos) << list.Lines()[0];
    EXPECT_NE(list.Lines()[1].find("(4)"), std::string::npos) << list.Lines()[1];
}

TEST_F(PollTest, AnUnfinishedTelegramIsKeptForOnePollOnly) {
    Connect();
    // Its tail never comes: the next read brings another whole telegram; the kept head must
    // neither hide it nor stay around.
    device.Receive({0x02, 0x11, 0x00});
    Poll();
    device.Receive({0x02});
    Poll();  // the kept head now sits in front of another unfinished one: both carried once
    device.Receive(Bytes{0x11});
    Poll();
    device.Receive(Outdoor(6));
    Poll();
    EXPECT_EQ(Addresses(), "6");

    // A short candidate STX x ETX at the end of a read gives no record.
    device.Receive({0x02, 0x41, 0x03});
    Poll();
    device.Receive(Outdoor(7));
    Poll();
    EXPECT_EQ(Addresses(), "67");
}

TEST_F(PollTest, NoiseAroundTelegramsNeitherSwallowsNorMakesARecord) {
    struct Case {
        const char* story;
        std::vector<Bytes> reads;  // one poll each
        std::string addresses;
    };
    const Bytes t5 = Outdoor(5);
    const std::vector<Case> cases = {
        {"a short STX x ETX at the end of a read is not carried into the next one",
         {{0x02, 0x11, 0x03}, Concat({{0x00, 0x7B, 0x43, 0x00, 0x03}, t5})},
         "5"},
        {"a lone STX at the end of a read", {{0x41, 0x02}, t5}, "5"},
        {"a stray STX right before a telegram", {Concat({{0x02}, t5})}, "5"},
        {"a stray STX and noise before a telegram", {Concat({{0x02, 0x55, 0x02}, t5})}, "5"},
        {"a stray STX carried in front of a telegram that comes in two reads",
         {{0x02}, Bytes(t5.begin(), t5.begin() + 3), Bytes(t5.begin() + 3, t5.end())},
         "5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.story);
        Connect();
        list.ResetContent();
        for (const Bytes& read : c.reads) {
            device.Receive(read);
            Poll();
        }
        device.Receive(Outdoor(6));
        Poll();
        EXPECT_EQ(Addresses(), c.addresses + "6");
        port.Disconnect();
    }
}

TEST_F(PollTest, KeptBytesAreDroppedOnLineErrorsAndReconnects) {
    Connect();
    const Bytes t = Outdoor(1);
    device.Receive(Bytes(t.begin(), t.begin() + 4));
    Poll();
    device.RaiseLineError(comm::CE_FRAME);
    device.Receive(Bytes(t.begin() + 4, t.end()));
    EXPECT_EQ(Poll(), LinkResult::kFramingError);
    device.Receive(Bytes(t.begin() + 4, t.end()));
    Poll();
    EXPECT_TRUE(list.Lines().empty());

    device.Receive(Bytes(t.begin(), t.begin() + 4));
    Poll();
    port.Disconnect();
    Connect();
    device.Receive(Bytes(t.begin() + 4, t.end()));
    Poll();
    EXPECT_TRUE(list.Lines().empty());
}

TEST_F(PollTest, AQueueBeyondOneReadIsReadOnByTheNextTicks) {
    Connect();
    Bytes burst;
    for (int i = 0; i < 75; ++i) {  // 600 bytes; the 500-byte read ends inside a telegram
        const Bytes t = Outdoor(static_cast<uint8_t>(i % 8));
        burst.insert(burst.end(), t.begin(), t.end());
    }
    device.Receive(burst);
    Poll();
    ASSERT_EQ(device.CallsOf(Kind::ReadFile).back().bytes.size(), 500u);
    EXPECT_EQ(list.Lines().size(), 51u);  // the list keeps its newest 51 of the first 62
    Poll();
    EXPECT_EQ(device.CallsOf(Kind::ReadFile).back().bytes.size(), 100u);
    std::string expected;
    for (int i = 75 - 51; i < 75; ++i) {
        expected += static_cast<char>('0' + i % 8);
    }
    EXPECT_EQ(Addresses(), expected);
}

TEST_F(PollTest, LineErrorsDropTheReadAndAreClassified) {
    Connect();
    struct Case {
        uint32_t errors;
        int result;
    };
    for (const Case c : {Case{comm::CE_RXPARITY, LinkResult::kParityError},
                         Case{comm::CE_RXPARITY | comm::CE_FRAME, LinkResult::kParityError},
                         Case{comm::CE_FRAME | comm::CE_OVERRUN, LinkResult::kFramingError},
                         Case{comm::CE_RXOVER, LinkResult::kOverflow},
                         Case{comm::CE_BREAK, LinkResult::kFailed}}) {
        device.Receive(Outdoor(1));
        device.RaiseLineError(c.errors);
        EXPECT_EQ(Poll(), c.result) << c.errors;
    }
    EXPECT_TRUE(list.Lines().empty());

    device.failRead = true;
    device.Receive(Outdoor(1));
    EXPECT_EQ(Poll(), LinkResult::kFailed);
}

}  // namespace
}  // namespace tavrolin
