// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/Discovery.h"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>

#ifndef TAVROLIN_VERSION
#define TAVROLIN_VERSION "0"
#endif

namespace tavrolin {

namespace {

// Keys stay in the order they are set in, which is the order a person reading the config
// expects.
using Object = boost::json::object;
using Array = boost::json::array;

// How Home Assistant knows a quantity, where it has a device class for it. The units are
// those of InfoOf(), which are the ones Home Assistant accepts for these classes.
struct HomeAssistantClass {
    const char* deviceClass;
    const char* stateClass;
};
std::optional<HomeAssistantClass> ClassOf(Quantity quantity) {
    switch (quantity) {
        case Quantity::Temperature:
            return HomeAssistantClass{"temperature", "measurement"};
        case Quantity::Humidity:
            return HomeAssistantClass{"humidity", "measurement"};
        case Quantity::Pressure:
            return HomeAssistantClass{"atmospheric_pressure", "measurement"};
        case Quantity::WindSpeed:
            return HomeAssistantClass{"wind_speed", "measurement"};
        case Quantity::WindDirection:
            // An angle: the mean of 350° and 10° is 0°, not 180°.
            return HomeAssistantClass{"wind_direction", "measurement_angle"};
        case Quantity::WindB:
        case Quantity::RainCounter:
        case Quantity::Value:
        case Quantity::Factor:
            break;  // raw numbers: no unit, so no class either
    }
    return std::nullopt;
}

Object Origin() {
    return {{"name", "Tavrolin"}, {"sw_version", TAVROLIN_VERSION}};
}

std::string ValueTemplate(std::string_view key) {
    return "{{ value_json." + std::string(key) + " }}";
}

}  // namespace

std::string SensorDiscoveryConfig(const MqttTopics& topics, const SensorDevice& device) {
    const std::string deviceId = topics.SensorDeviceId(device.key);
    std::string model(KindLabel(device.key));
    if (device.version12) {
        model += " V1.2";
    }
    Object components;
    const auto add = [&](std::string_view key, Object component) {
        component["unique_id"] = deviceId + "_" + std::string(key);
        components[key] = std::move(component);
    };
    if (device.key.kind != SensorKind::Special) {
        for (const Quantity quantity : device.quantities) {
            const QuantityInfo& info = InfoOf(quantity);
            Object c = {{"platform", "sensor"}, {"name", info.label}};
            if (const std::optional<HomeAssistantClass> ha = ClassOf(quantity)) {
                c["device_class"] = ha->deviceClass;
                c["unit_of_measurement"] = info.unit;
                c["state_class"] = ha->stateClass;
                c["suggested_display_precision"] = info.decimals;
            }
            c["value_template"] = ValueTemplate(info.key);
            if (device.expireAfterSeconds) {
                c["expire_after"] = *device.expireAfterSeconds;
            }
            add(info.key, std::move(c));
        }
    } else if (device.key.remoteControl) {
        add("text",
            {{"platform", "sensor"}, {"name", "Text"}, {"value_template", ValueTemplate("text")}});
    } else {
        // The Fenster high and low telegrams are events, for automations to trigger on.
        add("event", {{"platform", "event"},
                      {"name", "Ereignis"},
                      {"event_types", Array{"high", "low"}},
                      {"value_template", R"({"event_type":"{{ value_json.event }}"})"}});
    }
    Array availability{Object{{"topic", topics.Status()}}};
    if (device.expireAfterSeconds) {
        // Offline while the sensor is overdue, together with the receiver's own status.
        availability.emplace_back(Object{{"topic", topics.Availability(device.key)}});
    }
    const Object config = {
        {"device", Object{{"identifiers", Array{deviceId}},
                          {"name", device.name},
                          {"model", model},
                          {"via_device", topics.ReceiverDeviceId()}}},
        {"origin", Origin()},
        {"components", std::move(components)},
        {"state_topic", topics.State(device.key)},
        {"availability", std::move(availability)},
        {"availability_mode", "all"},
        {"qos", 1},
    };
    return boost::json::serialize(config);
}

std::string ReceiverDiscoveryConfig(const MqttTopics& topics, std::string_view receiverName) {
    const std::string& deviceId = topics.ReceiverDeviceId();
    const Object config = {
        {"device", Object{{"identifiers", Array{deviceId}},
                          {"name", "Tavrolin " + std::string(receiverName)},
                          {"model", "Empfänger"},
                          {"sw_version", TAVROLIN_VERSION}}},
        {"origin", Origin()},
        {"components", Object{{"status", Object{{"platform", "binary_sensor"},
                                                {"unique_id", deviceId + "_status"},
                                                {"name", "Verbindung"},
                                                {"device_class", "connectivity"},
                                                {"entity_category", "diagnostic"},
                                                {"state_topic", topics.Status()},
                                                {"payload_on", "online"},
                                                {"payload_off", "offline"}}}}},
        {"qos", 1},
    };
    return boost::json::serialize(config);
}

}  // namespace tavrolin
