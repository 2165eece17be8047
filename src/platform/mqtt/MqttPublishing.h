// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "app/SensorNames.h"
#include "base/Clock.h"
#include "mqtt/MqttOutbox.h"
#include "mqtt/MqttSettings.h"
#include "mqtt/MqttSink.h"
#include "platform/mqtt/MosquittoConnection.h"

namespace tavrolin {

// Publishing to MQTT as both programs use it: the sink that takes the receiver's readings on
// the tick, and the connection that sends them from its own thread.
class MqttPublishing {
public:
    // At an orderly stop, what is still queued may take this long to go out.
    static constexpr std::chrono::milliseconds kDrain{2000};

    MqttPublishing(const MqttSettings& settings, const SensorNames& names, LocalClock& wallClock,
                   CoarseClock& steadyClock)
        : m_sink(settings, names, m_outbox, wallClock, steadyClock),
          m_connection(settings, m_outbox) {}

    MqttSink& Sink() { return m_sink; }
    // False, with a German message, when the connection cannot be set up at all.
    bool Start(std::string& error) { return m_connection.Start(error); }
    // How many messages the broker has not acknowledged.
    std::size_t Stop() { return m_connection.Stop(kDrain); }

private:
    MqttOutbox m_outbox;
    MqttSink m_sink;
    MosquittoConnection m_connection;
};

}  // namespace tavrolin
