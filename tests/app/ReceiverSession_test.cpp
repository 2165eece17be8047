// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ReceiverSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AddressWordDecoder.h"
#include "FakeClocks.h"
#include "FakeSerialLine.h"
#include "RecordingMessageSink.h"
#include "mux/MultiplexerLine.h"

namespace tavrolin {
namespace {

using testing::LineCall;
using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;

const Bytes kStartFrame = {0x01, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x04};
const Bytes kStopFrame = {0x01, 0xFE, 0, 0, 0, 0, 0, 0x81, 0x04};
const Bytes kOutdoor2 = {0x02, 0x12, 0x00, 123, 67, 0x00, 0x00, 0x03};

struct CountingSink : ReadingSink {
    void Accept(const Reading&) override { ++readings; }
    int readings = 0;
};

class ReceiverSessionTest : public ::testing::Test {
protected:
    ReceiverSessionTest() {
        device.onWrite = [this](std::span<const uint8_t>) { device.Receive({0x02, 0x06, 0x03}); };
    }
    void Rules(bool reconnect, int64_t silenceMs) {
        session.SetRules(LinkRules{reconnect, silenceMs, true});
    }
    int Opens() const { return static_cast<int>(device.CallsOf(LineCall::Kind::Open).size()); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& m : messages.messages) {
            texts.push_back(m.caption + ": " + m.text);
        }
        return texts;
    }
    // Advances the clock by ms and ticks once.
    void After(int64_t ms) {
        wall.AdvanceMs(ms);
        session.Tick();
    }

    testing::FakeSerialLine device;
    testing::FakeCoarseClock coarse{3};
    testing::FakeCoarseClock wall{1, 0};  // moves only when the test says
    MultiplexerLine mux{coarse};
    testing::RecordingMessageSink messages;
    testing::FakeWallClock clock;
    ReceiverPort port{device, mux, messages, clock, clock};
    CountingSink sink;
    ReceiverSession session{port, sink, messages, wall};
};

TEST_F(ReceiverSessionTest, ALostPortIsReopenedQuietlyWithBackoffAndTheWholeSequenceRunsAgain) {
    Rules(true, 0);
    ASSERT_TRUE(session.Connect(0, 23, 1));
    device.Receive(kOutdoor2);
    session.Tick();
    EXPECT_EQ(sink.readings, 1);

    // The adapter is pulled: its node is gone too, so opening fails until it returns.
    device.gone = true;
    device.openError = LineError::CannotOpen;
    device.ClearRecord();
    session.Tick();
    EXPECT_EQ(session.State(), ReceiverSession::Link::Lost);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_TRUE(device.Writes().empty()) << "nothing is sent to a gone line";
    EXPECT_EQ(Texts(), std::vector<std::string>{
                           "Fehler beim Lesen der Schnittstelle: Der Empfänger ist nicht "
                           "erreichbar. Die Schnittstelle wird nach 1 s wieder geöffnet, danach "
                           "in wachsenden Abständen bis zu 30 s."});

    // The ticks may pause until the next attempt.
    EXPECT_EQ(session.IdleMs(), 1000);
    wall.AdvanceMs(400);
    EXPECT_EQ(session.IdleMs(), 600);
    wall.AdvanceMs(-400);

    // Each retry comes after its pause and not a tick before; the pauses double up to 30 s.
    int64_t lost = 0;
    for (const int64_t pause : {1000, 2000, 4000, 8000, 16000, 30000, 30000}) {
        SCOPED_TRACE(pause);
        const int before = Opens();
        After(pause - 1);
        EXPECT_EQ(Opens(), before);
        After(1);
        EXPECT_EQ(Opens(), before + 1);
        lost += pause;
    }
    EXPECT_EQ(messages.messages.size(), 1u) << "the attempts are quiet";
    EXPECT_EQ(device.CallsOf(LineCall::Kind::Open).back().name, "COM1");

    // Back: opened, the multiplexer addressed, the receiver started, and that is said.
    device.openError = LineError::None;
    device.ClearRecord();
    After(30000);
    lost += 30000;
    EXPECT_EQ(session.State(), ReceiverSession::Link::Connected);
    EXPECT_EQ(session.IdleMs(), 0);
    EXPECT_EQ(testing::DecodeAddressWords(device.changes),
              (Words{AddressWord(2), AddressWord(3 | 8)}));
    EXPECT_EQ(device.Writes(), std::vector<Bytes>{kStartFrame});
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(lost, 121000);
    EXPECT_EQ(Texts()[1],
              "Tavrolin: Der Empfänger ist wieder verbunden; die Verbindung war 2 min 1 s "
              "unterbrochen.");
    device.Receive(kOutdoor2);
    session.Tick();
    EXPECT_EQ(sink.readings, 2);

    // A new loss starts the pauses from 1 s again.
    device.gone = true;
    session.Tick();
    After(1000);
    EXPECT_EQ(session.State(), ReceiverSession::Link::Connected);
    EXPECT_EQ(Texts().back(),
              "Tavrolin: Der Empfänger ist wieder verbunden; die Verbindung war 1 s "
              "unterbrochen.");
}

TEST_F(ReceiverSessionTest, PassingLineErrorsAreNoLossButASecondOfFailuresIs) {
    struct Case {
        bool reconnect;
        const char* said;
    };
    for (const Case& c :
         {Case{true, "Der Empfänger ist nicht erreichbar."},
          Case{false,
               "Der Empfänger ist nicht mehr erreichbar: die Schnittstelle meldet seit einer "
               "Sekunde nur Fehler."}}) {
        SCOPED_TRACE(c.reconnect);
        messages.messages.clear();
        Rules(c.reconnect, 0);
        ASSERT_TRUE(session.Connect(0, 0, 0));
        device.RaiseFault(kFramingFault | kParityFault);
        session.Tick();
        device.failRead = true;
        for (int tick = 1; tick < ReceiverSession::kLostAfterFailedPolls; ++tick) {
            session.Tick();
        }
        EXPECT_EQ(session.State(), ReceiverSession::Link::Connected);
        EXPECT_TRUE(messages.messages.empty());
        session.Tick();
        EXPECT_EQ(session.State(), ReceiverSession::Link::Lost);
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_TRUE(messages.messages[0].text.starts_with(c.said)) << messages.messages[0].text;
        device.failRead = false;
        // Without reconnecting, nothing is tried again: the caller ends.
        const int opens = Opens();
        After(60000);
        EXPECT_EQ(Opens() > opens, c.reconnect);
        session.Disconnect();
    }
}

TEST_F(ReceiverSessionTest, ASilentReceiverIsStartedAnewOncePerSilenceTime) {
    Rules(true, 60000);
    ASSERT_TRUE(session.Connect(0, 5, 1));
    // Bytes, even noise, keep it alive.
    for (int i = 0; i < 3; ++i) {
        After(50000);
        device.Receive({0x55});
        session.Tick();
    }
    device.ClearRecord();
    After(59999);
    EXPECT_TRUE(device.Writes().empty());
    After(1);
    EXPECT_EQ(device.Writes(), (std::vector<Bytes>{kStopFrame, kStartFrame}));
    EXPECT_EQ(testing::DecodeAddressWords(device.changes), Words{AddressWord(5)});
    EXPECT_TRUE(device.IsOpen()) << "the port stays open";
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(Texts()[0],
              "Tavrolin: Vom Empfänger kam seit 1 min nichts. Stoppbefehl, Multiplexer-Adresse "
              "und Startbefehl werden neu gesendet.");

    // Not again within the time; again after it.
    device.ClearRecord();
    After(59999);
    EXPECT_TRUE(device.Writes().empty());
    After(1);
    EXPECT_EQ(device.Writes().size(), 2u);
    EXPECT_EQ(messages.messages.size(), 2u);

    // The receiver answers at last: said once.
    device.Receive(kOutdoor2);
    session.Tick();
    device.Receive(kOutdoor2);
    session.Tick();
    ASSERT_EQ(messages.messages.size(), 3u);
    EXPECT_EQ(Texts()[2], "Tavrolin: Der Empfänger sendet wieder.");

    // 0 turns the rule off.
    Rules(true, 0);
    device.ClearRecord();
    After(86400000);
    EXPECT_TRUE(device.Writes().empty());
}

}  // namespace
}  // namespace tavrolin
