// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>

#include "mqtt/MqttOutbox.h"
#include "mqtt/MqttTopics.h"
#include "settings/MqttSettings.h"

namespace tavrolin {

// What the publisher needs of a connection to the broker. Called on the network thread only.
class MqttClient {
public:
    // What the connection made of a message.
    struct Handed {
        enum class Result : uint8_t {
            Sent,    // on its way: OnPublished(id) follows once the broker has it (QoS 1)
            NotNow,  // the connection is breaking: the message waits for the next one
            // The connection never takes this message (a topic or payload libmosquitto finds
            // malformed; the settings are checked at start so that none is): it is dropped.
            Refused,
        };
        Result result = Result::NotNow;
        int id = 0;
    };
    virtual ~MqttClient();
    virtual Handed Publish(const std::string& topic, std::string_view payload, int qos,
                           bool retain) = 0;
    virtual void Subscribe(const std::string& topic) = 0;
};

// The connection's side of publishing, on the network thread: what to send when the
// connection comes (status, discovery, availability), when to try again after a failure
// (1 s, doubling up to 30 s; at most 5 s while the queue is more than half full), and the
// queue's messages in order, no more of them in flight than the window. A message leaves the
// outbox when the broker acknowledges it; what a connection took and did not acknowledge goes
// again, first, on the next one, so the order holds across an outage and only those messages
// may arrive twice.
class MqttPublisher {
public:
    struct Options {
        std::size_t window = 100;  // messages in flight (sent, not yet acknowledged) at most
        int64_t firstRetryMs = 1000;
        int64_t maxRetryMs = 30000;
        // While the queue is more than half full, a broker that is back must be found soon,
        // before readings are lost: the attempts come at least this often then.
        int64_t fillingRetryMs = 5000;
        // After Home Assistant's "online", the configs follow within this span, at a random
        // point, so that many receivers do not all answer at once.
        int64_t birthDelayMinMs = 500;
        int64_t birthDelayMaxMs = 3000;
        uint32_t seed = 1;
    };

    MqttPublisher(const MqttSettings& settings, MqttOutbox& outbox, MqttClient& client,
                  Options options);
    MqttPublisher(const MqttSettings& settings, MqttOutbox& outbox, MqttClient& client)
        : MqttPublisher(settings, outbox, client, Options{}) {}

    // The retained "offline" the broker publishes when the connection breaks unannounced.
    const std::string& WillTopic() const { return m_topics.Status(); }
    static constexpr std::string_view kOffline = "offline";
    static constexpr std::string_view kOnline = "online";

    bool Connected() const { return m_connected; }
    // When the next connection attempt is due (steady milliseconds). It comes sooner as the
    // queue fills, so ask again.
    int64_t NextAttemptMs() const;
    // When Pump has something to do besides new messages: the configs after Home
    // Assistant's start.
    std::optional<int64_t> NextTimerMs() const { return m_resendAtMs; }

    std::size_t Window() const { return m_options.window; }

    void OnConnected(int64_t nowMs);
    // A connection attempt failed, or the connection broke: what it had not acknowledged
    // waits for the next one.
    void OnFailure(MqttFailure failure, int64_t nowMs);
    // The broker has acknowledged the message of that id.
    void OnPublished(int id);
    void OnMessage(std::string_view topic, std::string_view payload, int64_t nowMs);
    // Hands queued messages to the connection while it stands and the window has room.
    void Pump(int64_t nowMs);

    // Sending waits for the broker's acknowledgements.
    bool WindowFull() const { return m_inFlight.size() >= m_options.window; }
    // Nothing queued and nothing in flight.
    bool Idle() const { return m_inFlight.empty() && m_outbox.Queued() == 0; }
    // Publishes the retained "offline" of an orderly stop; its id, to wait for.
    std::optional<int> PublishOffline();
    bool InFlight(int id) const { return m_inFlight.contains(id); }

private:
    // Sends a message of the connection's own (status, configs, availability after a
    // connect), which the next connection sends anew if this one breaks.
    void Send(const std::string& topic, std::string_view payload, bool retain);
    void SendConfigs(const std::vector<std::pair<int, Announcement>>& announcements);

    const MqttSettings m_settings;
    const MqttTopics m_topics;
    const std::string m_receiverConfig;
    MqttOutbox& m_outbox;
    MqttClient& m_client;
    const Options m_options;
    std::mt19937 m_random;

    bool m_connected = false;
    int64_t m_failedAtMs = 0;
    int64_t m_waitMs = 0;  // after the last failure
    int64_t m_retryMs;     // after the next one
    // The messages sent and not yet acknowledged, by id: the outbox's sequence number, or
    // none for the connection's own.
    std::unordered_map<int, std::optional<uint64_t>> m_inFlight;
    std::optional<int64_t> m_resendAtMs;
};

}  // namespace tavrolin
