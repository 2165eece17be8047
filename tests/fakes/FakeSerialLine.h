// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "serial/SerialLine.h"

namespace tavrolin::testing {

// One call on the fake line, in the order the link made them.
struct LineCall {
    enum class Kind { Open, Close, Read, Wait, Discard, Write, Dtr, Rts };
    Kind kind;
    std::string name{};            // Open: the port, "COM1".."COM4"
    std::vector<uint8_t> bytes{};  // Write: the bytes; Read: the bytes read
    std::size_t room = 0;          // Read: the buffer's size
    int64_t ms = 0;                // Wait: the time left when it began
    bool high = false;             // Dtr, Rts
};

// A change of a modem line, for reading address words back.
struct LineChange {
    enum class Line { Dtr, Rts };
    Line line;
    bool high;
    friend bool operator==(const LineChange&, const LineChange&) = default;
};

// A scripted serial line. Bytes arrive by Receive, directly or from the hooks that run when
// the link writes or waits; faults by RaiseFault. Time passes only in waits: a wait with
// nothing to come takes all the time it was given, and one whose hook brings bytes takes
// arrivalMs of it (all of it, timed out, when that is more than it was given). Every call is
// recorded unless record is off.
class FakeSerialLine : public SerialLine {
public:
    // --- Script -------------------------------------------------------------------
    void Receive(std::span<const uint8_t> bytes);
    void Receive(std::initializer_list<uint8_t> bytes);
    void RaiseFault(uint8_t faults) { m_faults |= faults; }
    // Runs after every Write with its bytes: the receiver's reaction (an answer frame).
    std::function<void(std::span<const uint8_t>)> onWrite;
    // Runs once per wait while nothing is there: what arrives while the link waits.
    std::function<void()> duringWait;
    int64_t arrivalMs = 5;

    LineError openError = LineError::None;  // the next Open fails with this
    bool failRead = false;
    bool failWait = false;
    // The device has gone (an adapter pulled): reads, writes and waits fail and Gone() says
    // so, until the line is closed. Opening again is up to openError.
    bool gone = false;
    bool failModemLines = false;  // SetDtr and SetRts return false (the line stays)

    // --- Record -------------------------------------------------------------------
    bool record = true;  // false: calls stays empty (for a fuzz target's speed)
    std::vector<LineCall> calls;
    std::vector<LineCall> CallsOf(LineCall::Kind kind) const;
    std::vector<std::vector<uint8_t>> Writes() const;
    // The modem-line changes among the calls from the given one on.
    std::vector<LineChange> ChangesSince(std::size_t call) const;
    std::vector<LineChange> changes;  // every modem-line change
    bool dtr = false;
    bool rts = false;
    std::size_t Queued() const { return m_queue.size(); }
    void ClearRecord() {
        calls.clear();
        changes.clear();
    }

    // --- SerialLine ---------------------------------------------------------------
    LineError Open(int portNumber) override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    bool Gone() const override { return m_open && gone; }
    LineRead Read(std::span<uint8_t> buffer) override;
    InputWait WaitForInput(std::chrono::milliseconds& timeLeft) override;
    void DiscardInput() override;
    bool Write(std::span<const uint8_t> bytes) override;
    bool SetDtr(bool high) override;
    bool SetRts(bool high) override;

private:
    void Record(LineCall call);

    bool m_open = false;
    std::deque<uint8_t> m_queue;
    uint8_t m_faults = 0;
};

}  // namespace tavrolin::testing
