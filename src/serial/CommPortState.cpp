// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/CommPortState.h"

#include <algorithm>
#include <cstring>

#include "serial/CommDevice.h"

namespace tavrolin {

CommPortState::CommPortState(std::size_t capacity) : m_ring(capacity) {}

void CommPortState::Reset() {
    m_head = 0;
    m_count = 0;
    m_errors = 0;
    m_eventMask = 0;
    m_happened = 0;
    m_eventChar = 0;
    m_hasReadEvent = false;
    m_readEventSet = false;
    m_pendingWait = nullptr;
}

void CommPortState::Deliver(std::span<const uint8_t> bytes) {
    const std::size_t taken = std::min(bytes.size(), FreeSpace());
    if (taken > 0) {
        // The free room starts behind the queued bytes and may wrap round to the front.
        const std::size_t tail = (m_head + m_count) % m_ring.size();
        const std::size_t first = std::min(taken, m_ring.size() - tail);
        std::copy_n(bytes.data(), first, m_ring.data() + tail);
        std::copy_n(bytes.data() + first, taken - first, m_ring.data());
        m_count += taken;
        if (std::memchr(bytes.data(), m_eventChar, taken) != nullptr) {
            Happened(comm::EV_RXFLAG);
        }
    }
    if (taken < bytes.size()) {
        ReportLineErrors(comm::CE_RXOVER);
    }
}

void CommPortState::ReportLineErrors(uint32_t flags) {
    if (flags == 0) {
        return;
    }
    m_errors |= flags;
    Happened(comm::EV_ERR);
}

void CommPortState::Happened(uint32_t events) {
    m_happened |= events & m_eventMask;
    if (m_pendingWait != nullptr && m_happened != 0) {
        *m_pendingWait = m_happened;
        m_happened = 0;
        m_pendingWait = nullptr;
        m_readEventSet = true;
    }
}

void CommPortState::SetCommMask(uint32_t eventMask) {
    m_eventMask = eventMask;
    m_happened = 0;
    EndPendingWait();
}

void CommPortState::EndPendingWait() {
    if (m_pendingWait != nullptr) {
        *m_pendingWait = 0;
        m_pendingWait = nullptr;
        m_readEventSet = true;
    }
}

void CommPortState::CreateReadEvent() {
    m_hasReadEvent = true;
    m_readEventSet = false;
}

bool CommPortState::WaitCommEvent(uint32_t& eventMask) {
    if (m_happened != 0) {
        eventMask = m_happened;
        m_happened = 0;
        m_readEventSet = true;
        return true;
    }
    m_readEventSet = false;
    m_pendingWait = &eventMask;
    return false;
}

void CommPortState::ClearCommError(uint32_t& errors, uint32_t& inQueue) {
    errors = m_errors;
    m_errors = 0;
    inQueue = static_cast<uint32_t>(m_count);
}

uint32_t CommPortState::Read(uint8_t* buffer, uint32_t count) {
    m_readEventSet = false;
    const auto n = static_cast<uint32_t>(std::min<std::size_t>(count, m_count));
    if (n > 0) {
        // The queued bytes may wrap round to the front of the ring.
        const std::size_t first = std::min<std::size_t>(n, m_ring.size() - m_head);
        std::copy_n(m_ring.data() + m_head, first, buffer);
        std::copy_n(m_ring.data(), n - first, buffer + first);
        m_head = (m_head + n) % m_ring.size();
        m_count -= n;
    }
    m_readEventSet = true;
    return n;
}

void CommPortState::Purge(uint32_t flags) {
    if ((flags & comm::PURGE_RXCLEAR) != 0) {
        m_head = 0;
        m_count = 0;
    }
}

}  // namespace tavrolin
