// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ReadingImport.h"

#include "archive/ReadingImportJson.h"

#include <algorithm>
#include <boost/json/monotonic_resource.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "archive/TimeText.h"
#include "base/Win1252.h"
#include "decode/ReadingJson.h"
#include "decode/TelegramDecoder.h"

namespace tavrolin {

namespace {

ImportedReading Error(std::string text) {
    return {std::nullopt, std::move(text)};
}

namespace json = boost::json;

// A number of the JSON as the fixed-point integer of its quantity; nothing when it is no
// number or does not fit.
std::optional<int32_t> FixedPoint(const json::value* value, int decimals) {
    if (value == nullptr || !value->is_number()) {
        return std::nullopt;
    }
    const double scaled = value->to_number<double>() * (decimals == 1 ? 10.0 : 1.0);
    const double rounded = std::round(scaled);
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<int32_t>::min() ||
        rounded > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(rounded);
}

bool IsWholeNumber(const json::value& value, int64_t expected) {
    return (value.is_int64() && value.get_int64() == expected) ||
           (value.is_uint64() && expected >= 0 &&
            value.get_uint64() == static_cast<uint64_t>(expected));
}

const json::string* StringAt(const json::object& line, std::string_view key) {
    const json::value* value = line.if_contains(key);
    return value != nullptr ? value->if_string() : nullptr;
}

// "-819,2": a stored integer with its decimals, as a German message writes it.
std::string GermanFixed(int32_t raw, int decimals) {
    std::string text;
    AppendFixed(raw, decimals, text);
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

}  // namespace

ImportedReading ParseReadingJson(std::string_view line) {
    line = WithoutByteOrderMark(line);
    // Objects and arrays may nest as deep as a line goes: the parser keeps its own stack, and
    // a tree in a monotonic resource is let go of at once, without a walk through it.
    json::monotonic_resource memory;
    json::parse_options options;
    options.max_depth = std::numeric_limits<std::size_t>::max();
    json::error_code failure;
    const json::value parsed = json::parse(line, failure, &memory, options);
    if (failure || !parsed.is_object()) {
        return Error("kein JSON-Objekt");
    }
    return ReadingOfJson(parsed.get_object());
}

ImportedReading ReadingOfJson(const boost::json::object& fields) {
    const json::string* time = StringAt(fields, "time");
    if (time == nullptr) {
        return Error("\"time\" fehlt");
    }
    const std::optional<IsoTime> iso = ParseIsoTime(*time);
    if (!iso || !iso->hasClock || !iso->offsetSeconds || iso->time.year < 1970) {
        return Error("\"time\" ist keine Zeit wie 2026-12-07T14:03:07.456+01:00");
    }
    const json::string* sensor = StringAt(fields, "sensor");
    if (sensor == nullptr) {
        return Error("\"sensor\" fehlt");
    }
    const std::optional<SensorKey> key = ParseSensorId(*sensor);
    if (!key) {
        return Error("unbekannter Sensor \"" + std::string(*sensor) + "\"");
    }

    Reading r;
    r.time = InstantOf(iso->time);
    r.utcOffsetSeconds = *iso->offsetSeconds;
    r.kind = key->kind;
    r.address = key->address;
    const bool remote = key->kind == SensorKind::Special && key->remoteControl;
    if (key->kind != SensorKind::Special) {
        for (const auto& [name, expected] : {std::pair{"kind", static_cast<int>(key->kind)},
                                             std::pair{"address", int{key->address}}}) {
            const json::value* field = fields.if_contains(name);
            if (field != nullptr && !IsWholeNumber(*field, expected)) {
                return Error("\"" + std::string(name) + "\" paßt nicht zu \"sensor\"");
            }
        }
        if (const json::value* v12 = fields.if_contains("v12")) {
            if (!v12->is_bool()) {
                return Error("\"v12\" ist nicht true oder false");
            }
            r.version12 = v12->get_bool();
        }
        for (const Quantity q : QuantitiesOf(key->kind)) {
            const QuantityInfo& info = InfoOf(q);
            const json::value* field = fields.if_contains(info.key);
            if (field == nullptr) {
                return Error("\"" + std::string(info.key) + "\" fehlt");
            }
            const std::optional<int32_t> raw = FixedPoint(field, info.decimals);
            if (!raw) {
                return Error("\"" + std::string(info.key) + "\" ist keine passende Zahl");
            }
            // What no telegram can carry was never received: a typo, or another program's
            // numbers.
            if (const DecodableRange range = DecodableRangeOf(q);
                *raw < range.min || *raw > range.max) {
                return Error("\"" + std::string(info.key) + "\" liegt außerhalb dessen, was ein " +
                             "Telegramm tragen kann (" + GermanFixed(range.min, info.decimals) +
                             " bis " + GermanFixed(range.max, info.decimals) + ")");
            }
            r.values[r.valueCount++] = {q, *raw};
        }
    } else if (remote) {
        const json::string* text = StringAt(fields, "text");
        if (text == nullptr || text->size() >= r.text.size()) {
            return Error("\"text\" fehlt oder ist länger als 5 Zeichen");
        }
        for (const char c : *text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                return Error("\"text\" enthält Steuerzeichen");
            }
        }
        r.MakeRemoteControl(*text);
    } else {
        const json::string* event = StringAt(fields, "event");
        const bool high = event != nullptr && *event == "high";
        const bool low = event != nullptr && *event == "low";
        if (!high && !low) {
            return Error("\"event\" ist nicht \"high\" oder \"low\"");
        }
        r.MakeFensterEvent(low ? FensterEvent::Low : FensterEvent::High);
    }
    if (!remote) {
        const json::value* interval = fields.if_contains("interval");
        if (interval == nullptr || !interval->is_number()) {
            return Error("\"interval\" fehlt");
        }
        // In milliseconds as written; as many as the report line's 100-ns ticks can hold.
        constexpr int64_t kMaxMs = std::numeric_limits<int64_t>::max() / 10000;
        const double ms = std::round(interval->to_number<double>() * 1000.0);
        if (!std::isfinite(ms) || std::abs(ms) > static_cast<double>(kMaxMs)) {
            return Error("\"interval\" ist keine passende Zahl");
        }
        r.interval = Milliseconds(static_cast<int64_t>(ms));
    }
    return {r, {}};
}

}  // namespace tavrolin
