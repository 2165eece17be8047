// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeMultiplexerView.h"

namespace tavrolin::testing {

void FakeMultiplexerView::ClickPort(MultiplexerDialog& dialog, int stage, int port) {
    if (stage == 2 && !stage2Enabled) {
        return;
    }
    checked[stage == 1 ? 0 : 1] = port;
    if (stage == 1) {
        dialog.OnStage1Port(port);
    } else {
        dialog.OnStage2Port(port);
    }
}

void FakeMultiplexerView::ClickTwoStage(MultiplexerDialog& dialog) {
    twoStage = !twoStage;
    dialog.OnTwoStage(twoStage);
}

}  // namespace tavrolin::testing
