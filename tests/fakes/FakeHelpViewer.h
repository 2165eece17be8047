// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/HelpViewer.h"

namespace tavrolin::testing {

// Help that counts the requests and succeeds or fails as told.
class FakeHelpViewer : public HelpViewer {
public:
    bool ShowHelp() override {
        ++requests;
        return available;
    }
    bool available = true;
    int requests = 0;
};

}  // namespace tavrolin::testing
