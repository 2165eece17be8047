// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "serial/CommDevice.h"
#include "serial/CommPortState.h"

namespace tavrolin::testing {

// One call on the fake device, in the order the port layer made them.
struct CommCall {
    enum class Kind {
        Open,
        Close,
        PurgeComm,
        SetCommTimeouts,
        GetCommConfig,
        SetCommConfig,
        SetCommMask,
        CreateReadEvent,
        WaitCommEvent,
        WaitForReadEvent,
        ClearCommError,
        ReadFile,
        WriteFile,
        EscapeCommFunction,
    };
    Kind kind;
    uint32_t value = 0;          // flags, mask, timeout, count or size
    std::string name;            // Open: the port name
    std::vector<uint8_t> bytes;  // WriteFile: the bytes; ReadFile: the bytes read
    EscapeCode escape = EscapeCode::ClrDtr;
};

// A scripted serial port with the event rules of the real one (CommPortState). Input
// arrives by Receive/RaiseLineError, directly or from the hooks that run when the port
// layer writes or waits; every call is recorded (unless record is off).
class FakeCommDevice : public CommDevice {
public:
    FakeCommDevice();

    // --- Script -------------------------------------------------------------------
    void Receive(std::span<const uint8_t> bytes);
    void Receive(std::initializer_list<uint8_t> bytes);
    void RaiseLineError(uint32_t flags);
    // Runs after every WriteFile with its bytes: the receiver's reaction (an answer frame).
    std::function<void(std::span<const uint8_t>)> onWrite;
    // Runs once per WaitForReadEvent with a timeout, while the event is not set: what
    // arrives while the caller waits.
    std::function<void()> duringWait;

    OpenError openError = OpenError::None;  // the next Open fails with this
    bool failRead = false;
    // The device has gone (an adapter pulled): reads, writes and waits fail and Gone() says
    // so, until the port is closed. Opening again is up to openError.
    bool gone = false;
    bool failWait = false;      // WaitForReadEvent returns Failed
    bool failEscape = false;    // EscapeCommFunction returns false (the line stays)
    bool failConfig = false;    // the configuration calls return false
    CommConfig reportedConfig;  // what GetCommConfig reports before the port layer changes it
    uint32_t reportedConfigSize = comm::COMMCONFIG_SIZE;

    // --- Record -------------------------------------------------------------------
    bool record = true;  // false: calls stays empty (for a fuzz target's speed)
    std::vector<CommCall> calls;
    std::vector<CommCall> CallsOf(CommCall::Kind kind) const;
    std::vector<std::vector<uint8_t>> Writes() const;
    std::vector<EscapeCode> Escapes() const;
    bool dtr = false;
    bool rts = false;
    std::optional<CommConfig> appliedConfig;
    std::optional<CommTimeouts> appliedTimeouts;
    uint32_t appliedCommMask = 0;
    int liveEvents = 0;  // read events created and not yet released
    CommPortState& State() { return m_state; }
    void ClearRecord() { calls.clear(); }

    // --- CommDevice ---------------------------------------------------------------
    OpenError Open(std::string_view portName) override;
    bool IsOpen() const override { return m_open; }
    bool Gone() const override { return m_open && gone; }
    void Close() override;
    bool PurgeComm(uint32_t flags) override;
    bool SetCommTimeouts(const CommTimeouts& timeouts) override;
    bool GetCommConfig(CommConfig& config, uint32_t& size) override;
    bool SetCommConfig(const CommConfig& config, uint32_t size) override;
    bool SetCommMask(uint32_t eventMask) override;
    bool CreateReadEvent() override;
    bool WaitCommEvent(uint32_t& eventMask) override;
    WaitResult WaitForReadEvent(uint32_t timeoutMs) override;
    bool ClearCommError(uint32_t& errors, uint32_t& inQueue) override;
    bool ReadFile(uint8_t* buffer, uint32_t count, uint32_t& read) override;
    bool WriteFile(std::span<const uint8_t> bytes) override;
    bool EscapeCommFunction(EscapeCode code) override;

private:
    void Record(CommCall::Kind kind, uint32_t value = 0);

    CommPortState m_state;
    bool m_open = false;
};

}  // namespace tavrolin::testing
