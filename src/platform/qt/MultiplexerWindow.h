// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>

#include "mux/MultiplexerView.h"
#include "platform/qt/DialogWindow.h"

class QAbstractButton;
class QButtonGroup;

namespace tavrolin {

class MultiplexerDialog;

// The multiplexer dialog's window: two groups of six radio buttons, "Zweistufig", "&OK",
// "&Abbruch" and "&Hilfe", laid out from the dialog's resource. Clicks go to the
// MultiplexerDialog; "&OK" ends it through the controller, Esc, "&Abbruch" and the close box
// through its cancel; "&Hilfe" goes to onHelp, since help belongs to the program, not to
// the dialog.
class MultiplexerWindow : public DialogWindow<MultiplexerView> {
public:
    MultiplexerWindow(MultiplexerDialog& dialog, QWidget* owner);

    std::function<void()> onHelp;

    // A port button is set on its own, also to none checked in its group.
    void SetCheck(int id, bool checked) override;

protected:
    void reject() override;

private:
    MultiplexerDialog& m_dialog;
    std::map<int, QButtonGroup*> m_groupOf;
};

}  // namespace tavrolin
