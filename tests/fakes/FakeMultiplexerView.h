// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "mux/MultiplexerDialog.h"
#include "mux/MultiplexerView.h"

namespace tavrolin::testing {

// The multiplexer dialog's window: keeps every control's check mark and enabled state and
// records the operations in order ("SetCheck 1000 1", "Enable 1013 0", "EndDialog Ok").
// A new window has nothing checked and everything enabled.
class FakeMultiplexerView : public MultiplexerView {
public:
    void SetCheck(int id, bool checked) override;
    bool GetCheck(int id) const override;
    void Enable(int id, bool enabled) override;
    void EndDialog(DialogResult result) override;

    bool IsEnabled(int id) const;
    // The positions 1..6 of the checked buttons of a stage (1 or 2).
    std::vector<int> CheckedPorts(int stage) const;

    // A click of the user, as the window does it: a port button takes the check mark from
    // the other buttons of its stage, "Zweistufig" toggles; then the dialog hears of it.
    // Disabled controls do not react.
    void Click(MultiplexerDialog& dialog, int id);

    std::map<int, int> checks;
    std::map<int, bool> enabled;
    std::optional<DialogResult> result;
    std::vector<std::string> log;
};

}  // namespace tavrolin::testing
