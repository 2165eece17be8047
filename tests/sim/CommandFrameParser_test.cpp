// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/CommandFrameParser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/SimRandom.h"

namespace tavrolin::sim {
namespace {

using Bytes = std::vector<uint8_t>;

std::vector<CommandFrame> Parse(const Bytes& bytes) {
    CommandFrameParser parser;
    return parser.Feed(bytes);
}

struct GoodFrame {
    const char* what;
    Bytes line;
    Bytes payload;
};

TEST(CommandFrameParser, TakesTheFramesOfTheReceiversCommandSet) {
    const GoodFrame table[] = {
        {"start command", {0x01, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x04}, {0xFF, 0, 0, 0, 0, 0}},
        {"stop command", {0x01, 0xFE, 0, 0, 0, 0, 0, 0x81, 0x04}, {0xFE, 0, 0, 0, 0, 0}},
        {"escaped SOH, EOT and DLE",
         {0x01, 0x10, 0x11, 0x10, 0x14, 0x10, 0x20, 0xEA, 0x04},
         {0x01, 0x04, 0x10}},
        {"empty payload", {0x01, 0xFF, 0x04}, {}},
        {"checksum of a 7F payload", {0x01, 0x7F, 0x80, 0x04}, {0x7F}},
    };
    for (const GoodFrame& row : table) {
        SCOPED_TRACE(row.what);
        const auto frames = Parse(row.line);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].status, FrameStatus::Ok);
        EXPECT_EQ(frames[0].payload, row.payload);
        EXPECT_EQ(frames[0].raw, row.line);
        EXPECT_EQ(CommandChecksum(row.payload), row.line[row.line.size() - 2]);
    }
}

TEST(CommandFrameParser, ReportsFramesTheReceiverWouldRefuse) {
    struct BadFrame {
        const char* what;
        Bytes line;
        FrameStatus status;
    };
    const BadFrame table[] = {
        {"checksum off by one", {0x01, 0xFF, 0, 0, 0, 0, 0, 0x81, 0x04}, FrameStatus::BadChecksum},
        {"checksum without bit 7",
         {0x01, 0xFF, 0, 0, 0, 0, 0, 0x00, 0x04},
         FrameStatus::NoChecksum},
        {"nothing between SOH and EOT", {0x01, 0x04}, FrameStatus::NoChecksum},
        // 10 8F would stand for 7F, which needs no escape: a sloppy encoder, even though
        // the checksum fits the unescaped byte.
        {"needless escape", {0x01, 0x10, 0x8F, 0x80, 0x04}, FrameStatus::BadEscape},
        {"DLE right before EOT", {0x01, 0xFF, 0x10, 0x04}, FrameStatus::BadEscape},
        {"escaped checksum position", {0x01, 0x7F, 0x10, 0x11, 0x04}, FrameStatus::NoChecksum},
    };
    for (const BadFrame& row : table) {
        SCOPED_TRACE(row.what);
        const auto frames = Parse(row.line);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].status, row.status);
    }
    // A bad checksum still shows what was meant, for the log.
    EXPECT_EQ(Parse(table[0].line)[0].payload, (Bytes{0xFF, 0, 0, 0, 0, 0}));
}

TEST(CommandFrameParser, IgnoresNoiseAroundAndBetweenFrames) {
    const Bytes line = {0x02, 0x06, 0x03, 0x55, 0x04, 0x10,                 // noise
                        0x01, 0xFF, 0,    0,    0,    0,    0, 0x80, 0x04,  // start
                        0x7E, 0x03, 0x10, 0x80,                             // noise
                        0x01, 0xFE, 0,    0,    0,    0,    0, 0x81, 0x04,  // stop
                        0x33};
    const auto frames = Parse(line);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].status, FrameStatus::Ok);
    EXPECT_EQ(frames[0].payload[0], 0xFF);
    EXPECT_EQ(frames[1].status, FrameStatus::Ok);
    EXPECT_EQ(frames[1].payload[0], 0xFE);
}

TEST(CommandFrameParser, AFrameSplitOverManyReadsComesOutOnceWhole) {
    const Bytes line = {0x01, 0x10, 0x11, 0x10, 0x14, 0x10, 0x20, 0xEA, 0x04};
    // Every way of cutting the frame into two chunks, and byte by byte.
    for (std::size_t cut = 1; cut < line.size(); ++cut) {
        SCOPED_TRACE(cut);
        CommandFrameParser parser;
        EXPECT_TRUE(parser.Feed(Bytes(line.begin(), line.begin() + cut)).empty());
        const auto frames = parser.Feed(Bytes(line.begin() + cut, line.end()));
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].status, FrameStatus::Ok);
        EXPECT_EQ(frames[0].payload, (Bytes{0x01, 0x04, 0x10}));
    }
    CommandFrameParser parser;
    std::vector<CommandFrame> frames;
    for (const uint8_t b : line) {
        for (CommandFrame& f : parser.Feed(Bytes{b})) {
            frames.push_back(std::move(f));
        }
    }
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].status, FrameStatus::Ok);
}

TEST(CommandFrameParser, ANewSohCutsTheFrameBeforeAndStartsAfresh) {
    const auto frames = Parse({0x01, 0xFF, 0x00, 0x01, 0xFE, 0, 0, 0, 0, 0, 0x81, 0x04});
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].status, FrameStatus::Cut);
    EXPECT_EQ(frames[1].status, FrameStatus::Ok);
    EXPECT_EQ(frames[1].payload, (Bytes{0xFE, 0, 0, 0, 0, 0}));
}

TEST(CommandFrameParser, DropsAnEndlessFrameAndRecoversAtTheNextSoh) {
    CommandFrameParser parser;
    Bytes flood = {0x01};
    flood.insert(flood.end(), 5000, 0x55);
    const auto first = parser.Feed(flood);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].status, FrameStatus::TooLong);
    EXPECT_LE(first[0].raw.size(), CommandFrameParser::kMaxFrameBytes + 1);

    // The EOT that finally ends the flood is no frame of its own; the next start is.
    const auto next = parser.Feed(Bytes{0x55, 0x80, 0x04, 0x01, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x04});
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].status, FrameStatus::Ok);
}

// The longest frame the program can build: 48 payload bytes that all need escaping.
TEST(CommandFrameParser, TakesTheLongestFrameAndAnyPayload) {
    SimRandom random(7);
    for (int round = 0; round < 500; ++round) {
        Bytes payload(static_cast<std::size_t>(round == 0 ? 48 : random.Below(49)));
        for (uint8_t& b : payload) {
            b = round == 0 ? 0x10 : static_cast<uint8_t>(random.Below(256));
        }
        // Escaping by hand: DLE, then the byte plus 0x10.
        Bytes line = {0x01};
        unsigned sum = 1;
        for (const uint8_t b : payload) {
            sum += b;
            if (b == 0x01 || b == 0x04 || b == 0x10) {
                line.push_back(0x10);
                line.push_back(static_cast<uint8_t>(b + 0x10));
            } else {
                line.push_back(b);
            }
        }
        line.push_back(static_cast<uint8_t>((0x100 - (sum & 0xFF)) | 0x80));
        line.push_back(0x04);
        ASSERT_LE(line.size(), 99u);
        const auto frames = Parse(line);
        ASSERT_EQ(frames.size(), 1u);
        ASSERT_EQ(frames[0].status, FrameStatus::Ok) << "round " << round;
        ASSERT_EQ(frames[0].payload, payload);
    }
}

}  // namespace
}  // namespace tavrolin::sim
