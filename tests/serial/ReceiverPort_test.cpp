// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ReceiverPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AddressWordDecoder.h"
#include "FakeClocks.h"
#include "FakeSerialLine.h"
#include "RecordingMessageSink.h"
#include "mux/MultiplexerLine.h"

namespace tavrolin {
namespace {

using testing::DecodeAddressWords;
using testing::FakeCoarseClock;
using testing::FakeSerialLine;
using testing::FakeWallClock;
using testing::LineCall;
using testing::RecordingMessageSink;
using Bytes = std::vector<uint8_t>;
using Kind = LineCall::Kind;
using Words = std::vector<uint16_t>;

constexpr const char* kCaption = "Fehler beim Öffnen der Schnittstelle";
const Bytes kTelegram{0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x03};

class ReceiverPortTest : public ::testing::Test {
protected:
    std::vector<Kind> Kinds() const {
        std::vector<Kind> kinds;
        for (const auto& call : line.calls) {
            kinds.push_back(call.kind);
        }
        return kinds;
    }
    std::optional<Words> WordsSent() const { return DecodeAddressWords(line.changes); }
    void AnswerEveryWrite(Bytes answer) {
        line.onWrite = [this, answer](std::span<const uint8_t>) { line.Receive(answer); };
    }

    FakeSerialLine line;
    FakeCoarseClock clock{3};
    MultiplexerLine mux{clock};
    RecordingMessageSink messages;
    FakeWallClock localClock;
    ReceiverPort port{line, mux, messages, localClock, localClock};
};

// --- Connection -------------------------------------------------------------------------

TEST_F(ReceiverPortTest, PortsOutsideTheListAreRefusedAndTheListIndexNamesThePort) {
    for (const int index : {-1, 4}) {
        EXPECT_FALSE(port.Connect(index, 0, true));
    }
    EXPECT_TRUE(line.calls.empty());
    for (const int index : {0, 1, 2, 3}) {
        line.ClearRecord();
        ASSERT_TRUE(port.Connect(index, 0, false));
        EXPECT_EQ(line.CallsOf(Kind::Open).at(0).name, "COM" + std::to_string(index + 1));
    }
    // A refused index leaves the open line open; a port number outside 1..4 closes it.
    line.ClearRecord();
    EXPECT_FALSE(port.Connect(-1, 35, true));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_FALSE(port.Open(5));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(Kinds(), std::vector<Kind>{Kind::Close});

    ASSERT_EQ(messages.messages.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(messages.messages[i].caption, kCaption);
        EXPECT_EQ(messages.messages[i].text,
                  i < 3 ? "Ungültiger COM-Port" : "kein COM-Port gewählt");
        EXPECT_EQ(messages.messages[i].icon, MessageIcon::Stop);
    }
}

TEST_F(ReceiverPortTest, ALineThatCannotBeOpenedIsReportedAndStaysClosed) {
    const std::vector<std::pair<LineError, std::string>> table = {
        {LineError::InUse, "Die Schnittstelle ist bereits geöffnet"},
        {LineError::CannotOpen, "Die Schnittstelle läßt sich nicht öffnen"},
        {LineError::Failed, "Die Schnittstelle läßt sich nicht öffnen"},
    };
    for (const auto& [error, text] : table) {
        line.ClearRecord();
        messages.messages.clear();
        line.openError = error;
        EXPECT_FALSE(port.Connect(0, 35, true));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_TRUE(line.changes.empty());  // no signalling
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text, text);
    }
    // The background retries of a lost line are quiet.
    EXPECT_FALSE(port.Connect(0, 35, true, false));
    EXPECT_EQ(messages.messages.size(), 1u);
}

TEST_F(ReceiverPortTest, TheMultiplexerIsSelectedAtConnectAndResetBeforeClosing) {
    ASSERT_TRUE(port.Connect(0, 35, true));
    EXPECT_TRUE(port.MuxActive());
    EXPECT_EQ(WordsSent(), (Words{0x2D4B, 0xB4D2}));
    EXPECT_TRUE(line.Writes().empty());  // Connect writes no data byte

    line.ClearRecord();
    port.Disconnect();
    EXPECT_EQ(WordsSent(), Words{0x0F0F});
    EXPECT_EQ(Kinds().back(), Kind::Close);
    EXPECT_FALSE(port.IsOpen());

    // Without the multiplexer, neither connect nor disconnect signals; a disconnect while
    // closed does nothing, also after a failed connect that followed one with the
    // multiplexer (its flag stays, but the line is closed).
    line.ClearRecord();
    ASSERT_TRUE(port.Connect(0, 35, false));
    port.Disconnect();
    EXPECT_TRUE(line.changes.empty());
    ASSERT_TRUE(port.Connect(0, 35, true));
    line.openError = LineError::CannotOpen;
    EXPECT_FALSE(port.Connect(1, 35, false));
    EXPECT_TRUE(port.MuxActive());
    line.ClearRecord();
    port.Disconnect();
    EXPECT_TRUE(line.calls.empty());
}

TEST_F(ReceiverPortTest, AReconnectOrTheEndClosesTheLineWithoutStopCommandOrReset) {
    ASSERT_TRUE(port.Connect(0, 35, true));
    line.ClearRecord();
    ASSERT_TRUE(port.Connect(1, 35, false));
    EXPECT_EQ(line.calls.front().kind, Kind::Close);
    {
        ReceiverPort other(line, mux, messages, localClock, localClock);
        ASSERT_TRUE(other.Connect(0, 35, true));
        line.ClearRecord();
    }
    EXPECT_EQ(Kinds(), std::vector<Kind>{Kind::Close});
    EXPECT_TRUE(line.Writes().empty());
    EXPECT_TRUE(line.changes.empty());
}

// --- Command frames ---------------------------------------------------------------------

TEST_F(ReceiverPortTest, FramesAreEscapedChecksummedAndCut) {
    Bytes longest{0x01};  // 48 escaped bytes; sum 1 + 48 * 0x10 = 0x301: checksum 0xFF
    for (int i = 0; i < 48; ++i) {
        longest.insert(longest.end(), {0x10, 0x20});
    }
    longest.insert(longest.end(), {0xFF, 0x04});
    struct Row {
        Bytes payload;
        Bytes line;
    };
    const std::vector<Row> table = {
        {Bytes(kStartCommand.begin(), kStartCommand.end()),
         {0x01, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x04}},
        {Bytes(kStopCommand.begin(), kStopCommand.end()),
         {0x01, 0xFE, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81, 0x04}},
        {{}, {0x01, 0xFF, 0x04}},
        {{0x01, 0x04, 0x10}, {0x01, 0x10, 0x11, 0x10, 0x14, 0x10, 0x20, 0xEA, 0x04}},
        {{0x7F}, {0x01, 0x7F, 0x80, 0x04}},
        {Bytes(60, 0x10), longest},
    };
    ASSERT_TRUE(port.Connect(0, 0, false));
    AnswerEveryWrite({0x02, 0x06, 0x03});
    for (const Row& row : table) {
        line.ClearRecord();
        port.SendFrame(row.payload);
        EXPECT_EQ(line.Writes(), std::vector<Bytes>{row.line});
    }
}

TEST_F(ReceiverPortTest, WithoutALineNothingIsSent) {
    port.SendFrame(kStartCommand);
    EXPECT_EQ(port.WaitForAck(), LinkResult::NotOpen);
    EXPECT_TRUE(line.calls.empty());
}

TEST_F(ReceiverPortTest, TheFrameGoesAgainAfterAFullAnswerTimeUnlessTheFirstIsAcknowledged) {
    struct Row {
        std::string story;
        Bytes firstAnswer;
        std::size_t writes;
    };
    Bytes ackThenTelegram{0x02, 0x06, 0x03};
    ackThenTelegram.insert(ackThenTelegram.end(), kTelegram.begin(), kTelegram.end());
    const std::vector<Row> table = {
        {"acknowledged", {0x02, 0x06, 0x03}, 1},
        {"refused", {0x02, 0x15, 0x03}, 2},
        {"silence", {}, 2},
        {"ack followed by a telegram in the same read", ackThenTelegram, 2},
    };
    for (const Row& row : table) {
        ASSERT_TRUE(port.Connect(0, 0, false));
        // Telegrams came since the last poll: their ETX answers nothing, and the wait must
        // not end on it.
        line.Receive(kTelegram);
        line.ClearRecord();
        line.onWrite = [this, &row](std::span<const uint8_t>) {
            if (line.Writes().size() == 1) {
                line.Receive(row.firstAnswer);
            }
        };
        port.SendFrame(kStartCommand);
        const auto writes = line.Writes();
        EXPECT_EQ(writes.size(), row.writes) << row.story;
        EXPECT_TRUE(std::all_of(writes.begin(), writes.end(),
                                [&](const Bytes& w) { return w == writes.front(); }));
        // Each write comes after what was there has been thrown away; a wait in silence
        // takes the whole answer time.
        EXPECT_EQ(line.calls.at(0).kind, Kind::Discard) << row.story;
        for (const LineCall& wait : line.CallsOf(Kind::Wait)) {
            EXPECT_EQ(wait.ms, 200) << row.story;
        }
    }
}

TEST_F(ReceiverPortTest, TheLastEtxReadDecidesTheAnswer) {
    struct Row {
        Bytes bytes;
        uint8_t faults;
        LinkResult result;
    };
    const Bytes ack{0x02, 0x06, 0x03};
    Bytes ackThenTelegram = ack;
    ackThenTelegram.insert(ackThenTelegram.end(), kTelegram.begin(), kTelegram.end());
    const std::vector<Row> table = {
        {ack, 0, LinkResult::Acknowledged},
        {{0x02, 0x15, 0x03}, 0, LinkResult::Answered},
        {{0x06, 0x03}, 0, LinkResult::NoAnswerFrame},
        {{0x03}, 0, LinkResult::NoAnswerFrame},
        {ackThenTelegram, 0, LinkResult::NoAnswerFrame},
        {{0x02, 0x06, 0x03, 0x02, 0x15, 0x03}, 0, LinkResult::Answered},
        {{0x02, 0x15, 0x03, 0x02, 0x06, 0x03, 0x41}, 0, LinkResult::Acknowledged},
        {ack, kParityFault | kFramingFault, LinkResult::ParityError},
        {ack, kFramingFault | kOverrunFault, LinkResult::FramingError},
        {ack, kOverrunFault | kOtherFault, LinkResult::Overrun},
        {ack, kOtherFault, LinkResult::Failed},
        {{}, kOtherFault, LinkResult::Failed},
        {{0x55, 0x02}, 0, LinkResult::NoAnswer},
    };
    for (const bool duringWait : {false, true}) {
        for (std::size_t i = 0; i < table.size(); ++i) {
            const Row& row = table[i];
            ASSERT_TRUE(port.Connect(0, 0, false));
            bool arrived = false;
            const auto arrive = [&] {
                if (!std::exchange(arrived, true)) {
                    line.Receive(row.bytes);
                    line.RaiseFault(row.faults);
                }
            };
            line.duringWait = duringWait ? std::function<void()>(arrive) : nullptr;
            if (!duringWait) {
                arrive();
            }
            EXPECT_EQ(port.WaitForAck(), row.result)
                << "row " << i << (duringWait ? ", during the wait" : ", before the wait");
            if (row.result != LinkResult::NoAnswer) {
                EXPECT_EQ(line.Queued(), 0u) << "row " << i;
            }
        }
    }
}

TEST_F(ReceiverPortTest, AnAnswerInPiecesIsWaitedForWithinOneAnswerTime) {
    ASSERT_TRUE(port.Connect(0, 0, false));
    std::vector<Bytes> pieces{{0x02}, {0x06}, {0x03}};
    line.arrivalMs = 60;
    line.duringWait = [&] {
        if (!pieces.empty()) {
            line.Receive(pieces.front());
            pieces.erase(pieces.begin());
        }
    };
    EXPECT_EQ(port.WaitForAck(), LinkResult::Acknowledged);
    std::vector<int64_t> left;
    for (const LineCall& wait : line.CallsOf(Kind::Wait)) {
        left.push_back(wait.ms);
    }
    EXPECT_EQ(left, (std::vector<int64_t>{200, 140, 80}));

    // Four pieces of 60 ms do not fit: the answer time is over before the ETX.
    pieces = {{0x55}, {0x02}, {0x06}, {0x03}};
    EXPECT_EQ(port.WaitForAck(), LinkResult::NoAnswer);
}

TEST_F(ReceiverPortTest, AtMost99BytesAreReadAndTheRestIsThrownAway) {
    ASSERT_TRUE(port.Connect(0, 0, false));
    Bytes queued(96, 0x55);
    queued.insert(queued.end(), {0x02, 0x06, 0x03});
    queued.insert(queued.end(), 51, 0x55);
    line.Receive(queued);
    line.ClearRecord();
    EXPECT_EQ(port.WaitForAck(), LinkResult::Acknowledged);
    const auto reads = line.CallsOf(Kind::Read);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].room, 99u);
    EXPECT_EQ(Kinds().back(), Kind::Discard);
    EXPECT_EQ(line.Queued(), 0u);
}

TEST_F(ReceiverPortTest, AFailedWaitOrReadFails) {
    ASSERT_TRUE(port.Connect(0, 0, false));
    line.failWait = true;
    EXPECT_EQ(port.WaitForAck(), LinkResult::Failed);
    line.failWait = false;
    line.failRead = true;
    line.Receive({0x02, 0x06, 0x03});
    EXPECT_EQ(port.WaitForAck(), LinkResult::Failed);
}

}  // namespace
}  // namespace tavrolin
