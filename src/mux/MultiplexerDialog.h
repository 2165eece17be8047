// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "mux/MultiplexerLine.h"
#include "mux/MultiplexerView.h"

namespace tavrolin {

// The multiplexer selection dialog's logic: it shows the stage ports of the multiplexer line
// and lets the user choose them. Its window exists only while it is shown; the clicks change
// the stage ports at once, and ending the dialog neither commits nor restores anything.
class MultiplexerDialog {
public:
    explicit MultiplexerDialog(MultiplexerLine& line) : m_line(line) {}

    // Hands a MuxAddress to the multiplexer line; a shown dialog follows.
    void SetAddress(uint8_t address);

    // The dialog's window exists while the view is attached (nullptr: it is gone). The
    // handlers are called only while it does.
    void AttachView(MultiplexerView* view) { m_view = view; }
    // The window is created: it shows the stage ports. True: the focus goes to "&OK".
    bool OnInitDialog();
    // Port 1..6 of stage 1 or 2 was clicked, or "Zweistufig" ticked or not; the button has
    // already moved its check mark.
    void OnStage1Port(int port);
    void OnStage2Port(int port);
    void OnTwoStage(bool twoStage);
    // "&OK", and "&Abbruch" (also Esc and the close box): the run ends.
    void OnOk();
    void OnCancel();
    // Shows the stage ports in the controls; nothing happens while the window does not
    // exist, not even to the two-stage flag.
    void UpdateControls();
    // The MuxAddress of the selection: the stage-1 port alone, or with "Zweistufig" the
    // stage-1 port as tens digit and the stage-2 port as units digit.
    int GetAddress() const;

    int Stage1Port() const { return m_line.Stage1Port(); }
    int Stage2Port() const { return m_line.Stage2Port(); }
    bool TwoStage() const { return m_twoStage; }

private:
    MultiplexerLine& m_line;
    bool m_twoStage = true;  // mirror of "Zweistufig" while the window exists
    MultiplexerView* m_view = nullptr;
};

}  // namespace tavrolin
