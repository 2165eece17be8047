// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrolin {

// Shows the program's help: the page on the multiplexer dialog, the one window that asks
// for help.
class HelpViewer {
public:
    virtual ~HelpViewer();
    // False when the help could not be shown.
    virtual bool ShowHelp() = 0;
};

}  // namespace tavrolin
