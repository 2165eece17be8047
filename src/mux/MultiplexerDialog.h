// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "base/Clock.h"
#include "mux/MultiplexerView.h"
#include "serial/CommDevice.h"
#include "serial/MultiplexerSignaller.h"

namespace tavrolin {

// Counter that every pass of the line delay increments in memory, so that the optimiser can
// neither drop the busy-wait nor fold its passes together. Nothing reads it except tests.
extern volatile uint32_t g_delaySink;

// The 16-bit address word that selects a multiplexer port, from its stage value (stage 1:
// the port 0..6; stage 2: the port OR 8). Stage-1 ports 1..6 are coded as 7 - port, every
// other value as itself; of that code v only the low four bits count, and r is v with its
// bit order reversed. Word: bits 15..12 r, 11..8 ~r, 7..4 v, 3..0 ~v. The multiplexer shifts
// the word in bit 0 first, so on the line it reads ~v, v, then ~r and r, which is v again
// backwards: the code four times, plain and complemented, forwards and backwards.
uint16_t AddressWord(uint8_t stageValue);

// The process-wide multiplexer object: it holds the ports of the two cascaded stages and
// selects them by clocking address words out on the modem lines of the open port, DTR as
// the clock and RTS as the data. It is also the selection dialog, whose window exists only
// while it is shown; the clicks change the stage ports at once, and ending the dialog
// neither commits nor restores anything.
class MultiplexerDialog : public MultiplexerSignaller {
public:
    // The help context the dialog asks for: the help of the dialog's window, number 130.
    static constexpr uint32_t kHelpContext = 0x20000 + 130;

    explicit MultiplexerDialog(CoarseClock& clock);

    // Splits a MuxAddress into the stage ports: the tens digit is the stage-1 port and the
    // units digit the stage-2 port, or below 10 the units digit is the stage-1 port alone.
    // Every byte maps to ports 0..6; nothing is rejected. A shown dialog follows.
    void SetAddress(uint8_t address) override;
    // Sends the stage-1 word (also for port 0, the reset word), then the stage-2 word when
    // there is a second stage.
    void SendAddress(CommDevice& port) override;
    // Calibrates the line delay and clocks out the address word of one stage value.
    void SendPortValue(uint8_t value, CommDevice& port);
    // One busy-wait of m_delayCount passes.
    void LineDelay();

    // --- The selection dialog ---------------------------------------------------------
    // The dialog's window exists while the view is attached (nullptr: it is gone).
    void AttachView(MultiplexerView* view) { m_view = view; }
    // The window is created: it shows the stage ports. True: the focus goes to "&OK".
    bool OnInitDialog();
    // A port button of stage 1 or 2, or "Zweistufig", was clicked; the button has already
    // moved its check mark.
    void OnStage1Port();
    void OnStage2Port();
    void OnTwoStage();
    // "&OK", and "&Abbruch" (also Esc and the close box): the run ends.
    void OnOk();
    void OnCancel();
    // Shows the stage ports in the controls; nothing happens while the window does not
    // exist, not even to the two-stage flag.
    void UpdateControls();
    // The MuxAddress of the selection: the stage-1 port alone, or with "Zweistufig" the
    // stage-1 port as tens digit and the stage-2 port as units digit.
    int GetAddress() const;

    int Stage1Port() const { return m_stage1Port; }
    int Stage2Port() const { return m_stage2Port; }
    uint32_t DelayCount() const { return m_delayCount; }
    int TwoStage() const { return m_twoStage; }

private:
    static constexpr int kPortsPerStage = 6;

    // The position 1..6 of the first checked port button of a stage, 0 when none is.
    int CheckedPort(int firstButton) const;
    // Counts how many reads of the coarse clock fit into one of its steps; the delay is 20
    // times that many passes, so it scales with the machine's speed.
    void CalibrateDelay();
    // Reads the clock until its value differs from the first reading.
    void WaitForClockChange();

    CoarseClock& m_clock;
    int m_stage1Port = 1;  // 0..6; 0 = none
    int m_stage2Port = 1;  // 0..6; 0 = no second stage
    uint32_t m_delayCount = 0;
    int m_twoStage = 1;  // mirror of "Zweistufig" while the window exists
    MultiplexerView* m_view = nullptr;
};

}  // namespace tavrolin
