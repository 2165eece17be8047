// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ReadingImport.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

#include "archive/TimeText.h"

namespace tavrolin {

namespace {

using Json = nlohmann::json;

ImportedReading Error(std::string text) {
    return {std::nullopt, std::move(text)};
}

// What the line gives under a key a reading is built from. Of a key that is there twice,
// the last counts, as in a JSON object read whole.
struct Field {
    enum class Type : uint8_t { Absent, Other, Boolean, Integer, Unsigned, Float, String };
    Type type = Type::Absent;
    bool boolean = false;
    int64_t integer = 0;   // Integer
    uint64_t natural = 0;  // Unsigned: a whole number beyond int64_t
    double number = 0;     // every type of number
    std::string text;      // String

    bool IsNumber() const {
        return type == Type::Integer || type == Type::Unsigned || type == Type::Float;
    }
    bool IsWholeNumber(int64_t expected) const {
        return (type == Type::Integer && integer == expected) ||
               (type == Type::Unsigned && expected >= 0 &&
                natural == static_cast<uint64_t>(expected));
    }
};

// The keys a reading is built from: first the quantities, by their number, then these.
enum Slot : int {
    kTime = static_cast<int>(Quantity::Factor) + 1,
    kSensor,
    kKind,
    kAddress,
    kV12,
    kInterval,
    kText,
    kEvent,
    kSlotCount
};
constexpr std::array<std::string_view, kSlotCount - kTime> kSlotKeys = {
    "time", "sensor", "kind", "address", "v12", "interval", "text", "event"};

int SlotOf(std::string_view key) {
    for (std::size_t i = 0; i < kSlotKeys.size(); ++i) {
        if (key == kSlotKeys[i]) {
            return kTime + static_cast<int>(i);
        }
    }
    for (int q = 0; q < kTime; ++q) {
        if (key == InfoOf(static_cast<Quantity>(q)).key) {
            return q;
        }
    }
    return -1;
}

// Takes the parser's events into the fields of the top-level object's keys and builds no
// tree: whatever is nested, and every key a reading does not use, is passed over. A line
// that is no object ends the parse at its first value. Each event gives whether to go on.
class LineFields {
public:
    using string_t = Json::string_t;

    std::array<Field, kSlotCount> fields;

    bool null() {
        Take(Field::Type::Other);
        return m_depth > 0;
    }
    bool boolean(bool value) {
        if (Field* field = Take(Field::Type::Boolean)) {
            field->boolean = value;
        }
        return m_depth > 0;
    }
    bool number_integer(Json::number_integer_t value) {
        if (Field* field = Take(Field::Type::Integer)) {
            field->integer = value;
            field->number = static_cast<double>(value);
        }
        return m_depth > 0;
    }
    bool number_unsigned(Json::number_unsigned_t value) {
        if (Field* field = Take(Field::Type::Unsigned)) {
            field->natural = value;
            field->number = static_cast<double>(value);
        }
        return m_depth > 0;
    }
    bool number_float(Json::number_float_t value, const string_t&) {
        if (Field* field = Take(Field::Type::Float)) {
            field->number = value;
        }
        return m_depth > 0;
    }
    bool string(string_t& value) {
        if (Field* field = Take(Field::Type::String)) {
            // The parser's buffer is taken over, not copied.
            field->text.swap(value);
        }
        return m_depth > 0;
    }
    bool binary(Json::binary_t&) { return false; }  // not in JSON text
    bool start_object(std::size_t) {
        Take(Field::Type::Other);
        ++m_depth;
        return true;
    }
    bool start_array(std::size_t) {
        Take(Field::Type::Other);
        return m_depth++ > 0;
    }
    bool end_object() {
        --m_depth;
        return true;
    }
    bool end_array() {
        --m_depth;
        return true;
    }
    bool key(string_t& name) {
        if (m_depth == 1) {
            m_slot = SlotOf(name);
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const Json::exception&) { return false; }

private:
    // The field of the key whose value this is, its type set; none for a nested value or a
    // key a reading does not use.
    Field* Take(Field::Type type) {
        if (m_depth != 1 || m_slot < 0) {
            return nullptr;
        }
        fields[static_cast<std::size_t>(m_slot)].type = type;
        return &fields[static_cast<std::size_t>(m_slot)];
    }

    int m_depth = 0;
    int m_slot = -1;
};

// A number of the JSON as the fixed-point integer of its quantity; nothing when it is no
// number or does not fit.
std::optional<int32_t> FixedPoint(const Field& value, int decimals) {
    if (!value.IsNumber()) {
        return std::nullopt;
    }
    const double scaled = value.number * (decimals == 1 ? 10.0 : 1.0);
    const double rounded = std::round(scaled);
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<int32_t>::min() ||
        rounded > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(rounded);
}

}  // namespace

ImportedReading ParseReadingJson(std::string_view line) {
    // Every value but an object ends the parse with false, so a parse that goes through
    // read an object.
    LineFields json;
    if (!Json::sax_parse(line.begin(), line.end(), &json)) {
        return Error("kein JSON-Objekt");
    }
    const auto& fields = json.fields;

    const Field& time = fields[kTime];
    if (time.type != Field::Type::String) {
        return Error("\"time\" fehlt");
    }
    const std::optional<IsoTime> iso = ParseIsoTime(time.text);
    if (!iso || !iso->hasClock || !iso->offsetSeconds || iso->time.year < 1970) {
        return Error("\"time\" ist keine Zeit wie 2026-12-07T14:03:07.456+01:00");
    }
    const Field& sensor = fields[kSensor];
    if (sensor.type != Field::Type::String) {
        return Error("\"sensor\" fehlt");
    }
    const std::optional<SensorKey> key = ParseSensorId(sensor.text);
    if (!key) {
        return Error("unbekannter Sensor \"" + sensor.text + "\"");
    }

    Reading r;
    r.time = iso->time;
    r.kind = key->kind;
    r.address = key->address;
    const bool remote = key->kind == SensorKind::Special && key->remoteControl;
    if (key->kind != SensorKind::Special) {
        for (const auto& [slot, expected] : {std::pair{kKind, static_cast<int>(key->kind)},
                                             std::pair{kAddress, int{key->address}}}) {
            const Field& field = fields[static_cast<std::size_t>(slot)];
            if (field.type != Field::Type::Absent && !field.IsWholeNumber(expected)) {
                return Error("\"" + std::string(kSlotKeys[slot - kTime]) +
                             "\" paßt nicht zu \"sensor\"");
            }
        }
        const Field& v12 = fields[kV12];
        if (v12.type != Field::Type::Absent) {
            if (v12.type != Field::Type::Boolean) {
                return Error("\"v12\" ist nicht true oder false");
            }
            r.version12 = v12.boolean;
        }
        for (const Quantity q : QuantitiesOf(key->kind)) {
            const QuantityInfo& info = InfoOf(q);
            const Field& field = fields[static_cast<std::size_t>(q)];
            if (field.type == Field::Type::Absent) {
                return Error("\"" + std::string(info.key) + "\" fehlt");
            }
            const std::optional<int32_t> raw = FixedPoint(field, info.decimals);
            if (!raw) {
                return Error("\"" + std::string(info.key) + "\" ist keine passende Zahl");
            }
            r.values[r.valueCount++] = {q, *raw};
        }
    } else if (remote) {
        r.subtype = SpecialSubtype::RemoteControl;
        r.address = 7;
        r.version12 = true;
        const Field& text = fields[kText];
        if (text.type != Field::Type::String || text.text.size() >= r.text.size()) {
            return Error("\"text\" fehlt oder ist länger als 5 Zeichen");
        }
        for (const char c : text.text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                return Error("\"text\" enthält Steuerzeichen");
            }
        }
        std::memcpy(r.text.data(), text.text.data(), text.text.size());
    } else {
        const Field& event = fields[kEvent];
        const bool high = event.type == Field::Type::String && event.text == "high";
        const bool low = event.type == Field::Type::String && event.text == "low";
        if (!high && !low) {
            return Error("\"event\" ist nicht \"high\" oder \"low\"");
        }
        r.event = low ? FensterEvent::Low : FensterEvent::High;
        r.subtype = low ? SpecialSubtype::FensterLow : SpecialSubtype::FensterHigh;
        r.address = low ? 1 : 0;
    }
    if (!remote) {
        const Field& interval = fields[kInterval];
        if (!interval.IsNumber()) {
            return Error("\"interval\" fehlt");
        }
        // In milliseconds as written; as many as the 100-ns ticks of a reading can hold.
        constexpr int64_t kMaxMs = std::numeric_limits<int64_t>::max() / 10000;
        const double ms = std::round(interval.number * 1000.0);
        if (!std::isfinite(ms) || std::abs(ms) > static_cast<double>(kMaxMs)) {
            return Error("\"interval\" ist keine passende Zahl");
        }
        r.hasInterval = true;
        r.intervalTicks = static_cast<int64_t>(ms) * 10000;
    }
    return {r, {}};
}

}  // namespace tavrolin
