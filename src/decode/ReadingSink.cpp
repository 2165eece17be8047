// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ReadingSink.h"

#include <algorithm>
#include <cassert>

namespace tavrolin {

ReadingSink::~ReadingSink() = default;
ReadingDerivation::~ReadingDerivation() = default;

void ReadingSink::EndOfPoll() {}

std::optional<SinkNotice> ReadingSink::TakeNotice() {
    return std::nullopt;
}

void SinkFanOut::Add(ReadingSink& sink) {
    assert(m_count < kMaxSinks);
    if (m_count < kMaxSinks) {
        m_sinks[m_count++] = &sink;
    }
}

void SinkFanOut::Remove(ReadingSink& sink) {
    ReadingSink** const end = m_sinks + m_count;
    ReadingSink** const kept = std::remove(m_sinks, end, &sink);
    m_count = static_cast<int>(kept - m_sinks);
}

void SinkFanOut::Accept(const Reading& reading) {
    for (int i = 0; i < m_count; ++i) {
        m_sinks[i]->Accept(reading);
    }
}

void SinkFanOut::EndOfPoll() {
    for (int i = 0; i < m_count; ++i) {
        m_sinks[i]->EndOfPoll();
    }
}

std::optional<SinkNotice> SinkFanOut::TakeNotice() {
    for (int i = 0; i < m_count; ++i) {
        if (std::optional<SinkNotice> notice = m_sinks[i]->TakeNotice()) {
            return notice;
        }
    }
    return std::nullopt;
}

void RecordingFilter::Accept(const Reading& reading) {
    if (IsRecorded(reading, m_mask)) {
        m_sinks.Accept(reading);
    }
}

}  // namespace tavrolin
