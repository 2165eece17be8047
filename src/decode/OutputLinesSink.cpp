// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/OutputLinesSink.h"

#include "base/Win1252.h"
#include "decode/ReadingJson.h"

namespace tavrolin {

void OutputLinesSink::Accept(const Reading& reading, std::string_view line) {
    if (!m_output || !IsRecorded(reading, m_mask)) {
        return;
    }
    if (m_format == Format::Json) {
        AppendReadingJson(reading, m_lines);
    } else {
        m_lines += Win1252ToUtf8(line);
    }
    m_lines += '\n';
}

void OutputLinesSink::EndOfPoll() {
    if (!m_lines.empty()) {
        m_output(m_lines);
        m_lines.clear();
    }
}

}  // namespace tavrolin
