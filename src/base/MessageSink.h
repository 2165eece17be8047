// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace tavrolin {

enum class MessageIcon { Stop, Exclamation, Information };

// Tells the user something: a message box in the window, a line on stderr in the headless
// logger. Texts are UTF-8.
class MessageSink {
public:
    virtual ~MessageSink();
    // Returns when the user has acknowledged the message (a modal box).
    virtual void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) = 0;
    // Returns at once, the message still on show: what a program that keeps receiving has to
    // say (an output failing, its recovery) must never hold up the next poll. Where nothing
    // waits for the user anyway (stderr), the same as ShowMessage.
    virtual void ShowNotice(std::string_view caption, std::string_view text, MessageIcon icon);
};

}  // namespace tavrolin
