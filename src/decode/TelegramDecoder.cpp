// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/TelegramDecoder.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "decode/PresentReport.h"

namespace tavrolin {

namespace {

constexpr uint8_t kEtx = 0x03;

// Fixed buffers: a telegram costs no allocation. The longest text is some 60 characters even
// for gaps of years, so neither is ever cut.
constexpr std::size_t kTextSize = 100;
constexpr std::size_t kLineSize = 200;

// The float nearest 1e-7, used in double. It lies just above 1e-7, so a gap of whole
// milliseconds that falls halfway between two hundredths rounds away from zero: 1.235 s
// prints "1.24".
constexpr double kSecondsPerTick = static_cast<double>(1e-7f);

// RecordingMask bits of the records whose bit does not depend on the address. TempOnly and
// Outdoor use bit a, Indoor bit 10 + a.
constexpr int kRainBit = 8;
constexpr int kWindBit = 9;
constexpr int kIndoorFirstBit = 10;
constexpr int kBrightnessBit = 18;
constexpr int kPyranometerBit = 19;
constexpr int kRemoteControlBit = 20;

bool IsSet(RecordingMask mask, int bit) {
    return ((mask >> bit) & 1u) != 0;
}

// One character of a remote-control text. A control character would split the record in
// the protocol file, or reach the logger's terminal as a command, so it shows as '?'. A 0
// stays: it ends the text.
int Shown(int d) {
    return (d > 0 && d < 0x20) || d == 0x7F ? '?' : d;
}

}  // namespace

TelegramDecoder::TelegramDecoder(LocalClock& clock) : m_clock(clock) {
    // The first record of every sensor measures the time since the program started.
    const uint64_t start = ToTickCount(m_clock.Now());
    m_fensterClock = start;
    for (auto& row : m_sensorClock) {
        for (auto& sensorClock : row) {
            sensorClock = start;
        }
    }
}

double TelegramDecoder::TakeInterval(uint64_t& receptionClock, uint64_t now) {
    // All 64 bits: a sensor silent for minutes or days shows its real gap. A clock set back
    // gives a negative one.
    const auto ticks = static_cast<int64_t>(now - receptionClock);
    receptionClock = now;
    return static_cast<double>(ticks) * kSecondsPerTick;
}

int TelegramDecoder::DecodeTelegram(std::span<const uint8_t, 7> data, ReceivedList& list,
                                    ProtocolFile& file, RecordingMask mask) {
    // The receiver ends every telegram with ETX right after the six data bytes; without it
    // this is no telegram, and it must leave no trace.
    if (data[6] != kEtx) {
        return -1;
    }
    const LocalTime time = m_clock.Now();
    const uint64_t now = ToTickCount(time);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "(%02d:%02d:%02d.%1d) : ", time.hour, time.minute,
                  time.second, time.millisecond / 100);

    // Bit 7 of every data byte carries nothing.
    const int d0 = data[0] & 0x7F;
    const int d1 = data[1] & 0x7F;
    const int d2 = data[2] & 0x7F;
    const int d3 = data[3] & 0x7F;
    const int d4 = data[4] & 0x7F;
    const int d5 = data[5] & 0x7F;
    const auto kind = static_cast<SensorKind>(d0 >> 4);
    const char* version = (d0 & 0x08) != 0 ? " V1.2" : "";
    const int a = d0 & 0x07;
    // V: 14 bits in two's complement, d1 the upper seven.
    const int v = (d1 & 0x40) != 0 ? d1 * 128 + d2 - 16384 : d1 * 128 + d2;
    const float x = static_cast<float>(v) * 0.1f;
    const int w = d4 * 128 + d5;
    const int h = d3;

    // Kinds 0..6 are measured against the clock of their kind and address; the Fenster
    // events share one clock, and the remote control has none.
    double interval = 0.0;
    if (kind != SensorKind::Special) {
        interval = TakeInterval(m_sensorClock[d0 >> 4][a], now);
    }

    char text[kTextSize];
    bool selected = false;
    switch (kind) {
        case SensorKind::TempOnly: {
            std::snprintf(text, sizeof text, "(%.2fs)  nur Temp%s (%d)  %5.1f\xB0", interval,
                          version, a, x);
            selected = IsSet(mask, a);
            break;
        }
        case SensorKind::Outdoor: {
            std::snprintf(text, sizeof text,
                          "(%.2fs)  Au\xDF"
                          "en%s (%d)  %5.1f\xB0  %2d%%",
                          interval, version, a, x, h);
            selected = IsSet(mask, a);
            break;
        }
        case SensorKind::Rain: {
            // The value is signed; the counter shows its 32-bit pattern.
            std::snprintf(text, sizeof text, "(%.2fs)  Regen%s (%d)  %03X", interval, version, a,
                          static_cast<unsigned>(v));
            selected = IsSet(mask, kRainBit);
            break;
        }
        case SensorKind::Wind: {
            std::snprintf(text, sizeof text, "(%.2fs)  Wind%s (%d)  %6.1fkm/h  %3d\xB0 B%1d",
                          interval, version, a, x, w, h);
            selected = IsSet(mask, kWindBit);
            break;
        }
        case SensorKind::Indoor: {
            std::snprintf(text, sizeof text, "(%.2fs)  Innen%s (%d)  %5.1f\xB0  %2d%%  %4dhPa",
                          interval, version, a, x, h, w);
            selected = IsSet(mask, kIndoorFirstBit + a);
            break;
        }
        case SensorKind::Brightness: {
            std::snprintf(text, sizeof text, "(%.2fs)  Helligkeit%s (%d)  %d  Faktor %d", interval,
                          version, a, v, h);
            selected = IsSet(mask, kBrightnessBit);
            break;
        }
        case SensorKind::Pyranometer: {
            std::snprintf(text, sizeof text, "(%.2fs)  Pyranometer%s (%d)  %d  Faktor %d", interval,
                          version, a, v, h);
            selected = IsSet(mask, kPyranometerBit);
            break;
        }
        case SensorKind::Special: {
            // The subtype is the whole low nibble: version flag and address bits together.
            const auto subtype = static_cast<SpecialSubtype>(d0 & 0x0F);
            if (subtype == SpecialSubtype::FensterHigh) {
                interval = TakeInterval(m_fensterClock, now);
                std::snprintf(text, sizeof text, "++++ Fenster High %.2f s", interval);
            } else if (subtype == SpecialSubtype::FensterLow) {
                interval = TakeInterval(m_fensterClock, now);
                std::snprintf(text, sizeof text, "---- Fenster Low %.2f s", interval);
            } else if (subtype == SpecialSubtype::RemoteControl) {
                // Each data byte is one character; a 0 ends the text there.
                std::snprintf(text, sizeof text, "FB : %c %c %c %c %c", Shown(d1), Shown(d2),
                              Shown(d3), Shown(d4), Shown(d5));
                selected = IsSet(mask, kRemoteControlBit);
                break;
            } else {
                return -1;
            }
            // Fenster events are never filtered.
            selected = true;
            break;
        }
    }
    if (!selected) {
        return -1;
    }

    char line[kLineSize];
    const int length = std::snprintf(line, sizeof line, "%s%s", prefix, text);
    const std::size_t lineLength =
        length < 0 ? 0 : std::min(static_cast<std::size_t>(length), sizeof line - 1);
    PresentReport(std::string_view(line, lineLength), list, file);
    return 0;
}

}  // namespace tavrolin
