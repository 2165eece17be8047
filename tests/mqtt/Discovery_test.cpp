// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/Discovery.h"

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <string>
#include <vector>

namespace tavrolin {
namespace {

using boost::json::parse;
using boost::json::value;

std::string_view Str(const value& text) {
    return text.as_string();
}

// A member's text, "" when there is none.
std::string TextOr(const value& object, std::string_view key) {
    const value* member = object.as_object().if_contains(key);
    return std::string(member != nullptr ? Str(*member) : "");
}

MqttSettings Settings() {
    MqttSettings s;
    s.host = "broker";
    s.receiver = "dach";
    s.receiverName = "Dach";
    return s;
}

// Per kind: the components Home Assistant gets, with device class, unit and state class
// where it knows the quantity, none for raw numbers.
TEST(Discovery, EachValueIsAComponentWithTheClassHomeAssistantKnowsItBy) {
    struct Component {
        std::string key;
        std::string deviceClass;  // "" for none (and then no unit, no state class)
        std::string unit;
        std::string stateClass;
    };
    struct Case {
        SensorKey key;
        std::vector<Quantity> quantities;
        std::vector<Component> components;
    };
    const std::vector<Case> cases = {
        {{SensorKind::Indoor, 2, false},
         {Quantity::Temperature, Quantity::Humidity, Quantity::Pressure},
         {{"temperature", "temperature", "°C", "measurement"},
          {"humidity", "humidity", "%", "measurement"},
          {"pressure", "atmospheric_pressure", "hPa", "measurement"}}},
        {{SensorKind::Wind, 3, false},
         {Quantity::WindSpeed, Quantity::WindDirection, Quantity::WindB},
         {{"wind_speed", "wind_speed", "km/h", "measurement"},
          {"wind_direction", "wind_direction", "°", "measurement_angle"},
          {"wind_b", "", "", ""}}},
        {{SensorKind::Rain, 0, false}, {Quantity::RainCounter}, {{"rain_counter", "", "", ""}}},
        {{SensorKind::Pyranometer, 6, false},
         {Quantity::Value, Quantity::Factor},
         {{"value", "", "", ""}, {"factor", "", "", ""}}},
    };
    const MqttTopics topics(Settings());
    for (const Case& c : cases) {
        const std::string id(SensorIdOf(c.key));
        SCOPED_TRACE(id);
        const value config =
            parse(SensorDiscoveryConfig(topics, {c.key, "Name", false, c.quantities, 144}));
        ASSERT_EQ(config.at("components").as_object().size(), c.components.size());
        for (const Component& want : c.components) {
            const value& got = config.at("components").at(want.key);
            EXPECT_EQ(Str(got.at("platform")), "sensor");
            EXPECT_EQ(Str(got.at("unique_id")), "tavrolin_dach_" + id + "_" + want.key);
            EXPECT_EQ(Str(got.at("value_template")), "{{ value_json." + want.key + " }}");
            EXPECT_EQ(got.at("expire_after"), 144);
            EXPECT_EQ(TextOr(got, "device_class"), want.deviceClass);
            EXPECT_EQ(TextOr(got, "unit_of_measurement"), want.unit);
            EXPECT_EQ(TextOr(got, "state_class"), want.stateClass);
        }
        EXPECT_EQ(Str(config.at("state_topic")), "tavrolin/dach/" + id + "/state");
        EXPECT_EQ(config.at("device").at("identifiers"), parse(R"(["tavrolin_dach_)" + id + "\"]"));
        EXPECT_EQ(Str(config.at("device").at("via_device")), "tavrolin_dach");
        // Unavailable when the receiver is gone or the sensor is overdue.
        EXPECT_EQ(config.at("availability"),
                  parse(R"([{"topic":"tavrolin/dach/status"},{"topic":"tavrolin/dach/)" + id +
                        R"(/availability"}])"));
        EXPECT_EQ(Str(config.at("availability_mode")), "all");
        EXPECT_EQ(Str(config.at("origin").at("name")), "Tavrolin");
    }
    EXPECT_EQ(topics.SensorConfig({SensorKind::Outdoor, 1, false}),
              "homeassistant/device/tavrolin_dach_outdoor-1/config");
}

TEST(Discovery, EventSensorsNeverExpireAndTheReceiverIsADeviceOfItsOwn) {
    const MqttTopics topics(Settings());
    const value window = parse(
        SensorDiscoveryConfig(topics, {{SensorKind::Special, 0, false}, "Fenster", false, {}, {}}));
    const value& event = window.at("components").at("event");
    EXPECT_EQ(Str(event.at("platform")), "event");
    EXPECT_EQ(event.at("event_types"), parse(R"(["high","low"])"));
    EXPECT_FALSE(event.as_object().contains("expire_after"));
    EXPECT_EQ(window.at("availability"), parse(R"([{"topic":"tavrolin/dach/status"}])"));

    const value remote = parse(SensorDiscoveryConfig(
        topics, {{SensorKind::Special, 0, true}, "Fernbedienung", true, {}, {}}));
    EXPECT_EQ(Str(remote.at("device").at("model")), "Fernbedienung V1.2");
    const value& text = remote.at("components").at("text");
    EXPECT_EQ(Str(text.at("value_template")), "{{ value_json.text }}");
    EXPECT_FALSE(text.as_object().contains("expire_after"));

    const value receiver = parse(ReceiverDiscoveryConfig(topics, "Dach"));
    EXPECT_EQ(receiver.at("device").at("identifiers"), parse(R"(["tavrolin_dach"])"));
    EXPECT_EQ(Str(receiver.at("device").at("name")), "Tavrolin Dach");
    const value& status = receiver.at("components").at("status");
    EXPECT_EQ(Str(status.at("device_class")), "connectivity");
    EXPECT_EQ(Str(status.at("state_topic")), "tavrolin/dach/status");
    EXPECT_FALSE(receiver.as_object().contains("availability"))
        << "it shows the connection, offline too";
}

}  // namespace
}  // namespace tavrolin
