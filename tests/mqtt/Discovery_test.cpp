// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/Discovery.h"

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <string>
#include <vector>

#include "weather/WeatherDerivation.h"

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

WeatherSettings WithRain0AndAltitude() {
    WeatherSettings w;
    w.rain.mmPerStep[0] = Decimal{25, 2};
    w.station.altitudeMetres = 312;
    return w;
}

// Per kind and weather settings: the components Home Assistant gets, in the order of the
// reading's JSON, with device class and unit where Home Assistant knows the quantity, and a
// state class for every number, so that none is kept as text.
TEST(Discovery, EachValueTheReadingsCarryIsAComponentHomeAssistantKeepsAsANumber) {
    struct Component {
        std::string key;
        std::string deviceClass;  // "" for none, and then no unit
        std::string unit;
        std::string stateClass;  // "" for none: text
    };
    const Component temperature{"temperature", "temperature", "°C", "measurement"};
    const Component humidity{"humidity", "humidity", "%", "measurement"};
    const Component dewPoint{"dew_point", "temperature", "°C", "measurement"};
    const Component rainCounter{"rain_counter", "", "", "measurement"};
    const Component rainSteps{"rain_steps", "", "", "total_increasing"};
    struct Case {
        SensorKey key;
        WeatherSettings weather;
        std::vector<Component> components;
    };
    const std::vector<Case> cases = {
        {{SensorKind::TempOnly, 0, false}, WithRain0AndAltitude(), {temperature}},
        {{SensorKind::Outdoor, 1, false}, {}, {temperature, humidity, dewPoint}},
        {{SensorKind::Indoor, 2, false},
         {},
         {temperature,
          humidity,
          {"pressure", "atmospheric_pressure", "hPa", "measurement"},
          dewPoint}},
        {{SensorKind::Indoor, 2, false},
         WithRain0AndAltitude(),
         {temperature,
          humidity,
          {"pressure", "atmospheric_pressure", "hPa", "measurement"},
          dewPoint,
          {"pressure_sea_level", "atmospheric_pressure", "hPa", "measurement"}}},
        {{SensorKind::Wind, 3, false},
         {},
         {{"wind_speed", "wind_speed", "km/h", "measurement"},
          {"wind_direction", "wind_direction", "°", "measurement_angle"},
          {"wind_b", "", "", "measurement"},
          {"wind_compass", "", "", ""}}},
        {{SensorKind::Rain, 0, false}, {}, {rainCounter, rainSteps}},
        {{SensorKind::Rain, 0, false},
         WithRain0AndAltitude(),
         {rainCounter,
          rainSteps,
          {"rain_mm", "precipitation", "mm", "total_increasing"},
          {"rain_today_mm", "precipitation", "mm", "measurement"},
          {"rain_1h_mm", "precipitation", "mm", "measurement"}}},
        // The millimetres per step are set for rain-0 only.
        {{SensorKind::Rain, 1, false}, WithRain0AndAltitude(), {rainCounter, rainSteps}},
        {{SensorKind::Pyranometer, 6, false},
         {},
         {{"value", "", "", "measurement"},
          {"factor", "", "", "measurement"},
          {"scaled", "", "", "measurement"}}},
    };
    const MqttTopics topics(Settings());
    for (const Case& c : cases) {
        const std::string id(SensorIdOf(c.key));
        SCOPED_TRACE(id + (c.weather.station.altitudeMetres ? " with settings" : ""));
        const std::vector<WeatherQuantity> weather = WeatherQuantitiesOf(c.key, c.weather);
        const value config = parse(SensorDiscoveryConfig(
            topics, {c.key, "Name", false, QuantitiesOf(c.key.kind), weather, 900}));
        std::vector<std::string> keys;
        for (const auto& member : config.at("components").as_object()) {
            keys.emplace_back(member.key());
        }
        std::vector<std::string> wanted;
        for (const Component& want : c.components) {
            wanted.push_back(want.key);
        }
        EXPECT_EQ(keys, wanted);
        for (const Component& want : c.components) {
            SCOPED_TRACE(want.key);
            const value* got = config.at("components").as_object().if_contains(want.key);
            ASSERT_NE(got, nullptr);
            EXPECT_EQ(Str(got->at("platform")), "sensor");
            EXPECT_FALSE(Str(got->at("name")).empty());
            EXPECT_EQ(Str(got->at("unique_id")), "tavrolin_dach_" + id + "_" + want.key);
            EXPECT_EQ(Str(got->at("value_template")), "{{ value_json." + want.key + " }}");
            EXPECT_EQ(got->at("expire_after"), 900);
            EXPECT_EQ(got->at("qos"), 1) << "Home Assistant before 2026.5 reads it here only";
            EXPECT_EQ(TextOr(*got, "device_class"), want.deviceClass);
            EXPECT_EQ(TextOr(*got, "unit_of_measurement"), want.unit);
            EXPECT_EQ(TextOr(*got, "state_class"), want.stateClass);
        }
        EXPECT_EQ(Str(config.at("state_topic")), "tavrolin/dach/" + id + "/state");
        EXPECT_EQ(config.at("device").at("identifiers"), parse(R"(["tavrolin_dach_)" + id + "\"]"));
        EXPECT_EQ(Str(config.at("device").at("via_device")), "tavrolin_dach");
        // Unavailable when the receiver is gone or the sensor is overdue.
        EXPECT_EQ(config.at("availability"),
                  parse(R"([{"topic":"tavrolin/dach/status"},{"topic":"tavrolin/dach/)" + id +
                        R"(/availability"}])"));
        EXPECT_EQ(Str(config.at("availability_mode")), "all");
        EXPECT_EQ(config.at("qos"), 1);
        EXPECT_EQ(Str(config.at("origin").at("name")), "Tavrolin");
    }
    EXPECT_EQ(topics.SensorConfig({SensorKind::Outdoor, 1, false}),
              "homeassistant/device/tavrolin_dach_outdoor-1/config");
}

// The remote control and the Fenster send when something happens: each telegram is an event,
// so that a key pressed twice triggers twice, and nothing expires.
TEST(Discovery, EventSensorsAreEventsThatNeverExpireAndTheReceiverIsADeviceOfItsOwn) {
    struct Case {
        SensorKey key;
        std::string eventTypes;
        std::string valueTemplate;
    };
    const std::vector<Case> cases = {
        {{SensorKind::Special, 0, false},
         R"(["high","low"])",
         R"({"event_type":"{{ value_json.event }}"})"},
        {{SensorKind::Special, 0, true},
         R"(["press"])",
         R"({{ {"event_type": "press", "text": value_json.text} | to_json }})"},
    };
    const MqttTopics topics(Settings());
    for (const Case& c : cases) {
        const std::string id(SensorIdOf(c.key));
        SCOPED_TRACE(id);
        const value config =
            parse(SensorDiscoveryConfig(topics, {c.key, "Name", true, {}, {}, std::nullopt}));
        ASSERT_EQ(config.at("components").as_object().size(), 1u);
        const value& event = config.at("components").at("event");
        EXPECT_EQ(Str(event.at("platform")), "event");
        EXPECT_EQ(Str(event.at("unique_id")), "tavrolin_dach_" + id + "_event");
        EXPECT_EQ(event.at("event_types"), parse(c.eventTypes));
        EXPECT_EQ(Str(event.at("value_template")), c.valueTemplate);
        EXPECT_EQ(event.at("qos"), 1);
        EXPECT_FALSE(event.as_object().contains("expire_after"));
        EXPECT_EQ(config.at("availability"), parse(R"([{"topic":"tavrolin/dach/status"}])"));
        EXPECT_TRUE(Str(config.at("device").at("model")).ends_with(" V1.2"));
    }

    const value receiver = parse(ReceiverDiscoveryConfig(topics, "Dach"));
    EXPECT_EQ(receiver.at("device").at("identifiers"), parse(R"(["tavrolin_dach"])"));
    EXPECT_EQ(Str(receiver.at("device").at("name")), "Tavrolin Dach");
    const value& status = receiver.at("components").at("status");
    EXPECT_EQ(Str(status.at("device_class")), "connectivity");
    EXPECT_EQ(Str(status.at("state_topic")), "tavrolin/dach/status");
    EXPECT_EQ(status.at("qos"), 1);
    EXPECT_FALSE(receiver.as_object().contains("availability"))
        << "it shows the connection, offline too";
}

// Each change of expire_after is a new config, which Home Assistant takes with the device's
// entities unavailable for a moment: it starts at the unlearned period's 15 minutes, grows
// by doubling when the sensor's silence needs more, and never shrinks within a run.
TEST(Discovery, ExpireAfterMovesInCoarseStepsAndOnlyUp) {
    struct Case {
        int64_t overdueAfterMs;
        int64_t announced;
        int64_t expected;
    };
    constexpr int64_t kMinute = 60'000;
    const std::vector<Case> cases = {
        {15 * kMinute, 0, 900},         // the default period's, before anything is known
        {3 * 48'000, 0, 900},           // learned: every 48 s
        {3 * 1'000, 900, 900},          // a period that shrinks leaves it
        {15 * kMinute + 1, 900, 1800},  // past 15 minutes: rounded up to the next step
        {29 * kMinute, 1800, 1800},    {31 * kMinute, 1800, 3600},
        {20 * kMinute, 3600, 3600},  // and down again: not shrunk
        {20 * kMinute, 0, 1800},     // a period known before the first config
        {200 * kMinute, 0, 14'400},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExpireAfterSeconds(c.overdueAfterMs, c.announced), c.expected)
            << c.overdueAfterMs << " ms, announced " << c.announced;
    }
}

}  // namespace
}  // namespace tavrolin
