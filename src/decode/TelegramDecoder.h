#pragma once

#include <cstdint>
#include <span>

#include "base/Clock.h"
#include "decode/ProtocolFile.h"
#include "decode/ReceivedList.h"

namespace tavrolin {

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
    // ... (implementation)
};

}  // namespace tavrolin
