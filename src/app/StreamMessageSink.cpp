// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StreamMessageSink.h"

namespace tavrolin {

void StreamMessageSink::ShowMessage(std::string_view caption, std::string_view text,
                                    MessageIcon /*icon*/) {
    std::fprintf(m_stream, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
    std::fflush(m_stream);
}

}  // namespace tavrolin
