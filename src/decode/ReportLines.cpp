// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ReportLines.h"

#include "decode/TelegramDecoder.h"

namespace tavrolin {

LineSink::~LineSink() = default;

void LineSink::EndOfPoll() {}

std::optional<SinkNotice> LineSink::TakeNotice() {
    return std::nullopt;
}

void ReportLines::Accept(const Reading& reading) {
    char line[kReportLineCapacity];
    const std::string_view text(line, FormatReportLine(reading, line));
    for (LineSink* sink : m_sinks) {
        sink->AcceptLine(text);
    }
}

}  // namespace tavrolin
