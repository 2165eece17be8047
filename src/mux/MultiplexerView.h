// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/DialogResult.h"

namespace tavrolin {

// What the multiplexer dialog's logic asks of its window while it is shown.
class MultiplexerView {
public:
    virtual ~MultiplexerView();
    // Port 1..6 of stage 1 or 2 checked, the other ports of the stage not.
    virtual void ShowPort(int stage, int port) = 0;
    // "Zweistufig" ticked or not; the second stage's buttons and their group can be used only
    // while it is, and keep their check marks while they cannot.
    virtual void ShowTwoStage(bool twoStage) = 0;
    // Ends the dialog's modal run.
    virtual void End(DialogResult result) = 0;
};

}  // namespace tavrolin
