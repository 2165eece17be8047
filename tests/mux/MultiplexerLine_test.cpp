// SPDX-License-Identifier: GPL-3.0-or-later
#include "mux/MultiplexerLine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "AddressWordDecoder.h"
#include "FakeClocks.h"
#include "FakeSerialLine.h"

namespace tavrolin {
namespace {

using testing::DecodeAddressWords;
using testing::FakeCoarseClock;
using testing::FakeSerialLine;
using testing::LineChange;
using Words = std::vector<uint16_t>;

// A fake line that also notes how far the delay counter had run at each line change.
class ProbedDevice : public FakeSerialLine {
public:
    bool SetDtr(bool high) override {
        Probe();
        return FakeSerialLine::SetDtr(high);
    }
    bool SetRts(bool high) override {
        Probe();
        return FakeSerialLine::SetRts(high);
    }
    void Probe() {
        sinkAtEscape.push_back(uint32_t{g_delaySink});
        if (beforeEscape) {
            beforeEscape(sinkAtEscape.size());
        }
    }
    std::vector<uint32_t> sinkAtEscape;
    std::function<void(std::size_t)> beforeEscape;  // with the 1-based number of the change
};

// A fake coarse clock that notes each value read with the number of line changes made so far.
class ProbedClock : public FakeCoarseClock {
public:
    ProbedClock(const ProbedDevice& device, int readsPerStep)
        : FakeCoarseClock(readsPerStep), m_device(device) {}
    int64_t ReadMs() override {
        const int64_t now = FakeCoarseClock::ReadMs();
        log.emplace_back(m_device.sinkAtEscape.size(), now);
        return now;
    }
    // How often the value read changed while exactly `escapes` line changes had been made.
    int ChangesAt(std::size_t escapes) const {
        int changes = 0;
        const int64_t* previous = nullptr;
        for (const auto& [count, value] : log) {
            if (count == escapes) {
                if (previous != nullptr && *previous != value) {
                    ++changes;
                }
                previous = &value;
            }
        }
        return changes;
    }
    std::vector<std::pair<std::size_t, int64_t>> log;

private:
    const ProbedDevice& m_device;
};

class MultiplexerSignalling : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(device.Open(1), LineError::None); }

    Words SentFor(uint8_t address) {
        device.ClearRecord();
        mux.SetAddress(address);
        mux.SendAddress(device);
        return DecodeAddressWords(device.changes).value_or(Words{0xDEAD});
    }

    ProbedDevice device;
    ProbedClock clock{device, 10};
    MultiplexerLine mux{clock};
};

// Line changes as letters: d/D DTR cleared/set, r/R RTS cleared/set.
std::string Letters(const std::vector<LineChange>& changes) {
    std::string out;
    for (const LineChange& change : changes) {
        const char letter = change.line == LineChange::Line::Dtr ? 'd' : 'r';
        out += change.high ? static_cast<char>(letter - 'a' + 'A') : letter;
    }
    return out;
}

TEST(AddressWord, EncodesEveryStageValue) {
    const std::vector<std::pair<uint8_t, uint16_t>> table = {
        {0, 0x0F0F},  {1, 0x6969},  {2, 0xA55A},  {3, 0x2D4B},  {4, 0xC33C},
        {5, 0x4B2D},  {6, 0x871E},  {9, 0x9696},  {10, 0x5AA5}, {11, 0xD2B4},
        {12, 0x3CC3}, {13, 0xB4D2}, {14, 0x78E1},
    };
    for (const auto& [value, word] : table) {
        EXPECT_EQ(AddressWord(value), word) << "stage value " << int{value};
    }
    // A stage-2 word is the complement of the stage-1 word of the same port.
    for (uint8_t port = 1; port <= 6; ++port) {
        EXPECT_EQ(AddressWord(port | 8), static_cast<uint16_t>(~AddressWord(port)))
            << "port " << int{port};
    }
    // Values beyond the table are not rejected; only the low four bits of the code count.
    EXPECT_EQ(AddressWord(7), 0xE178);
    EXPECT_EQ(AddressWord(0x17), AddressWord(7));
    EXPECT_EQ(AddressWord(0xF9), AddressWord(9));
}

TEST_F(MultiplexerSignalling, EveryPortIsSelectedByItsWordOnTheLines) {
    // Stage 1 alone, then stage-1 port 1 with each stage-2 port.
    const std::vector<std::pair<uint8_t, Words>> table = {
        {0, {0x0F0F}},          {1, {0x6969}},          {2, {0xA55A}},
        {3, {0x2D4B}},          {4, {0xC33C}},          {5, {0x4B2D}},
        {6, {0x871E}},          {11, {0x6969, 0x9696}}, {12, {0x6969, 0x5AA5}},
        {13, {0x6969, 0xD2B4}}, {14, {0x6969, 0x3CC3}}, {15, {0x6969, 0xB4D2}},
        {16, {0x6969, 0x78E1}},
    };
    for (const auto& [address, words] : table) {
        EXPECT_EQ(SentFor(address), words) << "address " << int{address};
        EXPECT_FALSE(device.dtr || device.rts) << "lines left up after address " << int{address};
    }
}

TEST_F(MultiplexerSignalling, AddressesSplitIntoStagePorts) {
    struct Row {
        uint8_t address;
        int stage1;
        int stage2;
        Words words;
    };
    const std::vector<Row> table = {
        {0, 0, 0, {0x0F0F}},           // the reset word: port 0 is not coded as 7
        {4, 4, 0, {0xC33C}},           //
        {7, 6, 0, {0x871E}},           // 7 folds to 6
        {8, 0, 0, {0x0F0F}},           // 8 AND 7 is 0: nothing selected
        {9, 1, 0, {0x6969}},           //
        {30, 3, 0, {0x2D4B}},          //
        {35, 3, 5, {0x2D4B, 0xB4D2}},  //
        {48, 4, 0, {0xC33C}},          //
        {59, 5, 1, {0x4B2D, 0x9696}},  //
        {66, 6, 6, {0x871E, 0x78E1}},  //
        {77, 6, 6, {0x871E, 0x78E1}},  //
        {80, 0, 0, {0x0F0F}},          // tens 8 folds to 0: the units digit is stage 1
        {255, 1, 5, {0x6969, 0xB4D2}},
    };
    for (const Row& row : table) {
        EXPECT_EQ(SentFor(row.address), row.words) << "address " << int{row.address};
        EXPECT_EQ(mux.Stage1Port(), row.stage1) << "address " << int{row.address};
        EXPECT_EQ(mux.Stage2Port(), row.stage2) << "address " << int{row.address};
    }
}

TEST_F(MultiplexerSignalling, OneWordIsFiftySevenLineChangesWithFiftyFiveDelays) {
    mux.SetAddress(30);
    mux.SendAddress(device);

    // The bits of 0x2D4B as RTS calls, bit 0 first: C = RTS cleared (a 1), S = set (a 0).
    const std::string bits = "CCSCSSCSCSCCSCSS";
    std::string expected = "drDR";
    for (const char bit : bits) {
        expected += bit == 'C' ? "drD" : "dRD";
    }
    expected += "dRDrd";
    ASSERT_EQ(expected.size(), 57u);
    EXPECT_EQ(Letters(device.changes), expected);
    EXPECT_FALSE(device.dtr);
    EXPECT_FALSE(device.rts);

    // A delay after every change but the first and the last, none after the word.
    const uint32_t count = mux.DelayCount();
    ASSERT_EQ(device.sinkAtEscape.size(), 57u);
    EXPECT_EQ(device.sinkAtEscape[1] - device.sinkAtEscape[0], 0u);
    for (std::size_t i = 2; i < 57; ++i) {
        EXPECT_EQ(device.sinkAtEscape[i] - device.sinkAtEscape[i - 1], count) << "change " << i;
    }
    EXPECT_EQ(g_delaySink, device.sinkAtEscape[56]);
}

TEST_F(MultiplexerSignalling, CalibrationCountsTheReadsWithinOneClockStep) {
    // Synchronise to a step, take the reference, count the further equal reads: the step's
    // reads minus the one that saw the change and the reference itself, times 20.
    for (const int readsPerStep : {3, 10, 57, 200}) {
        clock.SetReadsPerStep(readsPerStep);
        mux.SendPortValue(4, device);
        EXPECT_EQ(mux.DelayCount(), 20u * static_cast<uint32_t>(readsPerStep - 2))
            << readsPerStep << " reads per step";
    }
}

TEST_F(MultiplexerSignalling, ZeroCountGivesEmptyDelaysButTheLinesStillRest) {
    for (const int readsPerStep : {1, 2}) {
        clock.SetReadsPerStep(readsPerStep);
        device.ClearRecord();
        device.sinkAtEscape.clear();
        clock.log.clear();
        const uint32_t sinkBefore = g_delaySink;

        mux.SetAddress(35);
        mux.SendAddress(device);

        EXPECT_EQ(mux.DelayCount(), 0u) << readsPerStep << " reads per step";
        EXPECT_EQ(g_delaySink, sinkBefore);
        EXPECT_EQ(device.changes.size(), 114u);
        EXPECT_GE(clock.ChangesAt(114), 2);  // the rest after the last word
        EXPECT_EQ(DecodeAddressWords(device.changes).value_or(Words{}), (Words{0x2D4B, 0xB4D2}));
    }
}

TEST_F(MultiplexerSignalling, LinesRestTwoClockChangesAfterEachWord) {
    mux.SetAddress(4);
    mux.SendAddress(device);
    ASSERT_EQ(device.sinkAtEscape.size(), 57u);
    EXPECT_EQ(clock.ChangesAt(57), 2);
    ASSERT_FALSE(clock.log.empty());
    EXPECT_EQ(clock.log.back().first, 57u);  // the word ends with the rest

    // Between two words: the rest of the first (two changes) and the calibration of the
    // second (one change to synchronise, one to end the count).
    clock.log.clear();
    device.sinkAtEscape.clear();
    mux.SetAddress(35);
    mux.SendAddress(device);
    EXPECT_EQ(clock.ChangesAt(57), 4);
    EXPECT_EQ(clock.ChangesAt(114), 2);
}

TEST_F(MultiplexerSignalling, EveryWordCalibratesAnew) {
    // The clock slows down after the first word's delays: the second word counts again.
    device.beforeEscape = [this](std::size_t n) {
        if (n == 57) {
            clock.SetReadsPerStep(30);
        }
    };
    mux.SetAddress(35);
    mux.SendAddress(device);
    ASSERT_EQ(device.sinkAtEscape.size(), 114u);
    EXPECT_EQ(device.sinkAtEscape[3] - device.sinkAtEscape[2], 20u * 8);
    EXPECT_EQ(device.sinkAtEscape[57 + 3] - device.sinkAtEscape[57 + 2], 20u * 28);
    EXPECT_EQ(mux.DelayCount(), 20u * 28);
}

TEST_F(MultiplexerSignalling, AFailedLineChangeDoesNotStopTheSequence) {
    device.failModemLines = true;
    const uint32_t sinkBefore = g_delaySink;
    mux.SetAddress(35);
    mux.SendAddress(device);

    EXPECT_EQ(device.changes.size(), 114u);
    EXPECT_EQ(DecodeAddressWords(device.changes).value_or(Words{}), (Words{0x2D4B, 0xB4D2}));
    EXPECT_EQ(g_delaySink - sinkBefore, 2u * 55u * mux.DelayCount());
    EXPECT_EQ(clock.ChangesAt(114), 2);
}

}  // namespace
}  // namespace tavrolin
