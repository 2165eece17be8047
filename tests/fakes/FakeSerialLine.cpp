// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeSerialLine.h"

#include <algorithm>
#include <utility>

namespace tavrolin::testing {

void FakeSerialLine::Receive(std::span<const uint8_t> bytes) {
    m_queue.insert(m_queue.end(), bytes.begin(), bytes.end());
}

void FakeSerialLine::Receive(std::initializer_list<uint8_t> bytes) {
    Receive(std::span<const uint8_t>(bytes.begin(), bytes.size()));
}

void FakeSerialLine::Record(LineCall call) {
    if (record) {
        calls.push_back(std::move(call));
    }
}

std::vector<LineCall> FakeSerialLine::CallsOf(LineCall::Kind kind) const {
    std::vector<LineCall> found;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
                 [kind](const LineCall& c) { return c.kind == kind; });
    return found;
}

std::vector<std::vector<uint8_t>> FakeSerialLine::Writes() const {
    std::vector<std::vector<uint8_t>> writes;
    for (const LineCall& c : CallsOf(LineCall::Kind::Write)) {
        writes.push_back(c.bytes);
    }
    return writes;
}

std::vector<LineChange> FakeSerialLine::ChangesSince(std::size_t call) const {
    std::vector<LineChange> found;
    for (std::size_t i = call; i < calls.size(); ++i) {
        if (calls[i].kind == LineCall::Kind::Dtr || calls[i].kind == LineCall::Kind::Rts) {
            found.push_back({calls[i].kind == LineCall::Kind::Dtr ? LineChange::Line::Dtr
                                                                  : LineChange::Line::Rts,
                             calls[i].high});
        }
    }
    return found;
}

LineError FakeSerialLine::Open(int portNumber) {
    Record({LineCall::Kind::Open, "COM" + std::to_string(portNumber)});
    if (m_open) {
        return LineError::InUse;
    }
    if (openError != LineError::None) {
        return openError;
    }
    m_open = true;
    gone = false;
    m_queue.clear();
    m_faults = 0;
    dtr = rts = false;
    return LineError::None;
}

void FakeSerialLine::Close() {
    Record({LineCall::Kind::Close});
    m_open = false;
}

LineRead FakeSerialLine::Read(std::span<uint8_t> buffer) {
    LineRead result;
    if (!m_open || gone || failRead) {
        result.error = gone ? LineError::Gone : LineError::Failed;
        Record({.kind = LineCall::Kind::Read, .room = buffer.size()});
        return result;
    }
    result.count = std::min(buffer.size(), m_queue.size());
    std::copy_n(m_queue.begin(), result.count, buffer.begin());
    m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(result.count));
    result.faults = std::exchange(m_faults, 0);
    Record({.kind = LineCall::Kind::Read,
            .bytes = std::vector<uint8_t>(buffer.begin(), buffer.begin() + result.count),
            .room = buffer.size()});
    return result;
}

InputWait FakeSerialLine::WaitForInput(std::chrono::milliseconds& timeLeft) {
    Record({.kind = LineCall::Kind::Wait, .ms = timeLeft.count()});
    if (!m_open || gone || failWait) {
        return InputWait::Failed;
    }
    if (!m_queue.empty() || m_faults != 0) {
        return InputWait::Arrived;
    }
    if (duringWait) {
        duringWait();
    }
    const bool arrived = !m_queue.empty() || m_faults != 0;
    if (!arrived || std::chrono::milliseconds(arrivalMs) > timeLeft) {
        // Nothing came, or it came after the deadline.
        timeLeft = std::chrono::milliseconds(0);
        return InputWait::TimedOut;
    }
    timeLeft -= std::chrono::milliseconds(arrivalMs);
    return InputWait::Arrived;
}

void FakeSerialLine::DiscardInput() {
    Record({LineCall::Kind::Discard});
    m_queue.clear();
}

bool FakeSerialLine::Write(std::span<const uint8_t> bytes) {
    Record(
        {.kind = LineCall::Kind::Write, .bytes = std::vector<uint8_t>(bytes.begin(), bytes.end())});
    if (!m_open || gone) {
        return false;
    }
    if (onWrite) {
        onWrite(bytes);
    }
    return true;
}

bool FakeSerialLine::SetDtr(bool high) {
    Record({.kind = LineCall::Kind::Dtr, .high = high});
    if (record) {
        changes.push_back({LineChange::Line::Dtr, high});
    }
    if (!m_open || failModemLines) {
        return false;
    }
    dtr = high;
    return true;
}

bool FakeSerialLine::SetRts(bool high) {
    Record({.kind = LineCall::Kind::Rts, .high = high});
    if (record) {
        changes.push_back({LineChange::Line::Rts, high});
    }
    if (!m_open || failModemLines) {
        return false;
    }
    rts = high;
    return true;
}

}  // namespace tavrolin::testing
