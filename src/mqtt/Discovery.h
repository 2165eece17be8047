// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "decode/Reading.h"
#include "decode/WeatherValues.h"
#include "mqtt/MqttTopics.h"

namespace tavrolin {

// Home Assistant's device-based discovery: one config message per device, with one
// component per value the sensor sends. The configs are sent again whenever Home Assistant
// starts, so they are not retained (a retained config brings a removed sensor back).

// What a sensor's device shows in Home Assistant.
struct SensorDevice {
    SensorKey key;
    std::string name;  // the friendly name from [Sensornamen], or "Außen 1"
    bool version12 = false;
    std::span<const Quantity> quantities;  // what its readings carry, in their order
    // What the program derives from them with the current settings (WeatherQuantitiesOf),
    // in their order. A wind sensor's compass point comes with its direction.
    std::span<const WeatherQuantity> weather;
    // Home Assistant's expire_after: the values count as stale after this silence. None
    // for the event sensors, which send when something happens.
    std::optional<int64_t> expireAfterSeconds;
};

std::string SensorDiscoveryConfig(const MqttTopics& topics, const SensorDevice& device);

// The receiver as a device of its own, which the sensors name as via_device, with one
// diagnostic entity: whether Tavrolin is connected (the status topic).
std::string ReceiverDiscoveryConfig(const MqttTopics& topics, std::string_view receiverName);

// Home Assistant's expire_after for a sensor that may stay silent for overdueAfterMs, given
// what its config last said (0: nothing yet). Each change is a new config, and Home Assistant
// shows the device's entities unavailable for a moment while it takes one; so the value
// moves rarely and in coarse steps: never below the 15 minutes of a sensor whose period is
// not yet known, above them doubled until it covers the silence, and it only grows while the
// program runs. A sensor is shown unavailable as soon as it is overdue anyway (its
// availability topic); expire_after is the backstop for a program that hangs while its
// connection to the broker stays up.
int64_t ExpireAfterSeconds(int64_t overdueAfterMs, int64_t announcedSeconds);

}  // namespace tavrolin
