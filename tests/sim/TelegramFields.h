// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>

namespace tavrolin::sim::testing {

// A telegram read back by the receiver's layout, written apart from the encoder so that the
// tests do not check the encoder against itself.
struct TelegramFields {
    int kind = 0;
    bool version = false;
    int address = 0;
    int lowNibble = 0;
    int v = 0;
    int h = 0;
    int w = 0;
    uint8_t d[6] = {};
};

// `bytes` is STX, D0..D5, ETX.
inline TelegramFields ReadTelegram(std::span<const uint8_t> bytes) {
    TelegramFields f;
    for (int i = 0; i < 6; ++i) {
        f.d[i] = bytes[1 + i] & 0x7F;
    }
    f.kind = f.d[0] >> 4;
    f.version = (f.d[0] & 0x08) != 0;
    f.address = f.d[0] & 0x07;
    f.lowNibble = f.d[0] & 0x0F;
    f.v = f.d[1] * 128 + f.d[2];
    if (f.d[1] & 0x40) {
        f.v -= 16384;
    }
    f.h = f.d[3];
    f.w = f.d[4] * 128 + f.d[5];
    return f;
}

}  // namespace tavrolin::sim::testing
