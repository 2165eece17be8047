// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "mux/MultiplexerView.h"
#include "platform/qt/DialogWindow.h"

class QAbstractButton;
class QButtonGroup;

namespace tavrolin {

class MultiplexerDialog;

// Control identifiers of the multiplexer dialog, as in the resource it is laid out from.
namespace muxcontrol {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kStage1First = 1000;  // "Port 1".."Port 6" of the first stage: 1000..1005
inline constexpr int kStage2First = 1006;  // ... of the second stage: 1006..1011
inline constexpr int kStage2Group = 1013;  // the group box "2. Stufe "
inline constexpr int kTwoStage = 1012;     // "Zweistufig"
inline constexpr int kHelp = 57670;        // "&Hilfe"
}  // namespace muxcontrol

// The multiplexer dialog's window: two groups of six radio buttons, "Zweistufig", "&OK",
// "&Abbruch" and "&Hilfe", laid out from the dialog's resource. Clicks go to the
// MultiplexerDialog; "&OK" ends it through the controller, Esc, "&Abbruch" and the close box
// through its cancel; "&Hilfe" goes to onHelp, since help belongs to the program, not to
// the dialog.
class MultiplexerWindow : public DialogWindow<MultiplexerView> {
public:
    MultiplexerWindow(MultiplexerDialog& dialog, QWidget* owner);

    std::function<void()> onHelp;

    // --- MultiplexerView -------------------------------------------------------------
    void ShowPort(int stage, int port) override;
    void ShowTwoStage(bool twoStage) override;

protected:
    void reject() override;

private:
    // The port 1..6 checked in a stage's group, 0 when none is.
    static int CheckedPort(const QButtonGroup& group);

    MultiplexerDialog& m_dialog;
    QButtonGroup* m_stages[2] = {};
};

}  // namespace tavrolin
