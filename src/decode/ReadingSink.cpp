// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ReadingSink.h"

namespace tavrolin {

PollSink::~PollSink() = default;
ReadingDerivation::~ReadingDerivation() = default;

void PollSink::EndOfPoll() {}

std::optional<SinkNotice> PollSink::TakeNotice() {
    return std::nullopt;
}

void SinkFanOut::Accept(const Reading& reading) {
    for (ReadingSink* sink : *this) {
        sink->Accept(reading);
    }
}

void RecordingFilter::Accept(const Reading& reading) {
    if (IsRecorded(reading, m_mask)) {
        SinkFanOut::Accept(reading);
    }
}

}  // namespace tavrolin
