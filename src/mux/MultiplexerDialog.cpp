// SPDX-License-Identifier: GPL-3.0-or-later
#include "mux/MultiplexerDialog.h"

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

MultiplexerDialog::MultiplexerDialog(CoarseClock& clock) : m_clock(clock) {}

void MultiplexerDialog::SetAddress(uint8_t address) {
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
    UpdateControls();
}

bool MultiplexerDialog::OnInitDialog() {
    UpdateControls();
    return true;
}

void MultiplexerDialog::UpdateControls() {
    if (m_view == nullptr) {
        return;
    }
    // Every button is set on its own. A stage without a port keeps the buttons as they are:
    // a new window has none checked.
    const auto showPort = [this](int firstButton, int port) {
        if (port == 0) {
            return;
        }
        for (int k = 1; k <= kPortsPerStage; ++k) {
            m_view->SetCheck(firstButton + k - 1, k == port ? 1 : 0);
        }
    };
    showPort(muxcontrol::kStage1First, m_stage1Port);
    showPort(muxcontrol::kStage2First, m_stage2Port);
    m_view->SetCheck(muxcontrol::kTwoStage, m_stage2Port != 0 ? 1 : 0);
    OnTwoStage();
}

int MultiplexerDialog::CheckedPort(int firstButton) const {
    for (int k = 1; k <= kPortsPerStage; ++k) {
        if (m_view->GetCheck(firstButton + k - 1) != 0) {
            return k;
        }
    }
    return 0;
}

void MultiplexerDialog::OnStage1Port() {
    if (m_view != nullptr) {
        m_stage1Port = CheckedPort(muxcontrol::kStage1First);
    }
}

void MultiplexerDialog::OnStage2Port() {
    if (m_view != nullptr) {
        m_stage2Port = CheckedPort(muxcontrol::kStage2First);
    }
}

void MultiplexerDialog::OnTwoStage() {
    if (m_view == nullptr) {
        return;
    }
    m_twoStage = m_view->GetCheck(muxcontrol::kTwoStage) != 0 ? 1 : 0;
    // Greyed out, the stage-2 buttons keep their check marks and m_stage2Port its value; only
    // GetAddress leaves the second stage out.
    const bool enabled = m_twoStage != 0;
    m_view->Enable(muxcontrol::kStage2Group, enabled);
    for (int k = 1; k <= kPortsPerStage; ++k) {
        m_view->Enable(muxcontrol::kStage2First + k - 1, enabled);
    }
}

void MultiplexerDialog::OnOk() {
    if (m_view != nullptr) {
        m_view->EndDialog(DialogResult::Ok);
    }
}

void MultiplexerDialog::OnCancel() {
    if (m_view != nullptr) {
        m_view->EndDialog(DialogResult::Cancel);
    }
}

int MultiplexerDialog::GetAddress() const {
    if (m_twoStage != 0) {
        return (m_stage1Port & 7) * 10 + (m_stage2Port & 7);
    }
    return m_stage1Port & 7;
}

void MultiplexerDialog::SendAddress(CommDevice& port) {
    SendPortValue(static_cast<uint8_t>(m_stage1Port), port);
    if (m_stage2Port != 0) {
        SendPortValue(static_cast<uint8_t>(m_stage2Port | 8), port);
    }
}

void MultiplexerDialog::WaitForClockChange() {
    const int64_t first = m_clock.ReadMs();
    while (m_clock.ReadMs() == first) {
    }
}

void MultiplexerDialog::CalibrateDelay() {
    WaitForClockChange();  // start counting at the beginning of a step
    const int64_t reference = m_clock.ReadMs();
    m_delayCount = 0;
    while (m_clock.ReadMs() == reference) {
        ++m_delayCount;
    }
    m_delayCount *= 20;  // 32-bit unsigned, wraps like the counter itself
}

void MultiplexerDialog::LineDelay() {
    for (uint32_t i = 0; i < m_delayCount; ++i) {
        g_delaySink = g_delaySink + 1;
    }
}

void MultiplexerDialog::SendPortValue(uint8_t value, CommDevice& port) {
    CalibrateDelay();
    const uint16_t word = AddressWord(value);

    // The results of the line changes are not examined: a port that refuses modem-line
    // changes (a pseudo-terminal does) still runs the whole sequence with all its delays.
    const auto line = [&port, this](EscapeCode code, bool delayAfter) {
        port.EscapeCommFunction(code);
        if (delayAfter) {
            LineDelay();
        }
    };

    // Both lines low, then DTR high; RTS rising while DTR is high starts a word.
    line(EscapeCode::ClrDtr, false);
    line(EscapeCode::ClrRts, true);
    line(EscapeCode::SetDtr, true);
    line(EscapeCode::SetRts, true);
    // Each bit is put on RTS while DTR is low and taken by the multiplexer on DTR's rising
    // edge; the data is inverted on the line: RTS low is a 1.
    for (int bit = 0; bit < 16; ++bit) {
        line(EscapeCode::ClrDtr, true);
        line((word >> bit) & 1 ? EscapeCode::ClrRts : EscapeCode::SetRts, true);
        line(EscapeCode::SetDtr, true);
    }
    // RTS high, then RTS falling while DTR is high ends the word; both lines end low.
    line(EscapeCode::ClrDtr, true);
    line(EscapeCode::SetRts, true);
    line(EscapeCode::SetDtr, true);
    line(EscapeCode::ClrRts, true);
    line(EscapeCode::ClrDtr, false);

    // The lines rest one to two clock steps before anything else happens on the port: time
    // for the multiplexer to switch before the next word or the first command.
    WaitForClockChange();
    WaitForClockChange();
}

}  // namespace tavrolin
