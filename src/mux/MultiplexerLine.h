// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "base/Clock.h"
#include "serial/MultiplexerSignaller.h"
#include "serial/SerialLine.h"

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

// The multiplexer on the line: the ports of its two cascaded stages, selected by clocking
// address words out on the modem lines of the open line, DTR as the clock and RTS as the
// data. One per process; the selection dialog changes its ports.
class MultiplexerLine : public MultiplexerSignaller {
public:
    static constexpr int kPortsPerStage = 6;

    explicit MultiplexerLine(CoarseClock& clock);

    // Splits a MuxAddress into the stage ports: the tens digit is the stage-1 port and the
    // units digit the stage-2 port, or below 10 the units digit is the stage-1 port alone.
    // Every byte maps to ports 0..6; nothing is rejected.
    void SetAddress(uint8_t address) override;
    // Sends the stage-1 word (also for port 0, the reset word), then the stage-2 word when
    // there is a second stage.
    void SendAddress(SerialLine& line) override;
    // Calibrates the line delay and clocks out the address word of one stage value.
    void SendPortValue(uint8_t value, SerialLine& line);
    // One busy-wait of DelayCount() passes.
    void LineDelay();

    int Stage1Port() const { return m_stage1Port; }
    int Stage2Port() const { return m_stage2Port; }
    // Ports 0..6; 0 is none (for stage 2: no second stage).
    void SetStage1Port(int port) { m_stage1Port = port; }
    void SetStage2Port(int port) { m_stage2Port = port; }
    uint32_t DelayCount() const { return m_delayCount; }

private:
    // Counts how many reads of the coarse clock fit into one of its steps; the delay is 20
    // times that many passes, so it scales with the machine's speed.
    void CalibrateDelay();
    // Reads the clock until its value differs from the first reading.
    void WaitForClockChange();

    CoarseClock& m_clock;
    int m_stage1Port = 1;
    int m_stage2Port = 1;
    uint32_t m_delayCount = 0;
};

}  // namespace tavrolin
