// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/MessageSink.h"

namespace tavrolin {

MessageSink::~MessageSink() = default;

void MessageSink::ShowNotice(std::string_view caption, std::string_view text, MessageIcon icon) {
    ShowMessage(caption, text, icon);
}

}  // namespace tavrolin
