// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ReadingJson.h"

#include <charconv>
#include <cstdlib>

namespace tavrolin {

namespace {

void AppendInt(int64_t value, std::string& out) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void AppendDigits(int value, int width, std::string& out) {
    char digits[12];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(digits, static_cast<std::size_t>(width));
}

void AppendKey(std::string_view key, std::string& out) {
    out += ",\"";
    out += key;
    out += "\":";
}

}  // namespace

void JsonOutputs::Accept(const Reading& reading) {
    if (begin() == end()) {
        return;
    }
    m_json.clear();
    AppendReadingJson(reading, m_json);
    for (JsonSink* sink : *this) {
        sink->AcceptJson(reading, m_json);
    }
}

void AppendFixed(int64_t raw, int decimals, std::string& out) {
    if (decimals == 0) {
        AppendInt(raw, out);
        return;
    }
    int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) {
        scale *= 10;
    }
    if (raw < 0) {
        out += '-';
    }
    const uint64_t magnitude =
        raw < 0 ? 0 - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw);
    AppendInt(static_cast<int64_t>(magnitude / static_cast<uint64_t>(scale)), out);
    out += '.';
    AppendDigits(static_cast<int>(magnitude % static_cast<uint64_t>(scale)), decimals, out);
}

void AppendRfc3339(const LocalTime& t, std::string& out) {
    AppendDigits(t.year, 4, out);
    out += '-';
    AppendDigits(t.month, 2, out);
    out += '-';
    AppendDigits(t.day, 2, out);
    out += 'T';
    AppendDigits(t.hour, 2, out);
    out += ':';
    AppendDigits(t.minute, 2, out);
    out += ':';
    AppendDigits(t.second, 2, out);
    out += '.';
    AppendDigits(t.millisecond, 3, out);
    const int offsetMinutes = std::abs(t.utcOffsetSeconds) / 60;
    out += t.utcOffsetSeconds < 0 ? '-' : '+';
    AppendDigits(offsetMinutes / 60, 2, out);
    out += ':';
    AppendDigits(offsetMinutes % 60, 2, out);
}

void AppendReadingJson(const Reading& r, std::string& out) {
    out += "{\"time\":\"";
    AppendRfc3339(r.Local(), out);
    out += "\",\"sensor\":\"";
    out += r.SensorId();
    out += '"';
    if (r.kind != SensorKind::Special) {
        AppendKey("kind", out);
        AppendInt(static_cast<int>(r.kind), out);
        AppendKey("address", out);
        AppendInt(r.address, out);
        out += r.version12 ? ",\"v12\":true" : ",\"v12\":false";
    }
    if (r.interval) {
        AppendKey("interval", out);
        AppendFixed(r.interval->count(), 3, out);
    }
    for (std::size_t i = 0; i < r.valueCount; ++i) {
        const QuantityInfo& info = InfoOf(r.values[i].quantity);
        AppendKey(info.key, out);
        AppendFixed(r.values[i].raw, info.decimals, out);
    }
    for (const WeatherValue& value : r.weather.Values()) {
        AppendKey(InfoOf(value.quantity).key, out);
        AppendFixed(value.amount.raw, value.amount.decimals, out);
    }
    if (!r.weather.compass.empty()) {
        AppendKey(kWindCompassKey, out);
        out += '"';
        out += r.weather.compass;
        out += '"';
    }
    if (r.kind == SensorKind::Special) {
        if (r.subtype == SpecialSubtype::RemoteControl) {
            // Printable ASCII without control characters; only '"' and '\' need escaping.
            out += ",\"text\":\"";
            for (std::size_t i = 0; i < r.text.size() && r.text[i] != '\0'; ++i) {
                if (r.text[i] == '"' || r.text[i] == '\\') {
                    out += '\\';
                }
                out += r.text[i];
            }
            out += '"';
        } else {
            out += r.event == FensterEvent::High ? ",\"event\":\"high\"" : ",\"event\":\"low\"";
        }
    }
    out += '}';
}

}  // namespace tavrolin
