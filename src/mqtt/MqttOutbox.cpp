// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/MqttOutbox.h"

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
    std::optional<QueuedMessage> dropped;
    {
        const std::lock_guard lock(m_mutex);
        if (m_queue.size() >= m_capacity) {
            dropped = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_status.dropped;
        }
        m_queue.push_back(std::move(message));
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

std::optional<QueuedMessage> MqttOutbox::Pop() {
    const std::lock_guard lock(m_mutex);
    if (m_queue.empty()) {
        return std::nullopt;
    }
    QueuedMessage message = std::move(m_queue.front());
    m_queue.pop_front();
    return message;
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
