// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tavrolin::sim {

// The sensor kinds in bits 6-4 of D0. The simulator writes them from the receiver's
// description, not from the decoder's enums (decode/Reading.h), and its framing bytes
// likewise (CommandFrameParser.h): the tests that run the programs against it then compare
// two readings of the line, and a wrong value on one side shows instead of being mirrored.
enum class SensorKind : uint8_t {
    TempOnly = 0,
    Outdoor = 1,
    Rain = 2,
    Wind = 3,
    Indoor = 4,
    Brightness = 5,
    Pyranometer = 6,
    Special = 7,
};

// A Special telegram is told apart by the whole low nibble of D0.
enum class SpecialType : uint8_t {
    FensterHigh = 0,
    FensterLow = 1,
    RemoteControl = 15,
};

// STX, D0..D5, ETX.
using Telegram = std::array<uint8_t, 8>;

// The three numbers a sensor telegram carries; each kind uses some of them:
// v is 14-bit two's complement in D1/D2 (tenths of a degree or of a km/h, the rain counter,
// the brightness or irradiance value), h is D3 (humidity, Beaufort digit, factor), w is
// 14-bit unsigned in D4/D5 (pressure in hPa, wind direction in degrees).
struct SensorValues {
    int v = 0;
    int h = 0;
    int w = 0;
};

// A telegram of kinds 0..6. Values outside their field are clamped to it (v -8192..8191,
// h 0..127, w 0..16383), the address is taken modulo 8. Bit 7 of every data byte is 0.
Telegram EncodeTelegram(SensorKind kind, bool versionFlag, int address, SensorValues values);

// A Special telegram (kind 7) with the given low nibble and raw D1..D5 (7 bits each).
Telegram EncodeSpecial(uint8_t lowNibble, const std::array<uint8_t, 5>& data);

Telegram EncodeFenster(SpecialType edge);  // FensterHigh or FensterLow

// The remote control sends five ASCII characters in D1..D5; shorter texts are padded with
// blanks, longer ones cut.
Telegram EncodeRemoteControl(std::string_view keys);

}  // namespace tavrolin::sim
