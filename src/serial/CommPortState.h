// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tavrolin {

// The driver's side of a comm port, kept by the device layer itself: the input queue, the
// line-error flags gathered since they were last cleared, the event history for
// WaitCommEvent and the manual-reset read event.
//
// The receive poll relies on the read event's rules: it is not set after the port opens;
// ReadFile and a WaitCommEvent that does not complete at once clear it; their completion
// sets it. So after an open, polls do nothing until the first operation through the event
// has completed, and while a WaitCommEvent is pending they do nothing until the event
// character or a line error completes it.
class CommPortState {
public:
    explicit CommPortState(std::size_t capacity = kDefaultCapacity);

    static constexpr std::size_t kDefaultCapacity = 4096;

    // Back to the state of a closed port: nothing queued, no errors, no event, no wait.
    void Reset();

    // --- Arrivals from the line -------------------------------------------------------
    // Queues the bytes; those beyond the capacity are lost and raise CE_RXOVER.
    void Deliver(std::span<const uint8_t> bytes);
    void ReportLineErrors(uint32_t flags);
    std::size_t QueuedCount() const { return m_count; }
    std::size_t FreeSpace() const { return m_ring.size() - m_count; }

    // --- Operations of the port -------------------------------------------------------
    void SetEventChar(uint8_t eventChar) { m_eventChar = eventChar; }
    // Sets the events that count; forgets what happened before. A pending wait completes
    // with an empty mask.
    void SetCommMask(uint32_t eventMask);
    void CreateReadEvent();
    bool HasReadEvent() const { return m_hasReadEvent; }
    bool ReadEventSet() const { return m_hasReadEvent && m_readEventSet; }
    bool WaitCommEvent(uint32_t& eventMask);
    bool WaitPending() const { return m_pendingWait != nullptr; }
    // Completes a pending wait with an empty event mask, which sets the read event.
    void EndPendingWait();
    void ClearCommError(uint32_t& errors, uint32_t& inQueue);
    // Takes up to count queued bytes; returns how many.
    uint32_t Read(uint8_t* buffer, uint32_t count);
    void Purge(uint32_t flags);

private:
    void Happened(uint32_t events);

    // The input queue: m_count bytes from m_head on, wrapping round at the end. Its room is
    // taken once, when the port is made; bytes go in and out with a copy or two.
    std::vector<uint8_t> m_ring;
    std::size_t m_head = 0;
    std::size_t m_count = 0;
    uint32_t m_errors = 0;
    uint32_t m_eventMask = 0;
    uint32_t m_happened = 0;
    uint8_t m_eventChar = 0;
    bool m_hasReadEvent = false;
    bool m_readEventSet = false;
    uint32_t* m_pendingWait = nullptr;
};

}  // namespace tavrolin
