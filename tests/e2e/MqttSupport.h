// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The MQTT side of the end-to-end tests: the Debian mosquitto broker as a child on a free
// local port, and a subscriber that collects what arrives.

#include <signal.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "E2eSupport.h"

struct mosquitto;
struct mosquitto_message;

namespace tavrolin::e2e {

class Broker {
public:
    struct Options {
        // Keeps the subscribers' sessions and their queued messages across a restart.
        bool persistent = false;
        // "user:password" to require, none: anonymous clients are welcome.
        std::optional<std::string> login{};
    };
    Broker(const TempDir& dir, Options options);
    explicit Broker(const TempDir& dir) : Broker(dir, Options{}) {}

    // Starts (again, on the same port) and waits until it listens.
    bool Start();
    // Ends it with SIGTERM, as a broker that is shut down (a persistent one saves its
    // database), or with SIGKILL, as one that dies (it comes back with the database of its
    // last orderly end).
    bool Stop(int signal = SIGTERM);
    int Port() const { return m_port; }
    ChildProcess& Process() { return *m_process; }

private:
    std::string m_config;
    int m_port = 0;
    std::unique_ptr<ChildProcess> m_process;
};

class Subscriber {
public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retained;
    };
    struct Options {
        std::string clientId{};  // set: a persistent session under this id
        std::optional<std::string> user{};
        std::optional<std::string> password{};
    };
    // Subscribes to `filter` with QoS 1 once connected, and again after every reconnect.
    Subscriber(int port, std::string filter, Options options);
    Subscriber(int port, std::string filter) : Subscriber(port, std::move(filter), Options{}) {}
    ~Subscriber();
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // Waits until the subscription stands.
    bool Ready(TestClock::time_point deadline);
    // Waits until the messages so far satisfy `done`.
    bool WaitFor(const std::function<bool(const std::vector<Message>&)>& done,
                 TestClock::time_point deadline);
    std::vector<Message> Messages() const;
    void Publish(const std::string& topic, const std::string& payload);
    // Waits until the broker has acknowledged a message of the subscriber's own, and so every
    // acknowledgement the subscriber sent before it: the broker holds nothing it has received
    // as undelivered.
    bool Flush(TestClock::time_point deadline);

private:
    static void OnConnect(mosquitto* m, void* self, int rc);
    static void OnSubscribe(mosquitto* m, void* self, int id, int count, const int* granted);
    static void OnMessage(mosquitto* m, void* self, const mosquitto_message* message);
    static void OnPublish(mosquitto* m, void* self, int id);

    std::string m_filter;
    mosquitto* m_mosquitto = nullptr;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_subscribed = false;
    std::vector<Message> m_messages;
    std::set<int> m_acknowledged;
};

// A profile for the logger: [SYSTEM] with the protocol file in dir, COM1 at dir/ttySIM, and
// the given [MQTT] lines, the broker's address first.
std::vector<std::string> MqttProfileArgs(const TempDir& dir, int port,
                                         const std::string& mqttLines = "");

}  // namespace tavrolin::e2e
