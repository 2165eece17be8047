// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ReportLines.h"

#include <cassert>

#include "decode/TelegramDecoder.h"

namespace tavrolin {

LineSink::~LineSink() = default;

void LineSink::EndOfPoll() {}

std::optional<SinkNotice> LineSink::TakeNotice() {
    return std::nullopt;
}

void ReportLines::Add(LineSink& sink) {
    assert(m_count < kMaxSinks);
    if (m_count < kMaxSinks) {
        m_sinks[m_count++] = &sink;
    }
}

void ReportLines::Accept(const Reading& reading) {
    char line[kReportLineCapacity];
    const std::string_view text(line, FormatReportLine(reading, line));
    for (int i = 0; i < m_count; ++i) {
        m_sinks[i]->AcceptLine(text);
    }
}

void ReportLines::EndOfPoll() {
    for (int i = 0; i < m_count; ++i) {
        m_sinks[i]->EndOfPoll();
    }
}

std::optional<SinkNotice> ReportLines::TakeNotice() {
    for (int i = 0; i < m_count; ++i) {
        if (std::optional<SinkNotice> notice = m_sinks[i]->TakeNotice()) {
            return notice;
        }
    }
    return std::nullopt;
}

}  // namespace tavrolin
