// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

#include "decode/Reading.h"
#include "settings/MqttSettings.h"

namespace tavrolin {

// Where everything is published, for one receiver:
//   <Topic>/<Receiver>/<sensor-id>/state          one JSON object per reading
//   <Topic>/<Receiver>/<sensor-id>/availability   "offline" while overdue, else "online"
//   <Topic>/<Receiver>/status                     "online", or "offline" (also the last will)
//   <DiscoveryPrefix>/device/tavrolin_<Receiver>_<sensor-id>/config   Home Assistant
//   <DiscoveryPrefix>/device/tavrolin_<Receiver>/config               the receiver itself
//   <DiscoveryPrefix>/status                      Home Assistant's own "online" at its start
// Built once; the per-sensor topics never allocate again.
class MqttTopics {
public:
    explicit MqttTopics(const MqttSettings& settings);

    const std::string& State(const SensorKey& key) const { return m_state[Index(key)]; }
    const std::string& Availability(const SensorKey& key) const {
        return m_availability[Index(key)];
    }
    const std::string& SensorConfig(const SensorKey& key) const { return m_config[Index(key)]; }
    const std::string& Status() const { return m_status; }
    const std::string& ReceiverConfig() const { return m_receiverConfig; }
    const std::string& HomeAssistantStatus() const { return m_homeAssistantStatus; }

    // Home Assistant's device identifiers: "tavrolin_<Receiver>_<sensor-id>",
    // "tavrolin_<Receiver>".
    std::string SensorDeviceId(const SensorKey& key) const;
    const std::string& ReceiverDeviceId() const { return m_receiverDevice; }

private:
    static std::size_t Index(const SensorKey& key) {
        return static_cast<std::size_t>(IndexOf(key));
    }

    std::array<std::string, kSensorCount> m_state;
    std::array<std::string, kSensorCount> m_availability;
    std::array<std::string, kSensorCount> m_config;
    std::string m_status;
    std::string m_receiverConfig;
    std::string m_homeAssistantStatus;
    std::string m_receiverDevice;
};

}  // namespace tavrolin
