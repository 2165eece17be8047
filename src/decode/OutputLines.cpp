// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/OutputLines.h"

#include "base/Win1252.h"
#include "decode/ReadingJson.h"

namespace tavrolin {

namespace {

void Flush(const LineOutput& output, std::string& lines) {
    if (!lines.empty()) {
        if (output) {
            output(lines);
        }
        lines.clear();
    }
}

}  // namespace

void TextLinesOutput::AcceptLine(std::string_view line) {
    m_lines += Win1252ToUtf8(line);
    m_lines += '\n';
}

void TextLinesOutput::EndOfPoll() {
    Flush(m_output, m_lines);
}

void JsonLinesOutput::Accept(const Reading& reading) {
    AppendReadingJson(reading, m_lines);
    m_lines += '\n';
}

void JsonLinesOutput::EndOfPoll() {
    Flush(m_output, m_lines);
}

}  // namespace tavrolin
