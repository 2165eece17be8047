// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <functional>
#include <map>

#include "mux/MultiplexerView.h"

class QAbstractButton;
class QButtonGroup;

namespace tavrolin {

class MultiplexerDialog;

// The multiplexer dialog's window: two groups of six radio buttons, "Zweistufig", "&OK",
// "&Abbruch" and "&Hilfe", laid out from the dialog's resource. Clicks go to the
// MultiplexerDialog; "&OK" ends it through the controller, Esc, "&Abbruch" and the close box
// through its cancel; "&Hilfe" goes to onHelp, since help belongs to the program, not to
// the dialog.
class MultiplexerWindow : public QDialog, public MultiplexerView {
public:
    MultiplexerWindow(MultiplexerDialog& dialog, QWidget* owner);

    std::function<void()> onHelp;

    QWidget* Control(int id) const;

    // --- MultiplexerView ------------------------------------------------------------
    void SetCheck(int id, bool checked) override;
    bool GetCheck(int id) const override;
    void Enable(int id, bool enabled) override;
    void EndDialog(DialogResult result) override;

protected:
    void reject() override;

private:
    MultiplexerDialog& m_dialog;
    std::map<int, QWidget*> m_controls;
    std::map<int, QButtonGroup*> m_groupOf;
    bool m_ended = false;
};

}  // namespace tavrolin
