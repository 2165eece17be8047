// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "FakeClocks.h"
#include "FakeSerialLine.h"
#include "Presenting.h"
#include "RecordingMessageSink.h"
#include "decode/PresentReport.h"
#include "mux/MultiplexerLine.h"
#include "platform/posix/PosixFileSystem.h"
#include "serial/ReceiverPort.h"

namespace tavrolin {
namespace {

using testing::LineCall;
using Bytes = std::vector<uint8_t>;
using Kind = LineCall::Kind;

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
    // Connected and started.
    void Connect() {
        device.onWrite = [this](std::span<const uint8_t>) { device.Receive({0x02, 0x06, 0x03}); };
        ASSERT_TRUE(port.Connect(0, 0, false));
        port.SendFrame(kStartCommand);
        device.onWrite = nullptr;
        device.ClearRecord();
    }
    LinkResult Poll() {
        testing::Presenter sink(&list, file, mask);
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

    testing::FakeSerialLine device;
    testing::FakeCoarseClock coarse;
    MultiplexerLine mux{coarse};
    testing::RecordingMessageSink messages;
    testing::FakeWallClock clock;
    ReceiverPort port{device, mux, messages, clock, clock};
    PosixFileSystem fileSystem;
    ProtocolFile file{fileSystem};
    MemoryList list;
    RecordingMask mask = kAllRecordings;
};

TEST_F(PollTest, APollReadsWhatHasComeWithoutWaitingAndDecodesItInArrivalOrder) {
    EXPECT_EQ(Poll(), LinkResult::NotOpen);
    EXPECT_TRUE(device.calls.empty());

    // Right after the open, before any command: what is there is read.
    ASSERT_TRUE(port.Connect(0, 0, false));
    device.Receive(Concat({{0x55, 0x03, 0x7F}, Outdoor(1), {0x00, 0x41}, Outdoor(2), {0x03}}));
    device.ClearRecord();
    EXPECT_EQ(Poll(), LinkResult::Nothing);
    EXPECT_EQ(Addresses(), "12");
    EXPECT_EQ(Poll(), LinkResult::Nothing);
    std::vector<Kind> kinds;
    for (const LineCall& call : device.calls) {
        kinds.push_back(call.kind);
    }
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::Read, Kind::Read}));  // never a wait, a discard
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

// Every line the decoder hands on, however many there are (the list keeps 51).
class LineLog : public ReadingSink {
public:
    void Accept(const Reading& reading) override {
        char line[kReportLineCapacity];
        lines.emplace_back(line, FormatReportLine(reading, line));
    }
    std::vector<std::string> lines;
};

// A station's stream as it may come off the line: telegrams of every kind whose data bytes
// are often 0x02 or 0x03, between noise that is often STX, ETX or a short STX x ETX.
Bytes RandomStream(std::mt19937& random, int telegrams) {
    const auto byte = [&random] {
        const uint8_t b = static_cast<uint8_t>(random() & 0x7F);
        return b % 4 == 0 ? static_cast<uint8_t>(0x02 + (b >> 2) % 2) : b;
    };
    Bytes stream;
    for (int i = 0; i < telegrams; ++i) {
        for (int noise = static_cast<int>(random() % 4); noise > 0; --noise) {
            if (random() % 3 == 0) {
                stream.insert(stream.end(), {0x02, byte(), 0x03});
            } else {
                stream.push_back(byte());
            }
        }
        stream.push_back(0x02);
        stream.push_back(static_cast<uint8_t>((random() % 7) << 4 | (random() % 16)));
        for (int d = 0; d < 5; ++d) {
            stream.push_back(byte());
        }
        stream.push_back(0x03);
    }
    return stream;
}

TEST_F(PollTest, WhereTheReadsSplitTheStreamNeverChangesWhatIsDecoded) {
    // The same stream in one read and cut into reads anywhere gives the same records: two
    // reads at every offset, and many reads of random lengths (down to single bytes).
    std::mt19937 random(20261208);
    for (int round = 0; round < 20; ++round) {
        const Bytes stream = RandomStream(random, 30);
        LineLog whole;
        Bytes buffer = stream;
        port.ExtractTelegrams(buffer.data(), buffer.size(), whole);
        // Noise before a telegram can take its bytes into a record of its own, as it would
        // on any line; most telegrams come through.
        ASSERT_GE(whole.lines.size(), 20u);

        const auto inReads = [&](const std::vector<std::size_t>& cuts) {
            Connect();
            LineLog log;
            std::size_t from = 0;
            for (const std::size_t cut : cuts) {
                device.Receive(std::span(stream).subspan(from, cut - from));
                port.Poll(log);
                from = cut;
            }
            port.Disconnect();
            return log.lines;
        };
        for (std::size_t at = 0; at <= stream.size(); ++at) {
            ASSERT_EQ(inReads({at, stream.size()}), whole.lines)
                << "round " << round << ", cut at " << at;
        }
        std::vector<std::size_t> cuts;
        for (std::size_t at = 0; at < stream.size();) {
            at = std::min(stream.size(), at + 1 + random() % (random() % 2 == 0 ? 3 : 40));
            cuts.push_back(at);
        }
        ASSERT_EQ(inReads(cuts), whole.lines) << "round " << round;
    }
}

TEST_F(PollTest, KeptBytesAreDroppedOnLineErrorsAndReconnects) {
    Connect();
    const Bytes t = Outdoor(1);
    device.Receive(Bytes(t.begin(), t.begin() + 4));
    Poll();
    device.RaiseFault(kFramingFault);
    device.Receive(Bytes(t.begin() + 4, t.end()));
    EXPECT_EQ(Poll(), LinkResult::FramingError);
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
    ASSERT_EQ(device.CallsOf(Kind::Read).back().bytes.size(), 500u);
    EXPECT_EQ(list.Lines().size(), 51u);  // the list keeps its newest 51 of the first 62
    Poll();
    EXPECT_EQ(device.CallsOf(Kind::Read).back().bytes.size(), 100u);
    std::string expected;
    for (int i = 75 - 51; i < 75; ++i) {
        expected += static_cast<char>('0' + i % 8);
    }
    EXPECT_EQ(Addresses(), expected);
}

TEST_F(PollTest, LineErrorsDropTheReadAndAreClassified) {
    Connect();
    struct Case {
        uint8_t faults;
        LinkResult result;
    };
    for (const Case c :
         {Case{kParityFault, LinkResult::ParityError},
          Case{kParityFault | kFramingFault, LinkResult::ParityError},
          Case{kFramingFault | kOverrunFault, LinkResult::FramingError},
          Case{kOverrunFault, LinkResult::Overrun}, Case{kOtherFault, LinkResult::Failed}}) {
        device.Receive(Outdoor(1));
        device.RaiseFault(c.faults);
        EXPECT_EQ(Poll(), c.result) << int{c.faults};
    }
    EXPECT_TRUE(list.Lines().empty());

    device.failRead = true;
    device.Receive(Outdoor(1));
    EXPECT_EQ(Poll(), LinkResult::Failed);
}

}  // namespace
}  // namespace tavrolin
