// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tavrolin {

// Shows the program's help at a context number (the multiplexer dialog asks for its own).
class HelpViewer {
public:
    virtual ~HelpViewer();
    // False when the help could not be shown.
    virtual bool ShowHelp(uint32_t context) = 0;
};

}  // namespace tavrolin
