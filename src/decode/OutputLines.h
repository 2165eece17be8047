// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "decode/ReadingSink.h"
#include "decode/ReportLines.h"

namespace tavrolin {

// Gets the lines of one poll together, UTF-8, each ending in "\n" (the logger's stdout).
using LineOutput = std::function<void(std::string_view lines)>;

// The report lines, in UTF-8, to an output of the caller's.
class TextLinesOutput : public LineSink {
public:
    explicit TextLinesOutput(LineOutput output) : m_output(std::move(output)) {}
    void AcceptLine(std::string_view line) override;
    void EndOfPoll() override;

private:
    LineOutput m_output;
    std::string m_lines;  // reused: no allocation once warm
};

// The readings as JSON Lines (AppendReadingJson) to an output of the caller's.
class JsonLinesOutput : public ReadingSink {
public:
    explicit JsonLinesOutput(LineOutput output) : m_output(std::move(output)) {}
    void Accept(const Reading& reading) override;
    void EndOfPoll() override;

private:
    LineOutput m_output;
    std::string m_lines;  // reused: no allocation once warm
};

}  // namespace tavrolin
