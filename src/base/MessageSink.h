// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace tavrolin {

enum class MessageIcon { Stop, Exclamation, Information };

// Shows a message to the user and returns when it has been acknowledged: a modal message
// box in the window, a line on stderr in the headless logger. Texts are UTF-8.
class MessageSink {
public:
    virtual ~MessageSink();
    virtual void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) = 0;
};

}  // namespace tavrolin
