// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ReadingSink.h"

namespace tavrolin {

ReadingSink::~ReadingSink() = default;
ReadingDerivation::~ReadingDerivation() = default;

void ReadingSink::EndOfPoll() {}

std::optional<SinkNotice> ReadingSink::TakeNotice() {
    return std::nullopt;
}

void SinkFanOut::Accept(const Reading& reading) {
    for (ReadingSink* sink : m_sinks) {
        sink->Accept(reading);
    }
}

void RecordingFilter::Accept(const Reading& reading) {
    if (IsRecorded(reading, m_mask)) {
        m_sinks.Accept(reading);
    }
}

}  // namespace tavrolin
