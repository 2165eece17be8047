// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/TelegramDecoder.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "decode/Framing.h"

namespace tavrolin {

namespace {

// The float nearest 1e-7, used in double. It lies just above 1e-7, so a gap of whole
// milliseconds that falls halfway between two hundredths rounds away from zero: 1.235 s
// prints "1.24".
constexpr double kSecondsPerTick = static_cast<double>(1e-7f);

// The ranges of the telegram's numbers V, W and H, as Decode derives them.
constexpr DecodableRange kV{-8192, 8191};
constexpr DecodableRange kW{0, 16383};
constexpr DecodableRange kH{0, 127};

// One character of a remote-control text. A control character would split the record in
// the protocol file, or reach the logger's terminal as a command, so it shows as '?'. A 0
// stays: it ends the text.
char Shown(int d) {
    return static_cast<char>((d > 0 && d < 0x20) || d == 0x7F ? '?' : d);
}

void Add(Reading& r, Quantity quantity, int32_t raw) {
    r.values[r.valueCount++] = {quantity, raw};
}

int32_t Raw(const Reading& r, std::size_t index) {
    return r.values[index].raw;
}

// The value in tenths as the text shows it: through float, as it always has.
float Tenths(int32_t raw) {
    return static_cast<float>(raw) * 0.1f;
}

}  // namespace

TelegramDecoder::TelegramDecoder(WallClock& clock, const TimeZone& zone)
    : m_clock(clock), m_zone(zone) {
    // The first record of every sensor measures the time since the program started.
    const Instant start = m_clock.Now();
    m_fensterClock = start;
    for (auto& row : m_sensorClock) {
        for (auto& sensorClock : row) {
            sensorClock = start;
        }
    }
}

Milliseconds TelegramDecoder::TakeInterval(Instant& receptionClock, Instant now) {
    // A sensor silent for minutes or days shows its real gap, and the change to or from
    // summer time none at all. Only a wall clock set back (by hand, or by a time server)
    // gives a negative one.
    const Milliseconds interval = now - receptionClock;
    receptionClock = now;
    return interval;
}

std::optional<Reading> TelegramDecoder::Decode(std::span<const uint8_t, 7> data) {
    // The receiver ends every telegram with ETX right after the six data bytes; without it
    // this is no telegram, and it must leave no trace.
    if (data[6] != kEtx) {
        return std::nullopt;
    }
    // Bit 7 of every data byte carries nothing.
    const int d0 = data[0] & 0x7F;
    const int d1 = data[1] & 0x7F;
    const int d2 = data[2] & 0x7F;
    const int d3 = data[3] & 0x7F;
    const int d4 = data[4] & 0x7F;
    const int d5 = data[5] & 0x7F;

    Reading r;
    r.kind = static_cast<SensorKind>(d0 >> 4);
    r.address = static_cast<uint8_t>(d0 & 0x07);
    r.version12 = (d0 & 0x08) != 0;
    if (r.kind == SensorKind::Special) {
        // The subtype is the whole low nibble: version flag and address bits together.
        r.subtype = static_cast<SpecialSubtype>(d0 & 0x0F);
        if (r.subtype != SpecialSubtype::FensterHigh && r.subtype != SpecialSubtype::FensterLow &&
            r.subtype != SpecialSubtype::RemoteControl) {
            return std::nullopt;
        }
    }
    r.time = m_clock.Now();
    r.utcOffsetSeconds = m_zone.UtcOffsetAt(r.time);

    // V: 14 bits in two's complement, d1 the upper seven.
    const int v = (d1 & 0x40) != 0 ? d1 * 128 + d2 - 16384 : d1 * 128 + d2;
    const int w = d4 * 128 + d5;
    const int h = d3;
    switch (r.kind) {
        case SensorKind::TempOnly:
            Add(r, Quantity::Temperature, v);
            break;
        case SensorKind::Outdoor:
            Add(r, Quantity::Temperature, v);
            Add(r, Quantity::Humidity, h);
            break;
        case SensorKind::Rain:
            Add(r, Quantity::RainCounter, v);
            break;
        case SensorKind::Wind:
            Add(r, Quantity::WindSpeed, v);
            Add(r, Quantity::WindDirection, w);
            Add(r, Quantity::WindB, h);
            break;
        case SensorKind::Indoor:
            Add(r, Quantity::Temperature, v);
            Add(r, Quantity::Humidity, h);
            Add(r, Quantity::Pressure, w);
            break;
        case SensorKind::Brightness:
        case SensorKind::Pyranometer:
            Add(r, Quantity::Value, v);
            Add(r, Quantity::Factor, h);
            break;
        case SensorKind::Special:
            break;
    }

    // Kinds 0..6 are measured against the clock of their kind and address; the Fenster
    // events share one clock, and the remote control has none.
    if (r.kind != SensorKind::Special) {
        r.interval = TakeInterval(m_sensorClock[d0 >> 4][r.address], r.time);
    } else if (r.subtype == SpecialSubtype::RemoteControl) {
        // Each data byte is one character; a 0 ends the text there.
        const int chars[5] = {d1, d2, d3, d4, d5};
        std::size_t length = 0;
        while (length < 5 && chars[length] != 0) {
            r.text[length] = Shown(chars[length]);
            ++length;
        }
        r.text[length] = '\0';
    } else {
        r.event = r.subtype == SpecialSubtype::FensterHigh ? FensterEvent::High : FensterEvent::Low;
        r.interval = TakeInterval(m_fensterClock, r.time);
    }
    return r;
}

DecodableRange DecodableRangeOf(Quantity quantity) {
    switch (quantity) {
        case Quantity::Temperature:
        case Quantity::WindSpeed:
        case Quantity::RainCounter:
        case Quantity::Value:
            return kV;
        case Quantity::Pressure:
        case Quantity::WindDirection:
            return kW;
        case Quantity::Humidity:
        case Quantity::WindB:
        case Quantity::Factor:
            break;
    }
    return kH;
}

void TelegramDecoder::DecodeTelegram(std::span<const uint8_t, 7> data, ReadingSink& sink) {
    if (const std::optional<Reading> reading = Decode(data)) {
        sink.Accept(*reading);
    }
}

std::size_t FormatReportLine(const Reading& r, std::span<char> buffer) {
    const LocalTime time = r.Local();
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "(%02d:%02d:%02d.%1d) : ", time.hour, time.minute,
                  time.second, time.millisecond / 100);

    // In 100-ns ticks, as the line has always been reckoned (kSecondsPerTick).
    const int64_t ticks = r.interval.value_or(Milliseconds(0)).count() * 10000;
    const double interval = static_cast<double>(ticks) * kSecondsPerTick;
    char text[100];
    if (r.kind == SensorKind::Special) {
        if (r.subtype == SpecialSubtype::RemoteControl) {
            // The characters with a blank between them; the text ends at its 0 byte, so
            // "A" of "A\0BCD" shows as "FB : A ".
            std::size_t n = static_cast<std::size_t>(std::snprintf(text, sizeof text, "FB : "));
            for (std::size_t i = 0; i < 5 && r.text[i] != '\0'; ++i) {
                text[n++] = r.text[i];
                if (i < 4) {
                    text[n++] = ' ';
                }
            }
            text[n] = '\0';
        } else if (r.event == FensterEvent::High) {
            std::snprintf(text, sizeof text, "++++ Fenster High %.2f s", interval);
        } else {
            std::snprintf(text, sizeof text, "---- Fenster Low %.2f s", interval);
        }
    } else {
        // "(12.34s)  Wind V1.2 (3)  " and the kind's values.
        const std::string_view kind = KindLabel(r.Key());
        const int head = std::snprintf(text, sizeof text, "(%.2fs)  %.*s%s (%d)  ", interval,
                                       static_cast<int>(kind.size()), kind.data(),
                                       r.version12 ? " V1.2" : "", r.address);
        char* values = text + head;
        const std::size_t room = sizeof text - static_cast<std::size_t>(head);
        switch (r.kind) {
            case SensorKind::TempOnly:
                std::snprintf(values, room, "%5.1f\u00B0", Tenths(Raw(r, 0)));
                break;
            case SensorKind::Outdoor:
                std::snprintf(values, room, "%5.1f\u00B0  %2d%%", Tenths(Raw(r, 0)), Raw(r, 1));
                break;
            case SensorKind::Rain:
                // The value is signed; the counter shows its 32-bit pattern.
                std::snprintf(values, room, "%03X", static_cast<unsigned>(Raw(r, 0)));
                break;
            case SensorKind::Wind:
                std::snprintf(values, room, "%6.1fkm/h  %3d\u00B0 B%1d", Tenths(Raw(r, 0)),
                              Raw(r, 1), Raw(r, 2));
                break;
            case SensorKind::Indoor:
                std::snprintf(values, room, "%5.1f\u00B0  %2d%%  %4dhPa", Tenths(Raw(r, 0)),
                              Raw(r, 1), Raw(r, 2));
                break;
            case SensorKind::Brightness:
            case SensorKind::Pyranometer:
                std::snprintf(values, room, "%d  Faktor %d", Raw(r, 0), Raw(r, 1));
                break;
            case SensorKind::Special:
                break;
        }
    }
    const int length = std::snprintf(buffer.data(), buffer.size(), "%s%s", prefix, text);
    return length < 0 ? 0 : std::min(static_cast<std::size_t>(length), buffer.size() - 1);
}

}  // namespace tavrolin
