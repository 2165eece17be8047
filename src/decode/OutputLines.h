// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "decode/ReadingJson.h"
#include "decode/ReportLines.h"

namespace tavrolin {

// Gets the lines of one poll together, UTF-8, each ending in "\n" (the logger's stdout).
using TextOutput = std::function<void(std::string_view lines)>;

// The report lines, in UTF-8, to an output of the caller's.
class TextLinesOutput : public ReportLineSink {
public:
    explicit TextLinesOutput(TextOutput output) : m_output(std::move(output)) {}
    void AcceptLine(std::string_view line) override;
    void EndOfPoll() override;

private:
    TextOutput m_output;
    std::string m_lines;  // reused: no allocation once warm
};

// The readings as JSON Lines to an output of the caller's.
class JsonLinesOutput : public JsonSink {
public:
    explicit JsonLinesOutput(TextOutput output) : m_output(std::move(output)) {}
    void AcceptJson(const Reading& reading, std::string_view json) override;
    void EndOfPoll() override;

private:
    TextOutput m_output;
    std::string m_lines;  // reused: no allocation once warm
};

}  // namespace tavrolin
