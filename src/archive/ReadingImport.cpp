// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ReadingImport.h"

#include <algorithm>
#include <array>
#include <boost/json/basic_parser_impl.hpp>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
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

// A JSON number as the import has always read it: a whole number is an integer (one beyond
// 64 bits a double), anything with a fraction or exponent a double, converted from the text
// by the rules of the "C" locale, whatever the program's locale; one too small is zero, one
// beyond the range of double is refused (false).
bool TakeNumber(Field& field, const std::string& text) {
    const char* const first = text.data();
    const char* const last = first + text.size();
    if (text.find_first_of(".eE") == std::string::npos) {
        if (text.front() == '-') {
            if (std::from_chars(first, last, field.integer).ec == std::errc()) {
                field.type = Field::Type::Integer;
                field.number = static_cast<double>(field.integer);
                return true;
            }
        } else if (std::from_chars(first, last, field.natural).ec == std::errc()) {
            field.type = Field::Type::Unsigned;
            field.number = static_cast<double>(field.natural);
            return true;
        }
    }
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    field.type = Field::Type::Float;
    field.number = strtod_l(text.c_str(), nullptr, c);
    return std::isfinite(field.number);
}

// Takes the parser's events into the fields of the top-level object's keys and builds no
// tree: whatever is nested, and every key a reading does not use, is passed over. A line
// that is no object ends the parse at its first value. Each event gives whether to go on.
// Strings, keys and numbers may come in parts; they are gathered in buffers that are kept
// from line to line.
class LineFields {
public:
    static constexpr std::size_t max_array_size = std::numeric_limits<std::size_t>::max();
    static constexpr std::size_t max_object_size = max_array_size;
    static constexpr std::size_t max_string_size = max_array_size;
    static constexpr std::size_t max_key_size = max_array_size;

    using error_code = boost::json::error_code;
    using string_view = boost::json::string_view;

    std::array<Field, kSlotCount> fields;

    // Ready for the next line.
    void Clear() {
        for (Field& field : fields) {
            field.type = Field::Type::Absent;
        }
        m_depth = 0;
        m_slot = -1;
        m_part.clear();
    }

    bool on_document_begin(error_code&) { return true; }
    bool on_document_end(error_code&) { return true; }
    bool on_object_begin(error_code&) {
        Take(Field::Type::Other);
        ++m_depth;
        return true;
    }
    bool on_object_end(std::size_t, error_code&) {
        --m_depth;
        return true;
    }
    bool on_array_begin(error_code&) {
        Take(Field::Type::Other);
        return m_depth++ > 0;
    }
    bool on_array_end(std::size_t, error_code&) {
        --m_depth;
        return true;
    }
    bool on_key_part(string_view part, std::size_t, error_code&) { return Gather(part); }
    bool on_key(string_view rest, std::size_t, error_code&) {
        Gather(rest);
        if (m_depth == 1) {
            m_slot = SlotOf(m_part);
        }
        m_part.clear();
        return true;
    }
    bool on_string_part(string_view part, std::size_t, error_code&) { return Gather(part); }
    bool on_string(string_view rest, std::size_t, error_code&) {
        Gather(rest);
        if (Field* field = Take(Field::Type::String)) {
            field->text.assign(m_part);
        }
        m_part.clear();
        return m_depth > 0;
    }
    bool on_number_part(string_view part, error_code&) { return Gather(part); }
    bool on_int64(int64_t, string_view rest, error_code&) { return Number(rest); }
    bool on_uint64(uint64_t, string_view rest, error_code&) { return Number(rest); }
    bool on_double(double, string_view rest, error_code&) { return Number(rest); }
    bool on_bool(bool value, error_code&) {
        if (Field* field = Take(Field::Type::Boolean)) {
            field->boolean = value;
        }
        return m_depth > 0;
    }
    bool on_null(error_code&) {
        Take(Field::Type::Other);
        return m_depth > 0;
    }
    bool on_comment_part(string_view, error_code&) { return false; }  // none allowed
    bool on_comment(string_view, error_code&) { return false; }

private:
    bool Gather(string_view part) {
        m_part.append(part.data(), part.size());
        return true;
    }

    // Numbers are read from their text (see TakeNumber), not taken as the parser read them;
    // every one, also where no field takes it, as a line with a number beyond double's range
    // is refused whole.
    bool Number(string_view rest) {
        Gather(rest);
        Field* field = Take(Field::Type::Other);
        const bool fits = TakeNumber(field != nullptr ? *field : m_unused, m_part);
        m_part.clear();
        return fits && m_depth > 0;
    }

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
    std::string m_part;  // of a key, string or number
    Field m_unused;      // a number no field takes
};

// Objects and arrays may nest as deep as a line goes (the parser keeps its own stack, not
// the thread's); everything else as strict JSON has it.
boost::json::parse_options LineOptions() {
    boost::json::parse_options options;
    options.max_depth = std::numeric_limits<std::size_t>::max();
    return options;
}

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
    // Every value but an object ends the parse with false, so a parse that goes through
    // read an object. The parser is kept for the next line: its stack and buffers have
    // grown to what a line needs, and a line costs no allocation of its own.
    thread_local boost::json::basic_parser<LineFields> parser(LineOptions());
    parser.reset();
    parser.handler().Clear();
    boost::json::error_code failure;
    const std::size_t read = parser.write_some(false, line.data(), line.size(), failure);
    // The parser stops after the object and the blanks behind it: more is not JSON Lines.
    if (failure || !parser.done() || read != line.size()) {
        return Error("kein JSON-Objekt");
    }
    const auto& fields = parser.handler().fields;

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
