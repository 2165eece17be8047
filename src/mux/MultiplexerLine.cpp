// SPDX-License-Identifier: GPL-3.0-or-later
#include "mux/MultiplexerLine.h"

namespace tavrolin {

// volatile rather than std::atomic_ref: every access to a volatile object is a real load or
// store, which is exactly what keeps the delay loop's length; a relaxed atomic would allow
// the compiler to merge the increments. "g = g + 1" because ++ and += on a volatile are
// deprecated since C++20.
volatile uint32_t g_delaySink = 0;

namespace {

uint8_t Reverse4(uint8_t v) {
    return static_cast<uint8_t>(((v & 1) << 3) | ((v & 2) << 1) | ((v & 4) >> 1) | ((v & 8) >> 3));
}

}  // namespace

uint16_t AddressWord(uint8_t stageValue) {
    // Stage-1 ports are coded backwards (port 1 is 6); 0 stays 0, so the reset word is not
    // the word of code 7, and stage-2 values (9..14) are used unchanged.
    const uint8_t code =
        stageValue >= 1 && stageValue <= 6 ? static_cast<uint8_t>(7 - stageValue) : stageValue;
    const uint8_t v = code & 0x0F;
    const uint8_t r = Reverse4(v);
    return static_cast<uint16_t>((r << 12) | ((~r & 0x0F) << 8) | (v << 4) | (~v & 0x0F));
}

MultiplexerLine::MultiplexerLine(CoarseClock& clock) : m_clock(clock) {}

void MultiplexerLine::SetAddress(uint8_t address) {
    // Each digit names one of six ports; the AND 7 and the 7-to-6 rule keep any byte in
    // range (8 and 9 fold to 0 and 1).
    int tens = (address / 10) & 7;
    int units = (address % 10) & 7;
    if (tens == 7) {
        tens = 6;
    }
    if (units == 7) {
        units = 6;
    }
    if (tens == 0) {
        m_stage1Port = units;
        m_stage2Port = 0;
    } else {
        m_stage1Port = tens;
        m_stage2Port = units;
    }
}

void MultiplexerLine::SendAddress(SerialLine& line) {
    SendPortValue(static_cast<uint8_t>(m_stage1Port), line);
    if (m_stage2Port != 0) {
        SendPortValue(static_cast<uint8_t>(m_stage2Port | 8), line);
    }
}

void MultiplexerLine::WaitForClockChange() {
    const int64_t first = m_clock.ReadMs();
    while (m_clock.ReadMs() == first) {
    }
}

void MultiplexerLine::CalibrateDelay() {
    WaitForClockChange();  // start counting at the beginning of a step
    const int64_t reference = m_clock.ReadMs();
    m_delayCount = 0;
    while (m_clock.ReadMs() == reference) {
        ++m_delayCount;
    }
    m_delayCount *= 20;  // 32-bit unsigned, wraps like the counter itself
}

void MultiplexerLine::LineDelay() {
    for (uint32_t i = 0; i < m_delayCount; ++i) {
        g_delaySink = g_delaySink + 1;
    }
}

void MultiplexerLine::SendPortValue(uint8_t value, SerialLine& line) {
    CalibrateDelay();
    const uint16_t word = AddressWord(value);

    // The results of the line changes are not examined: a line that refuses modem-line
    // changes (a pseudo-terminal does) still runs the whole sequence with all its delays.
    const auto dtr = [&line, this](bool high, bool delayAfter) {
        line.SetDtr(high);
        if (delayAfter) {
            LineDelay();
        }
    };
    const auto rts = [&line, this](bool high) {
        line.SetRts(high);
        LineDelay();
    };

    // Both lines low, then DTR high; RTS rising while DTR is high starts a word.
    dtr(false, false);
    rts(false);
    dtr(true, true);
    rts(true);
    // Each bit is put on RTS while DTR is low and taken by the multiplexer on DTR's rising
    // edge; the data is inverted on the line: RTS low is a 1.
    for (int bit = 0; bit < 16; ++bit) {
        dtr(false, true);
        rts(((word >> bit) & 1) == 0);
        dtr(true, true);
    }
    // RTS high, then RTS falling while DTR is high ends the word; both lines end low.
    dtr(false, true);
    rts(true);
    dtr(true, true);
    rts(false);
    dtr(false, false);

    // The lines rest one to two clock steps before anything else happens on the line: time
    // for the multiplexer to switch before the next word or the first command.
    WaitForClockChange();
    WaitForClockChange();
}

}  // namespace tavrolin
