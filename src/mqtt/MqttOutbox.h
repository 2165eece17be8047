// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "decode/Reading.h"

namespace tavrolin {

// Why there is no connection to the broker, as the network layer tells it.
enum class MqttFailure : uint8_t {
    None,
    Refused,         // nobody takes connections on that port
    Unreachable,     // no route, the network is down, or no answer in time
    HostUnknown,     // the host name does not resolve
    TlsFailed,       // the TLS handshake failed: certificate or CA
    BadCredentials,  // the broker refuses user name or password
    NotAuthorised,   // the broker refuses this client
    BrokerRefused,   // the broker refuses for another reason
    Lost,            // a connection that stood broke
};

// A failure that lasts until someone changes a setting, not one that passes by itself.
bool NeedsAction(MqttFailure failure);

// One message waiting for the broker. The topic follows from kind and sensor, so a queued
// reading costs its JSON and nothing more.
struct QueuedMessage {
    enum class Kind : uint8_t {
        State,         // a reading, QoS 1
        Config,        // a sensor's discovery config, QoS 1
        Availability,  // "online"/"offline" of a sensor, QoS 1, retained
    };
    Kind kind = Kind::State;
    uint8_t sensor = 0;  // IndexOf the sensor
    std::string payload;
};

// What the user may have to hear of the connection.
struct MqttStatus {
    bool connected = false;
    MqttFailure failure = MqttFailure::None;  // the latest while not connected
    uint64_t outages = 0;                     // outages begun so far
    uint64_t dropped = 0;                     // messages dropped from a full queue, ever
    uint64_t droppedBeforeOutage = 0;         // dropped when the latest outage began
    std::size_t queued = 0;
};

// What a sensor has announced: sent again whenever the connection comes back and when Home
// Assistant restarts.
struct Announcement {
    bool heard = false;
    std::string config;          // discovery config; empty without discovery
    std::optional<bool> online;  // the availability last published; none for event sensors
};

// The meeting point of the receiver's tick and the network thread: a bounded queue of
// messages in arrival order (beyond its capacity the oldest are dropped), the current
// announcements, and the connection's status. Every operation holds the lock only for a
// few pointer moves, so the tick never waits on the network.
class MqttOutbox {
public:
    static constexpr std::size_t kDefaultCapacity = 10000;
    explicit MqttOutbox(std::size_t capacity = kDefaultCapacity) : m_capacity(capacity) {}

    std::size_t Capacity() const { return m_capacity; }

    // The tick's side.
    void Push(QueuedMessage message);
    void Announce(const SensorKey& key, Announcement announcement);
    void SetOnline(const SensorKey& key, bool online);
    MqttStatus Status() const;
    // Tells the network thread that there is something new.
    void Wake() const;

    // The network thread's side.
    void SetWaker(std::function<void()> waker);
    std::optional<QueuedMessage> Pop();
    std::size_t Queued() const;
    // The announcements of the sensors heard, by sensor index.
    std::vector<std::pair<int, Announcement>> Announcements() const;
    void SetConnected();
    void SetFailure(MqttFailure failure);

private:
    mutable std::mutex m_mutex;
    const std::size_t m_capacity;
    std::deque<QueuedMessage> m_queue;
    std::array<Announcement, kSensorCount> m_announcements{};
    MqttStatus m_status;
    std::function<void()> m_waker;
};

}  // namespace tavrolin
