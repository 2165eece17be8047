// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/TelegramEncoder.h"

#include <gtest/gtest.h>

namespace tavrolin::sim {
namespace {

struct Row {
    const char* what;
    SensorKind kind;
    bool version;
    int address;
    SensorValues values;
    Telegram line;
};

TEST(TelegramEncoder, PutsKindFlagAddressAndValuesWhereTheReceiverDoes) {
    const Row table[] = {
        {"outdoor 12.3 degrees 67 %",
         SensorKind::Outdoor,
         false,
         1,
         {123, 67, 0},
         {0x02, 0x11, 0x00, 0x7B, 0x43, 0x00, 0x00, 0x03}},
        {"indoor V1.2 21.5 degrees 45 % 1013 hPa",
         SensorKind::Indoor,
         true,
         2,
         {215, 45, 1013},
         {0x02, 0x4A, 0x01, 0x57, 0x2D, 0x07, 0x75, 0x03}},
        {"wind 12.5 km/h 270 degrees B2",
         SensorKind::Wind,
         false,
         3,
         {125, 2, 270},
         {0x02, 0x33, 0x00, 0x7D, 0x02, 0x02, 0x0E, 0x03}},
        {"-5.0 degrees",
         SensorKind::TempOnly,
         false,
         0,
         {-50, 0, 0},
         {0x02, 0x00, 0x7F, 0x4E, 0x00, 0x00, 0x00, 0x03}},
        {"-0.1 degrees",
         SensorKind::TempOnly,
         true,
         7,
         {-1, 0, 0},
         {0x02, 0x0F, 0x7F, 0x7F, 0x00, 0x00, 0x00, 0x03}},
        {"lowest V",
         SensorKind::Rain,
         false,
         0,
         {-8192, 0, 0},
         {0x02, 0x20, 0x40, 0x00, 0x00, 0x00, 0x00, 0x03}},
        {"highest V",
         SensorKind::Brightness,
         false,
         0,
         {8191, 100, 0},
         {0x02, 0x50, 0x3F, 0x7F, 0x64, 0x00, 0x00, 0x03}},
        {"rain counter 0x1ABC",
         SensorKind::Rain,
         false,
         4,
         {0x1ABC, 0, 0},
         {0x02, 0x24, 0x35, 0x3C, 0x00, 0x00, 0x00, 0x03}},
        {"pyranometer V1.2",
         SensorKind::Pyranometer,
         true,
         0,
         {612, 1, 0},
         {0x02, 0x68, 0x04, 0x64, 0x01, 0x00, 0x00, 0x03}},
        {"values beyond their fields are clamped",
         SensorKind::Indoor,
         false,
         0,
         {9000, 200, 20000},
         {0x02, 0x40, 0x3F, 0x7F, 0x7F, 0x7F, 0x7F, 0x03}},
        {"below their fields too",
         SensorKind::Indoor,
         false,
         0,
         {-9000, -1, -5},
         {0x02, 0x40, 0x40, 0x00, 0x00, 0x00, 0x00, 0x03}},
        {"address modulo 8",
         SensorKind::Outdoor,
         false,
         13,
         {0, 0, 0},
         {0x02, 0x15, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(EncodeTelegram(row.kind, row.version, row.address, row.values), row.line);
    }
}

TEST(TelegramEncoder, SpecialTelegramsCarryTheirSubtypeInTheLowNibble) {
    EXPECT_EQ(EncodeFenster(SpecialType::FensterHigh), (Telegram{0x02, 0x70, 0, 0, 0, 0, 0, 0x03}));
    EXPECT_EQ(EncodeFenster(SpecialType::FensterLow), (Telegram{0x02, 0x71, 0, 0, 0, 0, 0, 0x03}));
    EXPECT_EQ(EncodeRemoteControl("ABCDE"), (Telegram{0x02, 0x7F, 'A', 'B', 'C', 'D', 'E', 0x03}));
    EXPECT_EQ(EncodeRemoteControl("AB"), (Telegram{0x02, 0x7F, 'A', 'B', ' ', ' ', ' ', 0x03}));
    EXPECT_EQ(EncodeRemoteControl("ABCDEFG"),
              (Telegram{0x02, 0x7F, 'A', 'B', 'C', 'D', 'E', 0x03}));
    // Bytes beyond 7 bits lose bit 7, as every data byte does.
    EXPECT_EQ(EncodeSpecial(0x1F, {0xC1, 0, 0, 0, 0xFF}),
              (Telegram{0x02, 0x7F, 0x41, 0, 0, 0, 0x7F, 0x03}));
}

TEST(TelegramEncoder, EveryValueComesBackAndBit7StaysClear) {
    for (int v = -8192; v <= 8191; v += 7) {
        const int h = (v + 8192) % 128;
        const int w = (v + 8192) * 2 % 16384;
        const Telegram t = EncodeTelegram(SensorKind::Wind, v % 2 != 0, v & 7, {v, h, w});
        ASSERT_EQ(t[0], 0x02);
        ASSERT_EQ(t[7], 0x03);
        for (int i = 1; i <= 6; ++i) {
            ASSERT_EQ(t[i] & 0x80, 0) << "byte " << i << " of V " << v;
        }
        // Read back the way the receiver's layout says, not through the encoder.
        int back = t[2] * 128 + t[3];
        if (t[2] & 0x40) {
            back -= 16384;
        }
        ASSERT_EQ(back, v);
        ASSERT_EQ(t[4], h);
        ASSERT_EQ(t[5] * 128 + t[6], w);
        ASSERT_EQ(t[1] >> 4, 3);
        ASSERT_EQ((t[1] >> 3) & 1, v % 2 != 0 ? 1 : 0);
        ASSERT_EQ(t[1] & 7, v & 7);
    }
}

}  // namespace
}  // namespace tavrolin::sim
