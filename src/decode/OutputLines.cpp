// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/OutputLines.h"

namespace tavrolin {

namespace {

void Flush(const TextOutput& output, std::string& lines) {
    if (!lines.empty()) {
        if (output) {
            output(lines);
        }
        lines.clear();
    }
}

}  // namespace

void TextLinesOutput::AcceptLine(std::string_view line) {
    m_lines += line;
    m_lines += '\n';
}

void TextLinesOutput::EndOfPoll() {
    Flush(m_output, m_lines);
}

void JsonLinesOutput::AcceptJson(const Reading&, std::string_view json) {
    m_lines += json;
    m_lines += '\n';
}

void JsonLinesOutput::EndOfPoll() {
    Flush(m_output, m_lines);
}

}  // namespace tavrolin
