// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <thread>

#include "mqtt/MqttConnection.h"
#include "mqtt/MqttOutbox.h"
#include "mqtt/MqttPublisher.h"
#include "settings/MqttSettings.h"

struct mosquitto;
struct mosquitto_message;

namespace tavrolin {

// The connection to the broker through libmosquitto, on a thread of its own: it connects,
// reconnects after failures, and sends what the tick has put into the outbox, by
// MqttPublisher's rules. libmosquitto is used from this one thread only.
//
// The thread runs libmosquitto's loop itself (mosquitto_socket, mosquitto_loop_read/write/
// misc under poll(2)) instead of mosquitto_loop_start: that thread never tries again after
// a failed first connect, and it ends for good at a failed name lookup or TLS handshake, so
// a broker that is not there at boot would never be reached. An eventfd wakes the loop when
// the tick has queued something.
//
// Each connection starts with a fresh libmosquitto client: libmosquitto would otherwise send
// again, after the next connect, what the broken connection had not acknowledged, and the
// outbox does that itself, in its own order.
class MosquittoConnection : public MqttConnection, private MqttClient {
public:
    MosquittoConnection(const MqttSettings& settings, MqttOutbox& outbox);
    ~MosquittoConnection() override;
    MosquittoConnection(const MosquittoConnection&) = delete;
    MosquittoConnection& operator=(const MosquittoConnection&) = delete;

    // Sets the connection up and starts its thread; the first attempt follows at once. False,
    // with a German message, when libmosquitto refuses the settings.
    bool Start(std::string& error) override;
    // Sends what is still queued while the broker takes it, for at most `drain`, then the
    // retained "offline", and ends the thread. How many messages the broker has not
    // acknowledged.
    std::size_t Stop(std::chrono::milliseconds drain) override;

private:
    Handed Publish(const std::string& topic, std::string_view payload, int qos,
                   bool retain) override;
    void Subscribe(const std::string& topic) override;

    static int64_t NowMs();
    // Gives the client its callbacks and settings; None, or why it cannot connect, with a
    // German message.
    MqttFailure Configure(std::string& error);
    void Run();
    void Attempt(int64_t nowMs);
    // Services the socket once; false when the connection has ended.
    bool Service(int timeoutMs);
    void Ended(int64_t nowMs);
    bool StopDone(int64_t nowMs);
    void Wake() const;

    static void OnConnect(mosquitto* m, void* self, int rc);
    static void OnPublish(mosquitto* m, void* self, int id);
    static void OnMessage(mosquitto* m, void* self, const mosquitto_message* message);

    const MqttSettings m_settings;
    const std::string m_clientId;
    MqttOutbox& m_outbox;
    MqttPublisher m_publisher;
    bool m_libraryInitialised = false;
    mosquitto* m_mosquitto = nullptr;
    int m_wakeFd = -1;
    std::thread m_thread;

    // The network thread's own.
    bool m_socketOpen = false;
    bool m_fresh = true;  // the client has not been connected since it was set up
    MqttFailure m_pending = MqttFailure::None;  // why the current attempt is failing
    std::optional<int> m_offlineId;
    std::optional<int64_t> m_offlineDeadlineMs;

    std::atomic<bool> m_stopRequested{false};
    std::atomic<int64_t> m_drainUntilMs{0};
};

// The name of this machine: the receiver's name unless the profile gives one.
std::string LocalHostName();

// Makes MosquittoConnections.
MqttConnectionFactory MosquittoConnections();

}  // namespace tavrolin
