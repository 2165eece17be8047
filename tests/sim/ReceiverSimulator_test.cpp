// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/ReceiverSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "TelegramFields.h"

namespace tavrolin::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using testing::ReadTelegram;

const Bytes kStart = {0x01, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x04};
const Bytes kStop = {0x01, 0xFE, 0, 0, 0, 0, 0, 0x81, 0x04};
const Bytes kAckFrame = {0x02, 0x06, 0x03};
const Bytes kNakFrame = {0x02, 0x15, 0x03};

struct Sent {
    SimTime at;
    Output out;
};

// The simulator on a virtual clock. The loop does what the program's poll loop does: take
// all output that is due, then sleep until the next wake-up, which comes rounded up to the
// millisecond and a little late, as poll(2) does.
class VirtualLine {
public:
    explicit VirtualLine(SimOptions options, std::string replay = {})
        : sim(options, std::move(replay)) {}

    void RunUntil(SimTime until) {
        for (;;) {
            const std::size_t before = sent.size();
            while (std::optional<Output> out = sim.TakeOutput(now)) {
                sent.push_back({now, std::move(*out)});
            }
            const std::optional<SimTime> wake = sim.NextWakeup();
            if (wake && *wake <= now && sent.size() == before) {
                ADD_FAILURE() << "wakes up at " << wake->count() << " but has nothing to send";
                return;
            }
            if (!wake) {
                now = std::max(now, until);
                return;
            }
            const SimTime rounded = SimTime((wake->count() + 999) / 1000 * 1000);
            const SimTime late = SimTime(m_wakes++ * 37 % 11 * 100);
            const SimTime next = std::max(now + 1us, rounded + late);
            if (next > until) {
                now = std::max(now, until);
                return;
            }
            now = next;
        }
    }

    std::vector<CommandEvent> Command(const Bytes& frame) { return sim.Receive(frame, now); }

    // Everything sent from index `from` on.
    std::vector<Sent> From(std::size_t from) const {
        return {sent.begin() + static_cast<std::ptrdiff_t>(std::min(from, sent.size())),
                sent.end()};
    }
    int TelegramsFrom(std::size_t from) const {
        int n = 0;
        for (const Sent& s : From(from)) {
            n += s.out.telegrams;
        }
        return n;
    }

    ReceiverSimulator sim;
    SimTime now{0};
    std::vector<Sent> sent;

private:
    int64_t m_wakes = 0;
};

SimOptions Speed(double speed) {
    SimOptions o;
    o.speed = speed;
    return o;
}

TEST(ReceiverSimulator, StartIsAcknowledgedTelegramsFollowAndStopEndsThem) {
    VirtualLine line(Speed(60));
    line.RunUntil(1s);
    EXPECT_TRUE(line.sent.empty()) << "nothing before the start command";
    EXPECT_FALSE(line.sim.NextWakeup()) << "an idle receiver has no timer running";

    line.Command(kStart);
    line.RunUntil(3s);
    ASSERT_GE(line.sent.size(), 15u);
    EXPECT_EQ(line.sent[0].out.bytes, kAckFrame);
    EXPECT_TRUE(line.sent[0].out.answer);
    EXPECT_EQ(line.sent[0].at, 1s);
    // The answer arrives on its own.
    EXPECT_GE(line.sent[1].at, 1s + ReceiverSimulator::kAnswerQuiet);

    std::set<int> kinds;
    std::set<int> specials;
    for (const Sent& s : line.From(1)) {
        ASSERT_EQ(s.out.bytes.size(), 8u);
        ASSERT_EQ(s.out.telegrams, 1);
        ASSERT_EQ(s.out.bytes.front(), 0x02);
        ASSERT_EQ(s.out.bytes.back(), 0x03);
        const auto f = ReadTelegram(s.out.bytes);
        if (s.at < 1s + ReceiverSimulator::kAnswerQuiet + 150ms) {
            kinds.insert(f.kind);
            if (f.kind == 7) {
                specials.insert(f.lowNibble);
            }
        }
    }
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7}))
        << "within 0.15 s of the quiet time at speed 60";
    EXPECT_EQ(specials, (std::set<int>{0, 1, 15}));

    line.Command(kStop);
    const std::size_t atStop = line.sent.size();
    line.RunUntil(100s);
    ASSERT_EQ(line.sent.size(), atStop + 1) << "the answer and nothing after it";
    EXPECT_EQ(line.sent.back().out.bytes, kAckFrame);
    EXPECT_FALSE(line.sim.NextWakeup());
    EXPECT_FALSE(line.sim.Started());

    const SimCounters& c = line.sim.Counters();
    EXPECT_EQ(c.commands, 2u);
    EXPECT_EQ(c.starts, 1u);
    EXPECT_EQ(c.stops, 1u);
    EXPECT_EQ(c.telegrams, static_cast<uint64_t>(line.TelegramsFrom(0)));
}

TEST(ReceiverSimulator, SilentCommandsComeFirstThenRefusedOnesThenAnswers) {
    struct Row {
        int silent;
        int nak;
        std::vector<Answer> answers;  // to three start commands in a row
    };
    const Row table[] = {
        {0, 0, {Answer::Ack, Answer::Ack, Answer::Ack}},
        {1, 0, {Answer::None, Answer::Ack, Answer::Ack}},
        {0, 1, {Answer::Nak, Answer::Ack, Answer::Ack}},
        {1, 1, {Answer::None, Answer::Nak, Answer::Ack}},
        {0, 2, {Answer::Nak, Answer::Nak, Answer::Ack}},
        {2, 1, {Answer::None, Answer::None, Answer::Nak}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE("silent " + std::to_string(row.silent) + ", nak " + std::to_string(row.nak));
        SimOptions o = Speed(60);
        o.silent = row.silent;
        o.nak = row.nak;
        VirtualLine line(o);
        bool started = false;
        for (const Answer expected : row.answers) {
            const std::size_t from = line.sent.size();
            const auto events = line.Command(kStart);
            ASSERT_EQ(events.size(), 1u);
            EXPECT_EQ(events[0].answer, expected);
            line.RunUntil(line.now + 500ms);
            const std::vector<Sent> after = line.From(from);
            if (expected == Answer::None) {
                // Not heard: no answer; whatever flows was started before.
                EXPECT_EQ(line.TelegramsFrom(from) > 0, started);
                ASSERT_TRUE(after.empty() || !after[0].out.answer);
                continue;
            }
            ASSERT_FALSE(after.empty());
            EXPECT_EQ(after[0].out.bytes, expected == Answer::Ack ? kAckFrame : kNakFrame);
            started = started || expected == Answer::Ack;
            // A refused start starts nothing.
            EXPECT_EQ(line.TelegramsFrom(from) > 0, started);
        }
    }
}

TEST(ReceiverSimulator, UnknownCommandsAreRefusedAndBadFramesIgnored) {
    VirtualLine line(Speed(1));
    // A well-formed command the receiver does not know: payload 01 04 10.
    auto events = line.Command({0x01, 0x10, 0x11, 0x10, 0x14, 0x10, 0x20, 0xEA, 0x04});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].command, Command::Other);
    EXPECT_EQ(events[0].answer, Answer::Nak);
    // A start command with a wrong checksum is no command at all.
    events = line.Command({0x01, 0xFF, 0, 0, 0, 0, 0, 0x81, 0x04});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].command);
    EXPECT_EQ(events[0].frame.status, FrameStatus::BadChecksum);
    line.RunUntil(10s);
    ASSERT_EQ(line.sent.size(), 1u);
    EXPECT_EQ(line.sent[0].out.bytes, kNakFrame);
    EXPECT_FALSE(line.sim.Started());

    const SimCounters& c = line.sim.Counters();
    EXPECT_EQ(c.commands, 1u);
    EXPECT_EQ(c.others, 1u);
    EXPECT_EQ(c.badFrames, 1u);
    EXPECT_EQ(SummaryLine(c),
              "tavrolin-sim: 0 Telegramme gesendet, 1 Befehl empfangen (0 Starts, 0 Stopps, "
              "1 anderer), 1 fehlerhafter Rahmen übergangen");
}

TEST(ReceiverSimulator, SummaryLine) {
    SimCounters c;
    c.telegrams = 1234;
    c.commands = 2;
    c.starts = 1;
    c.stops = 1;
    EXPECT_EQ(SummaryLine(c),
              "tavrolin-sim: 1234 Telegramme gesendet, 2 Befehle empfangen (1 Start, 1 Stopp)");
    c.telegrams = 1;
    EXPECT_EQ(SummaryLine(c),
              "tavrolin-sim: 1 Telegramm gesendet, 2 Befehle empfangen (1 Start, 1 Stopp)");
}

TEST(ReceiverSimulator, CountEndsTheTelegramsButNotTheAnswers) {
    SimOptions o = Speed(60);
    o.count = 5;
    VirtualLine line(o);
    line.Command(kStart);
    line.RunUntil(20s);
    EXPECT_EQ(line.TelegramsFrom(0), 5);
    EXPECT_FALSE(line.sim.NextWakeup());
    line.Command(kStop);
    line.Command(kStart);
    line.RunUntil(40s);
    EXPECT_EQ(line.TelegramsFrom(0), 5);
    ASSERT_EQ(line.sent.size(), 8u);
    EXPECT_EQ(line.sent[6].out.bytes, kAckFrame);
    EXPECT_EQ(line.sent[7].out.bytes, kAckFrame);
}

// Plays the writes onto a line of 1600 bytes a second and checks that the simulator never
// writes more than its lead ahead of it.
void ExpectLineNeverOutrun(const std::vector<Sent>& sent) {
    SimTime lineFree{0};
    for (const Sent& s : sent) {
        ASSERT_LE(lineFree - s.at, ReceiverSimulator::kLineLead) << "at " << s.at.count();
        lineFree = std::max(lineFree, s.at) +
                   ReceiverSimulator::kByteTime * static_cast<int64_t>(s.out.bytes.size());
    }
}

TEST(ReceiverSimulator, LoadModeKeepsItsRateUpToWhatTheLineCarries) {
    struct Row {
        int rate;
        int low;  // telegrams in the 10 s after the quiet gap
        int high;
    };
    // 200 a second fill the line exactly; 1000 a second cannot be had.
    const Row table[] = {{10, 100, 101}, {200, 1995, 2001}, {1000, 1995, 2003}};
    for (const Row& row : table) {
        SCOPED_TRACE(row.rate);
        SimOptions o;
        o.rate = row.rate;
        VirtualLine line(o);
        line.Command(kStart);
        const SimTime begin = ReceiverSimulator::kAnswerQuiet + 3 * ReceiverSimulator::kByteTime;
        line.RunUntil(begin + 10s);
        const int telegrams = line.TelegramsFrom(0);
        EXPECT_GE(telegrams, row.low);
        EXPECT_LE(telegrams, row.high);
        ExpectLineNeverOutrun(line.sent);
        // Round-robin: every sensor of the station in turn.
        std::set<int> d0;
        for (std::size_t i = 1; i <= 13 && i < line.sent.size(); ++i) {
            d0.insert(line.sent[i].out.bytes[1]);
        }
        EXPECT_GE(d0.size(), 12u);
    }
}

TEST(ReceiverSimulator, SpeedDividesTheStationsPeriods) {
    // The wind sensor (D0 0x33) sends every 32 s of station time.
    const auto windGaps = [](double speed, SimTime until) {
        VirtualLine line(Speed(speed));
        line.Command(kStart);
        line.RunUntil(until);
        std::vector<SimTime> at;
        for (const Sent& s : line.sent) {
            if (s.out.telegrams == 1 && s.out.bytes[1] == 0x33) {
                at.push_back(s.at);
            }
        }
        return at;
    };
    const std::vector<SimTime> slow = windGaps(1, 400s);
    const std::vector<SimTime> fast = windGaps(10, 40s);
    ASSERT_GE(slow.size(), 10u);
    ASSERT_GE(fast.size(), 10u);
    const double slowPeriod = (slow[9] - slow[1]).count() / 8.0;
    const double fastPeriod = (fast[9] - fast[1]).count() / 8.0;
    EXPECT_NEAR(slowPeriod, 32e6, 1e6);
    EXPECT_NEAR(slowPeriod / fastPeriod, 10.0, 0.2);
    // The first round shrinks too: at speed 10 all of it within half a second.
    EXPECT_LT(fast[0], 500ms);
    EXPECT_GT(slow[0], 500ms);
}

TEST(ReceiverSimulator, NoiseGoesBetweenTelegramsAndNeverHoldsStx) {
    SimOptions o = Speed(600);
    o.noise = true;
    VirtualLine line(o);
    line.Command(kStart);
    line.RunUntil(60s);
    int withNoise = 0;
    int etxInNoise = 0;
    ASSERT_GE(line.sent.size(), 200u);
    for (const Sent& s : line.From(1)) {
        const Bytes& b = s.out.bytes;
        ASSERT_GE(b.size(), 8u);
        ASSERT_EQ(s.out.telegrams, 1);
        const Bytes telegram(b.end() - 8, b.end());
        EXPECT_EQ(telegram.front(), 0x02);
        EXPECT_EQ(telegram.back(), 0x03);
        const Bytes noise(b.begin(), b.end() - 8);
        EXPECT_EQ(std::count(noise.begin(), noise.end(), 0x02), 0);
        withNoise += noise.empty() ? 0 : 1;
        etxInNoise += static_cast<int>(std::count(noise.begin(), noise.end(), 0x03));
    }
    EXPECT_GT(withNoise, 50);
    EXPECT_GT(etxInNoise, 20);
    ExpectLineNeverOutrun(line.sent);
}

TEST(ReceiverSimulator, SplitSendsEveryTelegramInTwoWritesAndAnswersWait) {
    SimOptions o = Speed(60);
    o.split = true;
    VirtualLine line(o);
    line.Command(kStart);
    line.RunUntil(2s);
    const std::vector<Sent> sent = line.From(1);
    ASSERT_GE(sent.size(), 20u);
    ASSERT_EQ(sent.size() % 2, 0u);
    for (std::size_t i = 0; i + 1 < sent.size(); i += 2) {
        const Sent& head = sent[i];
        const Sent& tail = sent[i + 1];
        EXPECT_EQ(head.out.telegrams, 0);
        EXPECT_EQ(tail.out.telegrams, 1);
        EXPECT_FALSE(head.out.bytes.empty());
        EXPECT_FALSE(tail.out.bytes.empty());
        EXPECT_GE(tail.at - head.at, ReceiverSimulator::kSplitGap);
        Bytes whole = head.out.bytes;
        whole.insert(whole.end(), tail.out.bytes.begin(), tail.out.bytes.end());
        ASSERT_EQ(whole.size(), 8u);
        EXPECT_EQ(whole.front(), 0x02);
        EXPECT_EQ(whole.back(), 0x03);
    }

    // A stop that comes while half a telegram is out is answered after the other half.
    for (;;) {
        const std::optional<SimTime> wake = line.sim.NextWakeup();
        ASSERT_TRUE(wake);
        line.RunUntil(*wake + 1ms);
        if (line.sent.back().out.telegrams == 0) {
            break;
        }
    }
    const std::size_t atStop = line.sent.size();
    line.Command(kStop);
    line.RunUntil(line.now + 1s);
    const std::vector<Sent> after = line.From(atStop);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].out.telegrams, 1);
    EXPECT_EQ(after[1].out.bytes, kAckFrame);
}

TEST(ReceiverSimulator, NothingIsWrittenWhileNobodyListensAndNothingStaleAfterwards) {
    SimOptions o;
    o.rate = 10;
    VirtualLine line(o);
    line.Command(kStart);
    line.RunUntil(ReceiverSimulator::kAnswerQuiet + 950ms);
    const int before = line.TelegramsFrom(0);
    EXPECT_NEAR(before, 10, 1);

    line.sim.SetListening(false, line.now);
    EXPECT_FALSE(line.sim.NextWakeup()) << "no timer while nobody listens";
    // A command from a program that has already gone gets no answer.
    line.Command(kStart);
    line.RunUntil(61s);
    EXPECT_EQ(line.TelegramsFrom(0), before);

    line.sim.SetListening(true, line.now);
    const std::size_t from = line.sent.size();
    line.RunUntil(62s);
    // The minute without listener is lost, not sent in a rush now.
    EXPECT_NEAR(line.TelegramsFrom(from), 10, 1);
    for (const Sent& s : line.From(from)) {
        EXPECT_FALSE(s.out.answer);
    }
}

TEST(ReceiverSimulator, ReplaySendsTheCaptureOnceInPiecesEndingAtEtx) {
    const Bytes capture = {0x02, 0x11, 0x00, 0x7B, 0x43, 0x00, 0x00, 0x03,  // telegram
                           0x55, 0x03,                                      // noise
                           0x02, 0x70, 0,    0,    0,    0,    0,    0x03,  // telegram
                           0x02, 0x06, 0x03,                                // an answer
                           0x02, 0x33, 0x00};                               // cut off
    SimOptions o;
    o.replayFile = "capture";
    o.rate = 4;
    o.split = true;  // does not apply to a capture
    o.noise = true;
    VirtualLine line(o, std::string(capture.begin(), capture.end()));
    line.Command(kStart);
    line.RunUntil(ReceiverSimulator::kAnswerQuiet + 550ms);
    line.Command(kStop);  // pauses
    const std::size_t atStop = line.sent.size();
    line.RunUntil(10s);
    ASSERT_EQ(line.sent.size(), atStop + 1);
    line.Command(kStart);
    line.RunUntil(20s);
    EXPECT_FALSE(line.sim.NextWakeup()) << "the capture has run dry";

    std::vector<Bytes> pieces;
    Bytes all;
    for (const Sent& s : line.sent) {
        if (!s.out.answer) {
            pieces.push_back(s.out.bytes);
            all.insert(all.end(), s.out.bytes.begin(), s.out.bytes.end());
        }
    }
    EXPECT_EQ(all, capture);
    ASSERT_EQ(pieces.size(), 5u);
    EXPECT_EQ(pieces[1], (Bytes{0x55, 0x03}));
    EXPECT_EQ(line.sim.Counters().telegrams, 2u);
    // Four pieces a second.
    std::vector<SimTime> at;
    for (const Sent& s : line.sent) {
        if (!s.out.answer && s.at < 10s) {
            at.push_back(s.at);
        }
    }
    ASSERT_EQ(at.size(), 3u);
    EXPECT_GE(at[1] - at[0], 247ms);
    EXPECT_LE(at[1] - at[0], 253ms);
}

TEST(ReceiverSimulator, SplitCaptureCutsBehindEveryEtx) {
    const Bytes capture = {0x03, 0x02, 0x01, 0x03, 0x03, 0x07};
    const std::vector<Bytes> pieces = SplitCapture(capture);
    EXPECT_EQ(pieces, (std::vector<Bytes>{{0x03}, {0x02, 0x01, 0x03}, {0x03}, {0x07}}));
    EXPECT_TRUE(SplitCapture({}).empty());
}

TEST(ReceiverSimulator, ASeedGivesTheSameLineTraffic) {
    const auto traffic = [](uint64_t seed) {
        SimOptions o = Speed(60);
        o.seed = seed;
        o.noise = true;
        o.split = true;
        VirtualLine line(o);
        line.Command(kStart);
        line.RunUntil(30s);
        std::vector<std::pair<int64_t, Bytes>> t;
        for (const Sent& s : line.sent) {
            t.emplace_back(s.at.count(), s.out.bytes);
        }
        return t;
    };
    EXPECT_EQ(traffic(9), traffic(9));
    EXPECT_NE(traffic(9), traffic(10));
}

}  // namespace
}  // namespace tavrolin::sim
