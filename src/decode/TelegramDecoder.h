// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>

#include "base/Clock.h"
#include "decode/ProtocolFile.h"
#include "decode/ReceivedList.h"

namespace tavrolin {

// Bits 6..4 of D0.
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

// A Special telegram's kind of event is the whole low nibble of D0; the others are unknown.
enum class SpecialSubtype : uint8_t {
    FensterHigh = 0,
    FensterLow = 1,
    RemoteControl = 15,
};

// Bits of the RecordingMask: which records are presented.
using RecordingMask = uint32_t;
inline constexpr RecordingMask kAllRecordings = 0x1FFFFF;  // bits 0..20

// Turns telegrams into report lines and keeps the reception clocks the intervals are
// measured against. The data given to DecodeTelegram starts at D0, the byte after the STX:
// six data bytes and the byte that must be ETX.
class TelegramDecoder {
public:
    // Every reception clock starts at the construction time, so the first record of a sensor
    // shows the time since program start.
    explicit TelegramDecoder(LocalClock& clock);

    // 0 when the record was presented (listed, and written if the file is open); -1 when the
    // seventh byte is not ETX, the special subtype is unknown, or the mask filters it.
    int DecodeTelegram(std::span<const uint8_t, 7> data, ReceivedList& list, ProtocolFile& file,
                       RecordingMask mask);

private:
    // The seconds since the clock's last record, printed with "%.2f"; the clock then takes
    // now.
    double TakeInterval(uint64_t& receptionClock, uint64_t now);

    LocalClock& m_clock;
    // Reception clocks: 100-ns ticks of local time of the last record. The two Fenster
    // subtypes share one; the sensors have one per kind 0..6 and address (the row of kind 7
    // is never used).
    uint64_t m_fensterClock = 0;
    uint64_t m_sensorClock[8][8] = {};
};

}  // namespace tavrolin
