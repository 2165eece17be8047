// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/MqttOutbox.h"

#include <algorithm>

namespace tavrolin {

bool NeedsAction(MqttFailure failure) {
    switch (failure) {
        case MqttFailure::TlsFailed:
        case MqttFailure::BadCredentials:
        case MqttFailure::NotAuthorised:
        case MqttFailure::BrokerRefused:
            return true;
        case MqttFailure::None:
        case MqttFailure::Refused:
        case MqttFailure::Unreachable:
        case MqttFailure::HostUnknown:
        case MqttFailure::Lost:
            break;
    }
    return false;
}

void MqttOutbox::Push(QueuedMessage message) {
    // The old message is destroyed outside the lock.
    std::optional<Entry> dropped;
    {
        const std::lock_guard lock(m_mutex);
        if (m_queue.size() >= m_capacity) {
            const std::size_t oldest = m_taken < m_queue.size() ? m_taken : 0;
            dropped = std::move(m_queue[oldest]);
            EraseAt(oldest);
            ++m_status.dropped;
        }
        m_queue.push_back({m_nextSequence++, std::move(message)});
    }
}

void MqttOutbox::Announce(const SensorKey& key, Announcement announcement) {
    const std::lock_guard lock(m_mutex);
    std::swap(m_announcements[static_cast<std::size_t>(IndexOf(key))], announcement);
}

void MqttOutbox::SetOnline(const SensorKey& key, bool online) {
    const std::lock_guard lock(m_mutex);
    Announcement& a = m_announcements[static_cast<std::size_t>(IndexOf(key))];
    if (a.online) {
        a.online = online;
    }
}

MqttStatus MqttOutbox::Status() const {
    const std::lock_guard lock(m_mutex);
    MqttStatus status = m_status;
    status.queued = m_queue.size();
    return status;
}

void MqttOutbox::Wake() const {
    std::function<void()> waker;
    {
        const std::lock_guard lock(m_mutex);
        waker = m_waker;
    }
    if (waker) {
        waker();
    }
}

void MqttOutbox::SetWaker(std::function<void()> waker) {
    const std::lock_guard lock(m_mutex);
    m_waker = std::move(waker);
}

std::optional<MqttOutbox::Outgoing> MqttOutbox::Next() const {
    const std::lock_guard lock(m_mutex);
    if (m_taken >= m_queue.size()) {
        return std::nullopt;
    }
    const Entry& next = m_queue[m_taken];
    return Outgoing{next.sequence, next.message};
}

void MqttOutbox::Taken(uint64_t sequence) {
    const std::lock_guard lock(m_mutex);
    // The tick may have dropped the message meanwhile; the one now next was not taken.
    if (m_taken < m_queue.size() && m_queue[m_taken].sequence == sequence) {
        ++m_taken;
    }
}

void MqttOutbox::Acknowledged(uint64_t sequence) {
    std::optional<Entry> done;
    {
        const std::lock_guard lock(m_mutex);
        if (const std::optional<std::size_t> index = TakenIndexOf(sequence)) {
            done = std::move(m_queue[*index]);
            EraseAt(*index);
        }
    }
}

void MqttOutbox::Refused(uint64_t sequence) {
    std::optional<Entry> refused;
    {
        const std::lock_guard lock(m_mutex);
        if (m_taken < m_queue.size() && m_queue[m_taken].sequence == sequence) {
            refused = std::move(m_queue[m_taken]);
            EraseAt(m_taken);
        }
    }
}

void MqttOutbox::Rewind() {
    const std::lock_guard lock(m_mutex);
    m_taken = 0;
}

std::optional<std::size_t> MqttOutbox::TakenIndexOf(uint64_t sequence) const {
    const auto taken = m_queue.begin() + static_cast<std::ptrdiff_t>(m_taken);
    const auto at = std::lower_bound(
        m_queue.begin(), taken, sequence,
        [](const Entry& entry, uint64_t wanted) { return entry.sequence < wanted; });
    if (at == taken || at->sequence != sequence) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(at - m_queue.begin());
}

void MqttOutbox::EraseAt(std::size_t index) {
    m_queue.erase(m_queue.begin() + static_cast<std::ptrdiff_t>(index));
    if (index < m_taken) {
        --m_taken;
    }
}

std::size_t MqttOutbox::Queued() const {
    const std::lock_guard lock(m_mutex);
    return m_queue.size();
}

std::vector<std::pair<int, Announcement>> MqttOutbox::Announcements() const {
    const std::lock_guard lock(m_mutex);
    std::vector<std::pair<int, Announcement>> heard;
    for (int i = 0; i < kSensorCount; ++i) {
        if (m_announcements[static_cast<std::size_t>(i)].heard) {
            heard.emplace_back(i, m_announcements[static_cast<std::size_t>(i)]);
        }
    }
    return heard;
}

void MqttOutbox::SetConnected() {
    const std::lock_guard lock(m_mutex);
    m_status.connected = true;
    m_status.failure = MqttFailure::None;
}

void MqttOutbox::SetFailure(MqttFailure failure) {
    const std::lock_guard lock(m_mutex);
    if (m_status.connected || m_status.failure == MqttFailure::None) {
        ++m_status.outages;
        m_status.droppedBeforeOutage = m_status.dropped;
    }
    m_status.connected = false;
    m_status.failure = failure;
}

}  // namespace tavrolin
