// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "app/HelpViewer.h"

namespace tavrolin::testing {

// Help that records the contexts asked for and succeeds or fails as told.
class FakeHelpViewer : public HelpViewer {
public:
    bool ShowHelp(uint32_t context) override {
        requests.push_back(context);
        return available;
    }
    bool available = true;
    std::vector<uint32_t> requests;
};

}  // namespace tavrolin::testing
