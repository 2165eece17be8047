// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/MqttPublisher.h"

#include <algorithm>

#include "mqtt/Discovery.h"

namespace tavrolin {

MqttClient::~MqttClient() = default;

MqttPublisher::MqttPublisher(const MqttSettings& settings, MqttOutbox& outbox, MqttClient& client,
                             Options options)
    : m_settings(settings),
      m_topics(settings),
      m_receiverConfig(ReceiverDiscoveryConfig(m_topics, settings.receiverName)),
      m_outbox(outbox),
      m_client(client),
      m_options(options),
      m_random(options.seed),
      m_retryMs(options.firstRetryMs) {}

void MqttPublisher::Send(const std::string& topic, std::string_view payload, bool retain) {
    const MqttClient::Handed handed = m_client.Publish(topic, payload, 1, retain);
    if (handed.result == MqttClient::Handed::Result::Sent) {
        m_inFlight.emplace(handed.id, std::nullopt);
    }
}

void MqttPublisher::SendConfigs(const std::vector<std::pair<int, Announcement>>& announcements) {
    Send(m_topics.ReceiverConfig(), m_receiverConfig, false);
    for (const auto& [index, a] : announcements) {
        if (!a.config.empty()) {
            Send(m_topics.SensorConfig(SensorAt(index)), a.config, false);
        }
    }
}

void MqttPublisher::OnConnected(int64_t) {
    m_connected = true;
    m_retryMs = m_options.firstRetryMs;
    // A new connection has acknowledged nothing yet: the queue is sent from its front.
    m_inFlight.clear();
    m_outbox.Rewind();
    m_outbox.SetConnected();

    Send(m_topics.Status(), kOnline, true);
    const std::vector<std::pair<int, Announcement>> announcements = m_outbox.Announcements();
    if (m_settings.discovery) {
        SendConfigs(announcements);
        m_client.Subscribe(m_topics.HomeAssistantStatus());
    }
    for (const auto& [index, a] : announcements) {
        if (a.online) {
            Send(m_topics.Availability(SensorAt(index)), *a.online ? kOnline : kOffline, true);
        }
    }
}

void MqttPublisher::OnFailure(MqttFailure failure, int64_t nowMs) {
    m_connected = false;
    // No acknowledgement comes any more for what the connection took.
    m_inFlight.clear();
    m_outbox.Rewind();
    m_outbox.SetFailure(failure);
    m_failedAtMs = nowMs;
    m_waitMs = m_retryMs;
    m_retryMs = std::min(m_retryMs * 2, m_options.maxRetryMs);
}

int64_t MqttPublisher::NextAttemptMs() const {
    const bool filling = m_outbox.Queued() * 2 > m_outbox.Capacity();
    return m_failedAtMs + (filling ? std::min(m_waitMs, m_options.fillingRetryMs) : m_waitMs);
}

void MqttPublisher::OnPublished(int id) {
    const auto sent = m_inFlight.find(id);
    if (sent == m_inFlight.end()) {
        return;
    }
    if (sent->second) {
        m_outbox.Acknowledged(*sent->second);
    }
    m_inFlight.erase(sent);
}

void MqttPublisher::OnMessage(std::string_view topic, std::string_view payload, int64_t nowMs) {
    if (topic == m_topics.HomeAssistantStatus() && payload == kOnline && !m_resendAtMs) {
        std::uniform_int_distribution<int64_t> delay(m_options.birthDelayMinMs,
                                                     m_options.birthDelayMaxMs);
        m_resendAtMs = nowMs + delay(m_random);
    }
}

void MqttPublisher::Pump(int64_t nowMs) {
    if (!m_connected) {
        return;
    }
    if (m_resendAtMs && nowMs >= *m_resendAtMs) {
        m_resendAtMs.reset();
        SendConfigs(m_outbox.Announcements());
    }
    while (m_inFlight.size() < m_options.window) {
        const std::optional<MqttOutbox::Outgoing> next = m_outbox.Next();
        if (!next) {
            break;
        }
        const QueuedMessage& m = next->message;
        const SensorKey key = SensorAt(m.sensor);
        const MqttClient::Handed handed = [&] {
            switch (m.kind) {
                case QueuedMessage::Kind::Config:
                    return m_client.Publish(m_topics.SensorConfig(key), m.payload, 1, false);
                case QueuedMessage::Kind::Availability:
                    return m_client.Publish(m_topics.Availability(key), m.payload, 1, true);
                case QueuedMessage::Kind::State:
                    break;
            }
            return m_client.Publish(m_topics.State(key), m.payload, 1, false);
        }();
        switch (handed.result) {
            case MqttClient::Handed::Result::Sent:
                m_outbox.Taken(next->sequence);
                m_inFlight.emplace(handed.id, next->sequence);
                break;
            case MqttClient::Handed::Result::Refused:
                m_outbox.Refused(next->sequence);
                break;
            case MqttClient::Handed::Result::NotNow:
                return;  // the connection is breaking; its end is seen next
        }
    }
}

std::optional<int> MqttPublisher::PublishOffline() {
    const MqttClient::Handed handed = m_client.Publish(m_topics.Status(), kOffline, 1, true);
    if (handed.result != MqttClient::Handed::Result::Sent) {
        return std::nullopt;
    }
    m_inFlight.emplace(handed.id, std::nullopt);
    return handed.id;
}

}  // namespace tavrolin
