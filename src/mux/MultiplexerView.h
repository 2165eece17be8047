// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/DialogResult.h"

namespace tavrolin {

// Control identifiers of the multiplexer dialog.
namespace muxcontrol {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kStage1First = 1000;  // "Port 1".."Port 6" of the first stage: 1000..1005
inline constexpr int kStage2First = 1006;  // ... of the second stage: 1006..1011
inline constexpr int kStage2Group = 1013;  // the group box "2. Stufe "
inline constexpr int kTwoStage = 1012;     // "Zweistufig"
inline constexpr int kHelp = 57670;        // "&Hilfe"
}  // namespace muxcontrol

// The window operations of the multiplexer dialog while it is shown. Every radio button is
// set on its own; the groups are never set with a group-wide call.
class MultiplexerView {
public:
    virtual ~MultiplexerView();
    virtual void SetCheck(int id, bool checked) = 0;
    virtual bool GetCheck(int id) const = 0;
    virtual void Enable(int id, bool enabled) = 0;
    virtual void EndDialog(DialogResult result) = 0;
};

}  // namespace tavrolin
