// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

#include "base/MessageSink.h"

namespace tavrolin {

// Messages as lines "caption: text" on a stream (the logger's stderr). The text is UTF-8
// already; each line is flushed at once, so it is seen before anything that follows.
class StreamMessageSink : public MessageSink {
public:
    explicit StreamMessageSink(std::FILE* stream) : m_stream(stream) {}
    void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;

private:
    std::FILE* m_stream;
};

}  // namespace tavrolin
