#pragma once

#include <cstdint>

#include "base/Clock.h"
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
// the clock and RTS as the data. The selection dialog builds on the same object.
class MultiplexerDialog : public MultiplexerSignaller {
public:
    explicit MultiplexerDialog(CoarseClock& clock);

    // Splits a MuxAddress into the stage ports: the tens digit is the stage-1 port and the
    // units digit the stage-2 port, or below 10 the units digit is the stage-1 port alone.
    // Every byte maps to ports 0..6; nothing is rejected.
    void SetAddress(uint8_t address) override;
    // Sends the stage-1 word (also for port 0, the reset word), then the stage-2 word when
    // there is a second stage.
    void SendAddress(CommDevice& port) override;
    // Calibrates the line delay and clocks out the address word of one stage value.
    void SendPortValue(uint8_t value, CommDevice& port);
    // One busy-wait of m_delayCount passes.
    void LineDelay();

    int Stage1Port() const { return m_stage1Port; }
    int Stage2Port() const { return m_stage2Port; }
    uint32_t DelayCount() const { return m_delayCount; }
    int TwoStage() const { return m_twoStage; }

protected:
    // The dialog's refresh of its controls after the stage ports changed. Here, without a
    // window, there is nothing to show; the dialog's view overrides it.
    virtual void UpdateControls();

private:
    // Counts how many reads of the coarse clock fit into one of its steps; the delay is 20
    // times that many passes, so it scales with the machine's speed.
    void CalibrateDelay();
    // Reads the clock until its value differs from the first reading.
    void WaitForClockChange();

    CoarseClock& m_clock;
    int m_stage1Port = 1;  // 0..6; 0 = none
    int m_stage2Port = 1;  // 0..6; 0 = no second stage
    uint32_t m_delayCount = 0;
    int m_twoStage = 1;  // the dialog's two-stage check box
};

}  // namespace tavrolin
