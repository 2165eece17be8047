// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "base/MessageSink.h"

namespace tavrolin::testing {

struct ShownMessage {
    std::string caption;
    std::string text;
    MessageIcon icon;
    bool waited = true;  // shown with ShowMessage, not as a notice
};

class RecordingMessageSink : public MessageSink {
public:
    void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) override {
        messages.push_back({std::string(caption), std::string(text), icon});
    }
    void ShowNotice(std::string_view caption, std::string_view text, MessageIcon icon) override {
        messages.push_back({std::string(caption), std::string(text), icon, false});
    }
    std::vector<ShownMessage> messages;
};

}  // namespace tavrolin::testing
