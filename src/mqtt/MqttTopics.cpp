// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/MqttTopics.h"

namespace tavrolin {

MqttTopics::MqttTopics(const MqttSettings& settings)
    : m_status(settings.topic + "/" + settings.receiver + "/status"),
      m_receiverConfig(settings.discoveryPrefix + "/device/tavrolin_" + settings.receiver +
                       "/config"),
      m_homeAssistantStatus(settings.discoveryPrefix + "/status"),
      m_receiverDevice("tavrolin_" + settings.receiver) {
    const std::string base = settings.topic + "/" + settings.receiver + "/";
    for (int i = 0; i < kSensorCount; ++i) {
        const SensorKey key = SensorAt(i);
        const std::string id(SensorIdOf(key));
        m_state[Index(key)] = base + id + "/state";
        m_availability[Index(key)] = base + id + "/availability";
        m_config[Index(key)] =
            settings.discoveryPrefix + "/device/" + SensorDeviceId(key) + "/config";
    }
}

std::string MqttTopics::SensorDeviceId(const SensorKey& key) const {
    return m_receiverDevice + "_" + std::string(SensorIdOf(key));
}

}  // namespace tavrolin
