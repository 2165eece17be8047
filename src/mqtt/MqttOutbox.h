// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
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
// messages in arrival order, the current announcements, and the connection's status. Every
// operation holds the lock only briefly (a few pointer moves, the copy of one message), so the
// tick never waits on the network.
//
// A message stays in the queue until the broker has acknowledged it (PUBACK), not merely
// until it was handed to the connection: what a connection that breaks took and never
// acknowledged is sent again on the next one, before anything newer. The queue's front part
// is what the current connection has taken, in order; the rest waits. Beyond the capacity the
// oldest waiting message is dropped and counted; what the connection has taken is kept, for
// it is on its way and most likely arrives, unless nothing waits.
class MqttOutbox {
public:
    static constexpr std::size_t kDefaultCapacity = 10000;
    explicit MqttOutbox(std::size_t capacity = kDefaultCapacity)
        : m_capacity(std::max<std::size_t>(capacity, 1)) {}

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
    // A message with its place in the queue, by which it is named to the calls below.
    struct Outgoing {
        uint64_t sequence = 0;
        QueuedMessage message;
    };
    // A copy of the oldest message the connection has not taken yet.
    std::optional<Outgoing> Next() const;
    // The connection has taken the message Next gave.
    void Taken(uint64_t sequence);
    // The broker has the message: it leaves the queue. Nothing when it has been dropped.
    void Acknowledged(uint64_t sequence);
    // The connection refuses the message for good: it leaves the queue.
    void Refused(uint64_t sequence);
    // The connection has ended: what it took and did not acknowledge waits again.
    void Rewind();
    // Messages not yet acknowledged, taken or waiting.
    std::size_t Queued() const;
    // The announcements of the sensors heard, by sensor index.
    std::vector<std::pair<int, Announcement>> Announcements() const;
    void SetConnected();
    void SetFailure(MqttFailure failure);

private:
    struct Entry {
        uint64_t sequence;
        QueuedMessage message;
    };
    // Where the message of that sequence number lies among the taken ones, if it is there.
    std::optional<std::size_t> TakenIndexOf(uint64_t sequence) const;
    void EraseAt(std::size_t index);

    mutable std::mutex m_mutex;
    const std::size_t m_capacity;
    std::deque<Entry> m_queue;
    std::size_t m_taken = 0;  // the first m_taken entries are with the connection
    uint64_t m_nextSequence = 0;
    std::array<Announcement, kSensorCount> m_announcements{};
    MqttStatus m_status;
    std::function<void()> m_waker;
};

}  // namespace tavrolin
