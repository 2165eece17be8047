// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

#include "decode/PresentReport.h"
#include "decode/TelegramDecoder.h"

namespace tavrolin::testing {

// Decodes one telegram into the list and the file as the window presents it, as a poll of
// its own (its line is written when it ends): 0 when it was presented, -1 when it was no
// telegram or the mask left it out.
inline int DecodeAndPresent(TelegramDecoder& decoder, std::span<const uint8_t, 7> data,
                            ReceivedList& list, ProtocolFile& file, RecordingMask mask) {
    struct Probe : ReadingSink {
        Probe(ReceivedList& list, ProtocolFile& file, RecordingMask mask)
            : presenting(&list, file, mask) {}
        void Accept(const Reading& reading, std::string_view line) override {
            presented = IsRecorded(reading, presenting.Mask());
            presenting.Accept(reading, line);
        }
        PresentingSink presenting;
        bool presented = false;
    } probe(list, file, mask);
    decoder.DecodeTelegram(data, probe);
    probe.presenting.EndOfPoll();
    return probe.presented ? 0 : -1;
}

}  // namespace tavrolin::testing
