// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "mqtt/MqttOutbox.h"
#include "settings/MqttSettings.h"

namespace tavrolin {

// The connection to the broker that sends what the outbox holds, on a thread of its own (the
// platform's, libmosquitto).
class MqttConnection {
public:
    virtual ~MqttConnection();
    // Sets the connection up and starts its thread; the first attempt follows at once. False,
    // with a German message, when the settings cannot be used at all.
    virtual bool Start(std::string& error) = 0;
    // Sends what is still queued while the broker takes it, for at most drain, then ends. How
    // many messages the broker has not acknowledged.
    virtual std::size_t Stop(std::chrono::milliseconds drain) = 0;
};

// Makes the connection for the settings, on the outbox.
using MqttConnectionFactory =
    std::function<std::unique_ptr<MqttConnection>(const MqttSettings&, MqttOutbox&)>;

}  // namespace tavrolin
