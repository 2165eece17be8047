// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeCommDevice.h"

namespace tavrolin::testing {

FakeCommDevice::FakeCommDevice() {
    // A port as a driver typically reports it before anyone configured it.
    reportedConfig.dcb.baudRate = 9600;
    reportedConfig.dcb.flags = comm::DCB_BINARY | (1u << 4) | (1u << 12) | (1u << 15);
    reportedConfig.dcb.byteSize = 8;
    reportedConfig.dcb.xonLim = 2048;
    reportedConfig.dcb.xoffLim = 512;
    reportedConfig.dcb.xonChar = 0x11;
    reportedConfig.dcb.xoffChar = 0x13;
}

void FakeCommDevice::Record(CommCall::Kind kind, uint32_t value) {
    if (record) {
        calls.push_back(CommCall{kind, value, {}, {}, {}});
    }
}

std::vector<CommCall> FakeCommDevice::CallsOf(CommCall::Kind kind) const {
    std::vector<CommCall> out;
    for (const auto& c : calls) {
        if (c.kind == kind) {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<std::vector<uint8_t>> FakeCommDevice::Writes() const {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& c : CallsOf(CommCall::Kind::WriteFile)) {
        out.push_back(c.bytes);
    }
    return out;
}

std::vector<EscapeCode> FakeCommDevice::Escapes() const {
    std::vector<EscapeCode> out;
    for (const auto& c : CallsOf(CommCall::Kind::EscapeCommFunction)) {
        out.push_back(c.escape);
    }
    return out;
}

void FakeCommDevice::Receive(std::span<const uint8_t> bytes) {
    if (m_open) {
        m_state.Deliver(bytes);
    }
}

void FakeCommDevice::Receive(std::initializer_list<uint8_t> bytes) {
    Receive(std::span<const uint8_t>(bytes.begin(), bytes.size()));
}

void FakeCommDevice::RaiseLineError(uint32_t flags) {
    if (m_open) {
        m_state.ReportLineErrors(flags);
    }
}

OpenError FakeCommDevice::Open(std::string_view portName) {
    if (record) {
        calls.push_back(CommCall{CommCall::Kind::Open, 0, std::string(portName), {}, {}});
    }
    if (m_open || openError != OpenError::None) {
        return m_open ? OpenError::AlreadyOpen : openError;
    }
    m_open = true;
    m_state.Reset();
    dtr = false;
    rts = false;
    return OpenError::None;
}

void FakeCommDevice::Close() {
    Record(CommCall::Kind::Close);
    if (m_state.HasReadEvent()) {
        --liveEvents;
    }
    m_open = false;
    gone = false;
    m_state.Reset();
}

bool FakeCommDevice::PurgeComm(uint32_t flags) {
    Record(CommCall::Kind::PurgeComm, flags);
    m_state.Purge(flags);
    return m_open;
}

bool FakeCommDevice::SetCommTimeouts(const CommTimeouts& timeouts) {
    Record(CommCall::Kind::SetCommTimeouts);
    if (!m_open || failConfig) {
        return false;
    }
    appliedTimeouts = timeouts;
    return true;
}

bool FakeCommDevice::GetCommConfig(CommConfig& config, uint32_t& size) {
    Record(CommCall::Kind::GetCommConfig, size);
    if (!m_open || failConfig) {
        return false;
    }
    config = appliedConfig.value_or(reportedConfig);
    size = reportedConfigSize;
    return true;
}

bool FakeCommDevice::SetCommConfig(const CommConfig& config, uint32_t size) {
    Record(CommCall::Kind::SetCommConfig, size);
    if (!m_open || failConfig) {
        return false;
    }
    appliedConfig = config;
    m_state.SetEventChar(config.dcb.evtChar);
    return true;
}

bool FakeCommDevice::SetCommMask(uint32_t eventMask) {
    Record(CommCall::Kind::SetCommMask, eventMask);
    if (!m_open) {
        return false;
    }
    appliedCommMask = eventMask;
    m_state.SetCommMask(eventMask);
    return true;
}

bool FakeCommDevice::CreateReadEvent() {
    Record(CommCall::Kind::CreateReadEvent);
    if (!m_open) {
        return false;
    }
    if (!m_state.HasReadEvent()) {
        ++liveEvents;
    }
    m_state.CreateReadEvent();
    return true;
}

bool FakeCommDevice::WaitCommEvent(uint32_t& eventMask) {
    Record(CommCall::Kind::WaitCommEvent);
    if (!m_open) {
        return false;
    }
    return m_state.WaitCommEvent(eventMask);
}

WaitResult FakeCommDevice::WaitForReadEvent(uint32_t timeoutMs) {
    Record(CommCall::Kind::WaitForReadEvent, timeoutMs);
    if (failWait || gone || !m_state.HasReadEvent()) {
        return WaitResult::Failed;
    }
    if (!m_state.ReadEventSet() && timeoutMs > 0 && duringWait) {
        duringWait();
    }
    return m_state.ReadEventSet() ? WaitResult::Signaled : WaitResult::TimedOut;
}

bool FakeCommDevice::ClearCommError(uint32_t& errors, uint32_t& inQueue) {
    Record(CommCall::Kind::ClearCommError);
    if (!m_open) {
        return false;
    }
    m_state.ClearCommError(errors, inQueue);
    return true;
}

bool FakeCommDevice::ReadFile(uint8_t* buffer, uint32_t count, uint32_t& read) {
    Record(CommCall::Kind::ReadFile, count);
    if (!m_open || failRead || gone) {
        read = 0;
        return false;
    }
    read = m_state.Read(buffer, count);
    if (record) {
        calls.back().bytes.assign(buffer, buffer + read);
    }
    return true;
}

bool FakeCommDevice::WriteFile(std::span<const uint8_t> bytes) {
    if (record) {
        calls.push_back(CommCall{CommCall::Kind::WriteFile,
                                 static_cast<uint32_t>(bytes.size()),
                                 {},
                                 std::vector<uint8_t>(bytes.begin(), bytes.end()),
                                 {}});
    }
    if (!m_open || gone) {
        return false;
    }
    if (onWrite) {
        onWrite(bytes);
    }
    return true;
}

bool FakeCommDevice::EscapeCommFunction(EscapeCode code) {
    if (record) {
        calls.push_back(CommCall{
            CommCall::Kind::EscapeCommFunction, static_cast<uint32_t>(code), {}, {}, code});
    }
    if (!m_open || failEscape) {
        return false;
    }
    switch (code) {
        case EscapeCode::SetRts:
            rts = true;
            break;
        case EscapeCode::ClrRts:
            rts = false;
            break;
        case EscapeCode::SetDtr:
            dtr = true;
            break;
        case EscapeCode::ClrDtr:
            dtr = false;
            break;
    }
    return true;
}

}  // namespace tavrolin::testing
