// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include "mux/MultiplexerDialog.h"
#include "mux/MultiplexerView.h"

namespace tavrolin::testing {

// The multiplexer dialog's window: what its buttons show, and the user's clicks on them. A
// new window has no port checked and everything enabled.
class FakeMultiplexerView : public MultiplexerView {
public:
    void ShowPort(int stage, int port) override { checked[stage == 1 ? 0 : 1] = port; }
    void ShowTwoStage(bool on) override { twoStage = stage2Enabled = on; }
    void End(DialogResult r) override { result = r; }

    // The port checked in stage 1 or 2, 0 when none is.
    int CheckedPort(int stage) const { return checked[stage == 1 ? 0 : 1]; }

    // The user's clicks, as the window takes them: a port button takes the check mark from
    // the other buttons of its stage, "Zweistufig" toggles; then the dialog hears of it. The
    // greyed buttons of stage 2 do not react.
    void ClickPort(MultiplexerDialog& dialog, int stage, int port);
    void ClickTwoStage(MultiplexerDialog& dialog);
    void ClickOk(MultiplexerDialog& dialog) { dialog.OnOk(); }
    void ClickCancel(MultiplexerDialog& dialog) { dialog.OnCancel(); }

    int checked[2] = {0, 0};
    bool twoStage = false;
    bool stage2Enabled = true;
    std::optional<DialogResult> result;
};

}  // namespace tavrolin::testing
