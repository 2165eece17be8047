// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "base/Clock.h"
#include "decode/Reading.h"
#include "decode/ReadingSink.h"

namespace tavrolin {

// Turns telegrams into readings, and keeps the reception clocks the intervals are measured
// against. The data given to DecodeTelegram starts at D0, the byte
// after the STX: six data bytes and the byte that must be ETX.
class TelegramDecoder {
public:
    // Every reception clock starts at the construction time, so the first record of a sensor
    // shows the time since program start. The zone gives each reading the local time it was
    // received at.
    TelegramDecoder(WallClock& clock, const TimeZone& zone);

    // Hands the telegram's reading to the sink. When the seventh byte is not ETX or the
    // special subtype is unknown, nothing happens, not even a clock read. Which readings are
    // presented is the sink's choice; every decoded telegram moves its sensor's reception
    // clock.
    void DecodeTelegram(std::span<const uint8_t, 7> data, ReadingSink& sink);
    // The reading alone, with the same effect on the clocks.
    std::optional<Reading> Decode(std::span<const uint8_t, 7> data);

private:
    // The time since the clock's last record; the clock then takes now.
    static Milliseconds TakeInterval(Instant& receptionClock, Instant now);

    WallClock& m_clock;
    const TimeZone& m_zone;
    // Reception clocks: the instant of the last record. The two Fenster subtypes share one;
    // the sensors have one per kind 0..6 and address.
    Instant m_fensterClock;
    Instant m_sensorClock[7][8];
};

// The values a telegram can carry of a quantity, as the stored integers (value ×
// 10^decimals): what the decoder makes of its 14-bit signed V (-8192..8191, the
// temperature's and wind speed's tenths, the rain counter, the light's value), its 14-bit W
// (0..16383, pressure and wind direction) and its 7-bit H (0..127, humidity, the wind's "B"
// digit, the light's factor).
struct DecodableRange {
    int32_t min = 0, max = 0;
};
DecodableRange DecodableRangeOf(Quantity quantity);

// The report line of a reading as the list shows it and the protocol file keeps it (there in
// Windows-1252): UTF-8, without line end, at most 199 bytes (the longest is some 60 even for
// gaps of years). Writes into the buffer and returns the line's length; allocates nothing.
std::size_t FormatReportLine(const Reading& reading, std::span<char> buffer);
inline constexpr std::size_t kReportLineCapacity = 200;

}  // namespace tavrolin
