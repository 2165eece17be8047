// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/TelegramEncoder.h"

#include <algorithm>

#include "sim/CommandFrameParser.h"

namespace tavrolin::sim {

namespace {

uint8_t Low7(int value) {
    return static_cast<uint8_t>(value & 0x7F);
}

Telegram Frame(uint8_t d0, const std::array<uint8_t, 5>& data) {
    Telegram t{};
    t[0] = kStx;
    t[1] = static_cast<uint8_t>(d0 & 0x7F);
    for (std::size_t i = 0; i < data.size(); ++i) {
        t[2 + i] = static_cast<uint8_t>(data[i] & 0x7F);
    }
    t[7] = kEtx;
    return t;
}

}  // namespace

Telegram EncodeTelegram(SensorKind kind, bool versionFlag, int address, SensorValues values) {
    const int v = std::clamp(values.v, -8192, 8191);
    const int h = std::clamp(values.h, 0, 127);
    const int w = std::clamp(values.w, 0, 16383);
    // V travels as a 14-bit two's-complement number: seven high bits in D1, seven low in D2.
    const int v14 = v & 0x3FFF;
    const uint8_t d0 = static_cast<uint8_t>((static_cast<int>(kind) & 7) << 4 |
                                            (versionFlag ? 0x08 : 0) | (address & 7));
    return Frame(d0, {Low7(v14 >> 7), Low7(v14), Low7(h), Low7(w >> 7), Low7(w)});
}

Telegram EncodeSpecial(uint8_t lowNibble, const std::array<uint8_t, 5>& data) {
    return Frame(static_cast<uint8_t>(0x70 | (lowNibble & 0x0F)), data);
}

Telegram EncodeFenster(SpecialType edge) {
    return EncodeSpecial(static_cast<uint8_t>(edge), {0, 0, 0, 0, 0});
}

Telegram EncodeRemoteControl(std::string_view keys) {
    std::array<uint8_t, 5> data{' ', ' ', ' ', ' ', ' '};
    for (std::size_t i = 0; i < data.size() && i < keys.size(); ++i) {
        data[i] = static_cast<uint8_t>(keys[i]);
    }
    return EncodeSpecial(static_cast<uint8_t>(SpecialType::RemoteControl), data);
}

}  // namespace tavrolin::sim
