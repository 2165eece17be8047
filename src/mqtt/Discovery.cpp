// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/Discovery.h"

#include <algorithm>
#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>

#include "decode/SensorTracker.h"

#ifndef TAVROLIN_VERSION
#define TAVROLIN_VERSION "0"
#endif

namespace tavrolin {

namespace {

// Keys stay in the order they are set in, which is the order a person reading the config
// expects.
using Object = boost::json::object;
using Array = boost::json::array;

// Home Assistant before 2026.5 takes the QoS of each component only, later ones the
// device's too; both say the same.
constexpr int kQos = 1;

// How Home Assistant is to take a number. Where it has a device class for the quantity, the
// unit is the one InfoOf() gives, which Home Assistant accepts for that class. A number it has
// no class for gets no unit (none is invented), but still a state class, so that Home
// Assistant keeps it as a number, with a graph and long-term statistics, not as text.
struct HomeAssistantClass {
    const char* deviceClass;  // nullptr: none
    const char* stateClass;
};

HomeAssistantClass ClassOf(Quantity quantity) {
    switch (quantity) {
        case Quantity::Temperature:
            return {"temperature", "measurement"};
        case Quantity::Humidity:
            return {"humidity", "measurement"};
        case Quantity::Pressure:
            return {"atmospheric_pressure", "measurement"};
        case Quantity::WindSpeed:
            return {"wind_speed", "measurement"};
        case Quantity::WindDirection:
            // An angle: the mean of 350° and 10° is 0°, not 180°.
            return {"wind_direction", "measurement_angle"};
        case Quantity::WindB:
        case Quantity::RainCounter:
        case Quantity::Value:
        case Quantity::Factor:
            break;
    }
    return {nullptr, "measurement"};
}

HomeAssistantClass ClassOf(WeatherQuantity quantity) {
    switch (quantity) {
        case WeatherQuantity::DewPoint:
            return {"temperature", "measurement"};
        case WeatherQuantity::SeaLevelPressure:
            return {"atmospheric_pressure", "measurement"};
        case WeatherQuantity::RainSteps:
            // Grows with every step counted; starts at 0 again only when the program does,
            // which Home Assistant takes as a new cycle.
            return {nullptr, "total_increasing"};
        case WeatherQuantity::RainMm:
            return {"precipitation", "total_increasing"};
        case WeatherQuantity::RainTodayMm:
        case WeatherQuantity::RainHourMm:
            // Sums over a window that moves, so they fall as well as rise.
            return {"precipitation", "measurement"};
        case WeatherQuantity::Scaled:
            break;
    }
    return {nullptr, "measurement"};
}

// The decimals the derivation gives; rain has those of the millimetres per step.
std::optional<int> DecimalsOf(WeatherQuantity quantity) {
    switch (quantity) {
        case WeatherQuantity::DewPoint:
        case WeatherQuantity::SeaLevelPressure:
            return 1;
        case WeatherQuantity::Scaled:
        case WeatherQuantity::RainSteps:
        case WeatherQuantity::RainMm:
        case WeatherQuantity::RainTodayMm:
        case WeatherQuantity::RainHourMm:
            break;
    }
    return std::nullopt;
}

Object Origin() {
    return {{"name", "Tavrolin"}, {"sw_version", TAVROLIN_VERSION}};
}

std::string ValueTemplate(std::string_view key) {
    return "{{ value_json." + std::string(key) + " }}";
}

Object NumberComponent(std::string_view key, std::string_view label, std::string_view unit,
                       HomeAssistantClass ha, std::optional<int> decimals) {
    Object c = {{"platform", "sensor"}, {"name", label}};
    if (ha.deviceClass != nullptr) {
        c["device_class"] = ha.deviceClass;
        c["unit_of_measurement"] = unit;
    }
    c["state_class"] = ha.stateClass;
    if (ha.deviceClass != nullptr && decimals) {
        c["suggested_display_precision"] = *decimals;
    }
    c["value_template"] = ValueTemplate(key);
    return c;
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
        if (device.expireAfterSeconds) {
            component["expire_after"] = *device.expireAfterSeconds;
        }
        component["qos"] = kQos;
        components[key] = std::move(component);
    };
    // In the order of the reading's JSON: its own values, what is derived from them.
    for (const Quantity quantity : device.quantities) {
        const QuantityInfo& info = InfoOf(quantity);
        add(info.key,
            NumberComponent(info.key, info.label, info.unit, ClassOf(quantity), info.decimals));
    }
    for (const WeatherQuantity quantity : device.weather) {
        const WeatherQuantityInfo& info = InfoOf(quantity);
        add(info.key, NumberComponent(info.key, info.label, info.unit, ClassOf(quantity),
                                      DecimalsOf(quantity)));
    }
    if (std::ranges::find(device.quantities, Quantity::WindDirection) != device.quantities.end()) {
        // Text: no unit, no state class. A plain sensor rather than an enum one: Home
        // Assistant's history shows either as a timeline, and an enum sensor turns a reading
        // without a compass point into an error.
        add(kWindCompassKey, {{"platform", "sensor"},
                              {"name", kWindCompassLabel},
                              {"value_template", ValueTemplate(kWindCompassKey)}});
    }
    if (device.key.kind == SensorKind::Special) {
        // The remote control and the Fenster are events, for automations to trigger on: a
        // key pressed twice is two events, where a sensor's state would not change. The
        // remote control's characters are not a list of event types to give, so they come
        // as the event's attribute "text".
        Object event = {{"platform", "event"}};
        if (device.key.remoteControl) {
            event["name"] = "Taste";
            event["event_types"] = Array{"press"};
            event["value_template"] =
                R"({{ {"event_type": "press", "text": value_json.text} | to_json }})";
        } else {
            event["name"] = "Ereignis";
            event["event_types"] = Array{"high", "low"};
            event["value_template"] = R"({"event_type":"{{ value_json.event }}"})";
        }
        add("event", std::move(event));
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
        {"qos", kQos},
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
                                                {"payload_off", "offline"},
                                                {"qos", kQos}}}}},
        {"qos", kQos},
    };
    return boost::json::serialize(config);
}

int64_t ExpireAfterSeconds(int64_t overdueAfterMs, int64_t announcedSeconds) {
    constexpr int64_t kDefaultSeconds =
        SensorTracker::kOverdueFactor * SensorTracker::kDefaultPeriod.count() / 1000;
    int64_t seconds = kDefaultSeconds;
    while (seconds * 1000 < overdueAfterMs) {
        seconds *= 2;
    }
    return std::max(seconds, announcedSeconds);
}

}  // namespace tavrolin
