// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ReceiverPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "AddressWordDecoder.h"
#include "FakeClocks.h"
#include "FakeCommDevice.h"
#include "RecordingMessageSink.h"
#include "mux/MultiplexerDialog.h"

namespace tavrolin {
namespace {

using testing::CommCall;
using testing::DecodeAddressWords;
using testing::FakeCoarseClock;
using testing::FakeCommDevice;
using testing::FakeLocalClock;
using testing::RecordingMessageSink;
using Bytes = std::vector<uint8_t>;
using Kind = CommCall::Kind;
using Words = std::vector<uint16_t>;

constexpr const char* kCaption = "Fehler beim Öffnen der Schnittstelle";

class ReceiverPortTest : public ::testing::Test {
protected:
    std::vector<Kind> Kinds() const {
        std::vector<Kind> kinds;
        for (const auto& call : device.calls) {
            kinds.push_back(call.kind);
        }
        return kinds;
    }
    std::optional<Words> WordsSent() const { return DecodeAddressWords(device.Escapes()); }
    void AnswerEveryWrite(Bytes answer) {
        device.onWrite = [this, answer](std::span<const uint8_t>) { device.Receive(answer); };
    }

    FakeCommDevice device;
    FakeCoarseClock clock{3};
    MultiplexerDialog mux{clock};
    RecordingMessageSink messages;
    FakeLocalClock localClock;
    ReceiverPort port{device, mux, messages, localClock};
};

// --- Connection -------------------------------------------------------------------------

TEST_F(ReceiverPortTest, AnIndexOutsideThePortListIsRefusedWithoutTouchingThePort) {
    for (const int index : {-1, 4}) {
        EXPECT_EQ(port.Connect(index, 0, 1), 0);
        EXPECT_TRUE(device.calls.empty()) << "index " << index;
    }
    ASSERT_EQ(port.Connect(1, 0, 0), 1);
    device.ClearRecord();
    EXPECT_EQ(port.Connect(-1, 35, 1), 0);
    EXPECT_TRUE(device.calls.empty());
    EXPECT_TRUE(port.IsOpen());  // the port that was open stays open

    ASSERT_EQ(messages.messages.size(), 3u);
    for (const auto& shown : messages.messages) {
        EXPECT_EQ(shown.caption, kCaption);
        EXPECT_EQ(shown.text, "Ungültiger COM-Port");
        EXPECT_EQ(shown.icon, MessageIcon::Stop);
    }
}

TEST_F(ReceiverPortTest, APortNumberOutsideOneToFourClosesThePort) {
    for (const int number : {0, 5}) {
        ASSERT_EQ(port.Connect(0, 0, 0), 1);
        device.ClearRecord();
        messages.messages.clear();
        EXPECT_EQ(port.Open(number), 0);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(Kinds(), std::vector<Kind>{Kind::Close}) << "number " << number;
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].caption, kCaption);
        EXPECT_EQ(messages.messages[0].text, "kein COM-Port gewählt");
    }
}

TEST_F(ReceiverPortTest, TheListIndexNamesThePort) {
    for (const int index : {0, 1, 2, 3}) {
        device.ClearRecord();
        ASSERT_EQ(port.Connect(index, 0, 0), 1);
        const auto opens = device.CallsOf(Kind::Open);
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].name, "COM" + std::to_string(index + 1));
    }
}

TEST_F(ReceiverPortTest, APortThatCannotBeOpenedIsReportedAndStaysClosed) {
    const std::vector<std::pair<OpenError, std::string>> table = {
        {OpenError::AlreadyOpen, "Die Schnittstelle ist bereits geöffnet"},
        {OpenError::CannotOpen, "Die Schnittstelle läßt sich nicht öffnen"},
    };
    for (const auto& [error, text] : table) {
        device.ClearRecord();
        messages.messages.clear();
        device.openError = error;
        EXPECT_EQ(port.Connect(0, 35, 1), 0);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(Kinds(), std::vector<Kind>{Kind::Open});  // no configuration, no signalling
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].caption, kCaption);
        EXPECT_EQ(messages.messages[0].text, text);
        EXPECT_EQ(messages.messages[0].icon, MessageIcon::Stop);
    }
}

TEST_F(ReceiverPortTest, OpenGivesThePortTheReceiverLineSettings) {
    // A driver with every flag bit set and other values in the fields that are kept.
    device.reportedConfig.dcb.flags = 0xABCDFFFF;
    device.reportedConfig.dcb.errorChar = 0x3F;
    device.reportedConfig.dcb.eofChar = 0x1A;
    ASSERT_EQ(port.Connect(0, 0, 0), 1);

    EXPECT_EQ(Kinds(), (std::vector<Kind>{Kind::Open, Kind::PurgeComm, Kind::SetCommTimeouts,
                                          Kind::GetCommConfig, Kind::SetCommConfig,
                                          Kind::SetCommMask, Kind::CreateReadEvent}));
    EXPECT_EQ(device.CallsOf(Kind::PurgeComm)[0].value, 0x0Fu);
    EXPECT_EQ(device.CallsOf(Kind::GetCommConfig)[0].value, 52u);
    ASSERT_TRUE(device.appliedTimeouts.has_value());
    EXPECT_EQ(device.appliedTimeouts->readIntervalTimeout, 5000u);
    EXPECT_EQ(device.appliedTimeouts->readTotalTimeoutMultiplier, 10u);
    EXPECT_EQ(device.appliedTimeouts->readTotalTimeoutConstant, 2000u);
    EXPECT_EQ(device.appliedTimeouts->writeTotalTimeoutMultiplier, 10u);
    EXPECT_EQ(device.appliedTimeouts->writeTotalTimeoutConstant, 1000u);

    ASSERT_TRUE(device.appliedConfig.has_value());
    const Dcb& dcb = device.appliedConfig->dcb;
    // Reserved bits 15..31 as reported; binary and parity checking on; no flow control,
    // DTR and RTS under manual control only, no error replacement, no abort on error.
    EXPECT_EQ(dcb.flags, 0xABCD8003u);
    EXPECT_EQ(dcb.baudRate, 19200u);
    EXPECT_EQ(dcb.byteSize, 8);
    EXPECT_EQ(dcb.parity, comm::ODDPARITY);
    EXPECT_EQ(dcb.stopBits, comm::TWOSTOPBITS);
    EXPECT_EQ(dcb.evtChar, 0x03);
    EXPECT_EQ(dcb.xonLim, 2048);
    EXPECT_EQ(dcb.xoffLim, 512);
    EXPECT_EQ(dcb.xonChar, 0x11);
    EXPECT_EQ(dcb.xoffChar, 0x13);
    EXPECT_EQ(dcb.errorChar, 0x3F);
    EXPECT_EQ(dcb.eofChar, 0x1A);
    EXPECT_EQ(device.appliedCommMask, comm::EV_RXFLAG | comm::EV_ERR);
    EXPECT_FALSE(device.State().ReadEventSet());
}

TEST_F(ReceiverPortTest, TheConfigurationSizeNeverExceedsTheBlockHeld) {
    for (const auto& [reported, applied] : {std::pair{52u, 52u}, {60u, 52u}, {40u, 40u}}) {
        device.ClearRecord();
        device.reportedConfigSize = reported;
        ASSERT_EQ(port.Connect(0, 0, 0), 1);
        EXPECT_EQ(device.CallsOf(Kind::SetCommConfig)[0].value, applied) << "reported " << reported;
    }
}

TEST_F(ReceiverPortTest, APortThatRefusesItsConfigurationStillCountsAsOpen) {
    device.failConfig = true;
    EXPECT_EQ(port.Connect(0, 0, 0), 1);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ReceiverPortTest, AReconnectClosesTheOldPortWithoutStopCommandOrReset) {
    ASSERT_EQ(port.Connect(0, 35, 1), 1);
    device.ClearRecord();
    ASSERT_EQ(port.Connect(1, 35, 0), 1);
    ASSERT_FALSE(device.calls.empty());
    EXPECT_EQ(device.calls.front().kind, Kind::Close);
    EXPECT_TRUE(device.Writes().empty());
    EXPECT_TRUE(device.Escapes().empty());
}

TEST_F(ReceiverPortTest, WithoutTheMultiplexerNeitherConnectNorDisconnectSignals) {
    ASSERT_EQ(port.Connect(0, 35, 0), 1);
    EXPECT_EQ(port.MuxActive(), 0);
    port.Disconnect();
    EXPECT_TRUE(device.Escapes().empty());
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(ReceiverPortTest, TheMultiplexerIsSelectedAtConnectAndResetBeforeClosing) {
    ASSERT_EQ(port.Connect(0, 35, 1), 1);
    EXPECT_EQ(port.MuxActive(), 1);
    EXPECT_EQ(WordsSent(), (Words{0x2D4B, 0xB4D2}));
    EXPECT_EQ(Kinds()[6], Kind::CreateReadEvent);  // the port is set up before the lines move
    EXPECT_TRUE(device.Writes().empty());          // Connect writes no data byte

    device.ClearRecord();
    port.Disconnect();
    EXPECT_EQ(WordsSent(), Words{0x0F0F});
    EXPECT_EQ(Kinds().back(), Kind::Close);
    EXPECT_EQ(device.CallsOf(Kind::Close).size(), 1u);
    EXPECT_TRUE(device.Writes().empty());
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(ReceiverPortTest, DisconnectWhileClosedDoesNothing) {
    port.Disconnect();
    EXPECT_TRUE(device.calls.empty());

    // A connect that fails after one with the multiplexer: the flag stays, the port is
    // closed, so the later disconnect sends no reset word.
    ASSERT_EQ(port.Connect(0, 35, 1), 1);
    device.openError = OpenError::CannotOpen;
    EXPECT_EQ(port.Connect(1, 35, 0), 0);
    EXPECT_EQ(port.MuxActive(), 1);
    device.ClearRecord();
    port.Disconnect();
    EXPECT_TRUE(device.calls.empty());
}

TEST_F(ReceiverPortTest, ReconnectsHoldAtMostOneReadEvent) {
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(port.Connect(i % 4, 0, 0), 1);
        EXPECT_EQ(device.liveEvents, 1) << "connect " << i;
    }
    EXPECT_EQ(device.CallsOf(Kind::CreateReadEvent).size(), 12u);
    port.Disconnect();
    EXPECT_EQ(device.liveEvents, 0);
}

TEST_F(ReceiverPortTest, DestructionClosesWithoutStopCommandOrReset) {
    {
        ReceiverPort other(device, mux, messages, localClock);
        ASSERT_EQ(other.Connect(0, 35, 1), 1);
        device.ClearRecord();
    }
    EXPECT_EQ(Kinds(), std::vector<Kind>{Kind::Close});
    EXPECT_EQ(device.liveEvents, 0);
}

// --- Command frames ---------------------------------------------------------------------

TEST_F(ReceiverPortTest, FramesAreEscapedAndChecksummed) {
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
    };
    ASSERT_EQ(port.Connect(0, 0, 0), 1);
    AnswerEveryWrite({0x02, 0x06, 0x03});
    for (const Row& row : table) {
        device.ClearRecord();
        EXPECT_EQ(port.SendFrame(row.payload.data(), static_cast<int>(row.payload.size())), 1);
        EXPECT_EQ(device.Writes(), std::vector<Bytes>{row.line});
    }
    // A negative length is no payload.
    device.ClearRecord();
    port.SendFrame(kStartCommand.data(), -3);
    EXPECT_EQ(device.Writes(), (std::vector<Bytes>{{0x01, 0xFF, 0x04}}));
}

TEST_F(ReceiverPortTest, APayloadLongerThanTheFrameHoldsIsCut) {
    ASSERT_EQ(port.Connect(0, 0, 0), 1);
    AnswerEveryWrite({0x02, 0x06, 0x03});
    const Bytes payload(60, 0x10);
    port.SendFrame(payload.data(), static_cast<int>(payload.size()));

    // 48 escaped bytes; sum 1 + 48 * 0x10 = 0x301, so the checksum is 0xFF.
    Bytes expected{0x01};
    for (int i = 0; i < 48; ++i) {
        expected.insert(expected.end(), {0x10, 0x20});
    }
    expected.insert(expected.end(), {0xFF, 0x04});
    ASSERT_EQ(expected.size(), 99u);
    EXPECT_EQ(device.Writes(), std::vector<Bytes>{expected});
}

TEST_F(ReceiverPortTest, WithoutAPortNothingIsSent) {
    EXPECT_EQ(port.SendFrame(kStartCommand.data(), 6), 1);
    EXPECT_EQ(port.WaitForAck(), LinkResult::kNotOpen);
    EXPECT_TRUE(device.calls.empty());
}

TEST_F(ReceiverPortTest, TheFrameIsSentAgainUnlessTheFirstIsAcknowledged) {
    struct Row {
        std::string story;
        Bytes firstAnswer;
        std::size_t writes;
    };
    const std::vector<Row> table = {
        {"acknowledged", {0x02, 0x06, 0x03}, 1},
        {"refused", {0x02, 0x15, 0x03}, 2},
        {"silence", {}, 2},
        {"ack followed by a telegram",
         {0x02, 0x06, 0x03, 0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x03},
         2},
    };
    for (const Row& row : table) {
        ASSERT_EQ(port.Connect(0, 0, 0), 1);
        device.ClearRecord();
        device.onWrite = [this, &row](std::span<const uint8_t>) {
            if (device.Writes().size() == 1) {
                device.Receive(row.firstAnswer);
            }
        };
        EXPECT_EQ(port.SendFrame(kStartCommand.data(), 6), 1);
        const auto writes = device.Writes();
        EXPECT_EQ(writes.size(), row.writes) << row.story;
        EXPECT_TRUE(std::all_of(writes.begin(), writes.end(),
                                [&](const Bytes& w) { return w == writes.front(); }));
    }
}

TEST_F(ReceiverPortTest, SilenceGivesTwoFullAnswerWaitsAlsoAfterTelegramsWerePolled) {
    ASSERT_EQ(port.Connect(0, 0, 0), 1);
    AnswerEveryWrite({0x02, 0x06, 0x03});
    port.SendFrame(kStartCommand.data(), 6);
    // Telegrams came and were polled: the port remembers their ETX, which is no answer.
    device.onWrite = nullptr;
    device.Receive({0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x03});
    struct : ReadingSink {
        void Accept(const Reading&, std::string_view) override {}
    } ignore;
    EXPECT_EQ(port.Poll(ignore), LinkResult::kNothing);
    device.ClearRecord();

    port.SendFrame(kStopCommand.data(), 6);
    EXPECT_EQ(Kinds(),
              (std::vector<Kind>{Kind::SetCommMask, Kind::WriteFile, Kind::WaitCommEvent,
                                 Kind::WaitForReadEvent, Kind::SetCommMask, Kind::WriteFile,
                                 Kind::WaitCommEvent, Kind::WaitForReadEvent}));
    for (const auto& wait : device.CallsOf(Kind::WaitForReadEvent)) {
        EXPECT_EQ(wait.value, 200u);
    }
    EXPECT_EQ(port.WaitForAck(), LinkResult::kNoAnswer);
}

TEST_F(ReceiverPortTest, TheLastEtxReadDecidesTheAnswer) {
    struct Row {
        Bytes bytes;
        uint32_t errors;
        int result;
    };
    const Bytes ack{0x02, 0x06, 0x03};
    const std::vector<Row> table = {
        {ack, 0, LinkResult::kAcknowledged},
        {{0x02, 0x15, 0x03}, 0, LinkResult::kAnswered},
        {{0x06, 0x03}, 0, LinkResult::kNoAnswerFrame},
        {{0x03}, 0, LinkResult::kNoAnswerFrame},
        {{0x02, 0x06, 0x03, 0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x03},
         0,
         LinkResult::kNoAnswerFrame},
        {{0x02, 0x06, 0x03, 0x02, 0x15, 0x03}, 0, LinkResult::kAnswered},
        {{0x02, 0x15, 0x03, 0x02, 0x06, 0x03, 0x41}, 0, LinkResult::kAcknowledged},
        {ack, comm::CE_RXPARITY | comm::CE_FRAME, LinkResult::kParityError},
        {ack, comm::CE_FRAME | comm::CE_OVERRUN, LinkResult::kFramingError},
        {ack, comm::CE_RXOVER, LinkResult::kOverflow},
        {ack, comm::CE_OVERRUN | comm::CE_BREAK, LinkResult::kOverflow},
        {ack, comm::CE_BREAK, LinkResult::kFailed},
        {{}, comm::CE_BREAK, LinkResult::kFailed},
    };
    for (const bool duringWait : {false, true}) {
        for (std::size_t i = 0; i < table.size(); ++i) {
            const Row& row = table[i];
            ASSERT_EQ(port.Connect(0, 0, 0), 1);
            const auto arrive = [&] {
                device.Receive(row.bytes);
                device.RaiseLineError(row.errors);
            };
            device.duringWait = duringWait ? std::function<void()>(arrive) : nullptr;
            if (!duringWait) {
                arrive();
            }
            EXPECT_EQ(port.WaitForAck(), row.result)
                << "row " << i << (duringWait ? ", during the wait" : ", before the wait");
            EXPECT_EQ(device.State().QueuedCount(), 0u) << "row " << i;
        }
    }
}

TEST_F(ReceiverPortTest, AnEtxAlreadyQueuedSkipsTheWait) {
    ASSERT_EQ(port.Connect(0, 0, 0), 1);
    device.Receive({0x02, 0x06, 0x03});
    device.ClearRecord();
    EXPECT_EQ(port.WaitForAck(), LinkResult::kAcknowledged);
    EXPECT_TRUE(device.CallsOf(Kind::WaitForReadEvent).empty());
}

TEST_F(ReceiverPortTest, AtMost99BytesAreReadAndTheRestIsPurged) {
    ASSERT_EQ(port.Connect(0, 0, 0), 1);
    Bytes queued(96, 0x55);
    queued.insert(queued.end(), {0x02, 0x06, 0x03});
    queued.insert(queued.end(), 51, 0x55);
    ASSERT_EQ(queued.size(), 150u);
    device.Receive(queued);
    device.ClearRecord();

    EXPECT_EQ(port.WaitForAck(), LinkResult::kAcknowledged);
    const auto reads = device.CallsOf(Kind::ReadFile);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].value, 99u);
    EXPECT_EQ(reads[0].bytes.size(), 99u);
    EXPECT_EQ(Kinds().back(), Kind::PurgeComm);
    EXPECT_EQ(device.calls.back().value, comm::PURGE_RXABORT | comm::PURGE_RXCLEAR);
    EXPECT_EQ(device.State().QueuedCount(), 0u);
}

TEST_F(ReceiverPortTest, AFailedWaitOrReadIsMinusOne) {
    ASSERT_EQ(port.Connect(0, 0, 0), 1);
    device.failWait = true;
    EXPECT_EQ(port.WaitForAck(), LinkResult::kFailed);

    device.failWait = false;
    ASSERT_EQ(port.Connect(0, 0, 0), 1);  // ends the wait the failure left pending
    device.failRead = true;
    device.Receive({0x02, 0x06, 0x03});
    EXPECT_EQ(port.WaitForAck(), LinkResult::kFailed);
}

TEST_F(ReceiverPortTest, AWaitGivenUpIsCompletedByTheNextEtx) {
    ASSERT_EQ(port.Connect(0, 0, 0), 1);
    port.SendFrame(kStartCommand.data(), 6);  // no answer: both waits give up
    EXPECT_TRUE(device.State().WaitPending());
    EXPECT_EQ(device.WaitForReadEvent(0), WaitResult::TimedOut);

    // A telegram arrives later: its ETX completes the pending wait into the port object's
    // mask and sets the read event, so the next poll finds something to read.
    device.Receive({0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x03});
    EXPECT_EQ(port.EventMask(), comm::EV_RXFLAG);
    EXPECT_EQ(device.WaitForReadEvent(0), WaitResult::Signaled);
    EXPECT_EQ(device.State().QueuedCount(), 8u);
}

}  // namespace
}  // namespace tavrolin
