// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/Discovery.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tavrolin {
namespace {

using Json = nlohmann::json;

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
        const Json config =
            Json::parse(SensorDiscoveryConfig(topics, {c.key, "Name", false, c.quantities, 144}));
        ASSERT_EQ(config["components"].size(), c.components.size());
        for (const Component& want : c.components) {
            const Json& got = config["components"][want.key];
            EXPECT_EQ(got["platform"], "sensor");
            EXPECT_EQ(got["unique_id"], "tavrolin_dach_" + id + "_" + want.key);
            EXPECT_EQ(got["value_template"], "{{ value_json." + want.key + " }}");
            EXPECT_EQ(got["expire_after"], 144);
            EXPECT_EQ(got.value("device_class", ""), want.deviceClass);
            EXPECT_EQ(got.value("unit_of_measurement", ""), want.unit);
            EXPECT_EQ(got.value("state_class", ""), want.stateClass);
        }
        EXPECT_EQ(config["state_topic"], "tavrolin/dach/" + id + "/state");
        EXPECT_EQ(config["device"]["identifiers"], Json::array({"tavrolin_dach_" + id}));
        EXPECT_EQ(config["device"]["via_device"], "tavrolin_dach");
        // Unavailable when the receiver is gone or the sensor is overdue.
        EXPECT_EQ(config["availability"],
                  Json::parse(R"([{"topic":"tavrolin/dach/status"},{"topic":"tavrolin/dach/)" + id +
                              R"(/availability"}])"));
        EXPECT_EQ(config["availability_mode"], "all");
        EXPECT_EQ(config["origin"]["name"], "Tavrolin");
    }
    EXPECT_EQ(topics.SensorConfig({SensorKind::Outdoor, 1, false}),
              "homeassistant/device/tavrolin_dach_outdoor-1/config");
}

TEST(Discovery, EventSensorsNeverExpireAndTheReceiverIsADeviceOfItsOwn) {
    const MqttTopics topics(Settings());
    const Json window = Json::parse(
        SensorDiscoveryConfig(topics, {{SensorKind::Special, 0, false}, "Fenster", false, {}, {}}));
    const Json& event = window["components"]["event"];
    EXPECT_EQ(event["platform"], "event");
    EXPECT_EQ(event["event_types"], Json::array({"high", "low"}));
    EXPECT_FALSE(event.contains("expire_after"));
    EXPECT_EQ(window["availability"], Json::parse(R"([{"topic":"tavrolin/dach/status"}])"));

    const Json remote = Json::parse(SensorDiscoveryConfig(
        topics, {{SensorKind::Special, 0, true}, "Fernbedienung", true, {}, {}}));
    EXPECT_EQ(remote["device"]["model"], "Fernbedienung V1.2");
    EXPECT_EQ(remote["components"]["text"]["value_template"], "{{ value_json.text }}");
    EXPECT_FALSE(remote["components"]["text"].contains("expire_after"));

    const Json receiver = Json::parse(ReceiverDiscoveryConfig(topics, "Dach"));
    EXPECT_EQ(receiver["device"]["identifiers"], Json::array({"tavrolin_dach"}));
    EXPECT_EQ(receiver["device"]["name"], "Tavrolin Dach");
    const Json& status = receiver["components"]["status"];
    EXPECT_EQ(status["device_class"], "connectivity");
    EXPECT_EQ(status["state_topic"], "tavrolin/dach/status");
    EXPECT_FALSE(receiver.contains("availability")) << "it shows the connection, offline too";
}

}  // namespace
}  // namespace tavrolin
