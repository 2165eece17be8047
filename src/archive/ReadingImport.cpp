// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ReadingImport.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "archive/TimeText.h"

namespace tavrolin {

namespace {

using Json = nlohmann::json;

ImportedReading Error(std::string text) {
    return {std::nullopt, std::move(text)};
}

// A number of the JSON as the fixed-point integer of its quantity; nothing when it is no
// number or does not fit.
std::optional<int32_t> FixedPoint(const Json& value, int decimals) {
    if (!value.is_number()) {
        return std::nullopt;
    }
    const double scaled = value.get<double>() * (decimals == 1 ? 10.0 : 1.0);
    const double rounded = std::round(scaled);
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<int32_t>::min() ||
        rounded > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(rounded);
}

}  // namespace

ImportedReading ParseReadingJson(std::string_view line) {
    const Json json = Json::parse(line.begin(), line.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return Error("kein JSON-Objekt");
    }

    const auto time = json.find("time");
    if (time == json.end() || !time->is_string()) {
        return Error("\"time\" fehlt");
    }
    const std::optional<IsoTime> iso = ParseIsoTime(time->get_ref<const std::string&>());
    if (!iso || !iso->hasClock || !iso->offsetSeconds || iso->time.year < 1970) {
        return Error("\"time\" ist keine Zeit wie 2026-12-07T14:03:07.456+01:00");
    }
    const auto sensor = json.find("sensor");
    if (sensor == json.end() || !sensor->is_string()) {
        return Error("\"sensor\" fehlt");
    }
    const std::optional<SensorKey> key = ParseSensorId(sensor->get_ref<const std::string&>());
    if (!key) {
        return Error("unbekannter Sensor \"" + sensor->get<std::string>() + "\"");
    }

    Reading r;
    r.time = iso->time;
    r.kind = key->kind;
    r.address = key->address;
    const bool remote = key->kind == SensorKind::Special && key->remoteControl;
    if (key->kind != SensorKind::Special) {
        for (const auto& [name, expected] : {std::pair{"kind", static_cast<int>(key->kind)},
                                             std::pair{"address", int{key->address}}}) {
            const auto field = json.find(name);
            if (field != json.end() &&
                !(field->is_number_integer() && field->get<int>() == expected)) {
                return Error(std::string("\"") + name + "\" paßt nicht zu \"sensor\"");
            }
        }
        const auto v12 = json.find("v12");
        if (v12 != json.end()) {
            if (!v12->is_boolean()) {
                return Error("\"v12\" ist nicht true oder false");
            }
            r.version12 = v12->get<bool>();
        }
        for (const Quantity q : QuantitiesOf(key->kind)) {
            const QuantityInfo& info = InfoOf(q);
            const auto field = json.find(info.key);
            if (field == json.end()) {
                return Error("\"" + std::string(info.key) + "\" fehlt");
            }
            const std::optional<int32_t> raw = FixedPoint(*field, info.decimals);
            if (!raw) {
                return Error("\"" + std::string(info.key) + "\" ist keine passende Zahl");
            }
            r.values[r.valueCount++] = {q, *raw};
        }
    } else if (remote) {
        r.subtype = SpecialSubtype::RemoteControl;
        r.address = 7;
        r.version12 = true;
        const auto text = json.find("text");
        if (text == json.end() || !text->is_string() ||
            text->get_ref<const std::string&>().size() >= r.text.size()) {
            return Error("\"text\" fehlt oder ist länger als 5 Zeichen");
        }
        const std::string& chars = text->get_ref<const std::string&>();
        for (const char c : chars) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                return Error("\"text\" enthält Steuerzeichen");
            }
        }
        std::memcpy(r.text.data(), chars.data(), chars.size());
    } else {
        const auto event = json.find("event");
        if (event == json.end() || !(*event == "high" || *event == "low")) {
            return Error("\"event\" ist nicht \"high\" oder \"low\"");
        }
        const bool low = *event == "low";
        r.event = low ? FensterEvent::Low : FensterEvent::High;
        r.subtype = low ? SpecialSubtype::FensterLow : SpecialSubtype::FensterHigh;
        r.address = low ? 1 : 0;
    }
    if (!remote) {
        const auto interval = json.find("interval");
        if (interval == json.end() || !interval->is_number()) {
            return Error("\"interval\" fehlt");
        }
        // In milliseconds as written; as many as the 100-ns ticks of a reading can hold.
        constexpr int64_t kMaxMs = std::numeric_limits<int64_t>::max() / 10000;
        const double ms = std::round(interval->get<double>() * 1000.0);
        if (!std::isfinite(ms) || std::abs(ms) > static_cast<double>(kMaxMs)) {
            return Error("\"interval\" ist keine passende Zahl");
        }
        r.hasInterval = true;
        r.intervalTicks = static_cast<int64_t>(ms) * 10000;
    }
    return {r, {}};
}

}  // namespace tavrolin
