// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ReadingText.h"

#include <algorithm>

#include "decode/ReadingJson.h"

namespace tavrolin {

namespace {

void AppendTwo(int64_t value, std::string& out) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

void AppendClock(int64_t hours, int64_t minutes, int64_t seconds, std::string& out) {
    AppendTwo(hours, out);
    out += ':';
    AppendTwo(minutes, out);
    out += ':';
    AppendTwo(seconds, out);
}

}  // namespace

std::string ValuesText(const Reading& r, char decimalMark) {
    if (r.kind == SensorKind::Special) {
        if (r.subtype == SpecialSubtype::RemoteControl) {
            return "\"" + std::string(r.text.data()) + "\"";
        }
        return r.event == FensterEvent::Low ? "Low" : "High";
    }
    std::string out;
    if (r.kind == SensorKind::Brightness || r.kind == SensorKind::Pyranometer) {
        // The factor scales the value: a person reads the one number they make.
        const std::optional<Measurement> value = r.Find(Quantity::Value);
        const std::optional<Measurement> factor = r.Find(Quantity::Factor);
        if (value && factor) {
            return std::string(r.kind == SensorKind::Brightness ? "Helligkeit " : "Einstrahlung ") +
                   std::to_string(int64_t{value->raw} * factor->raw);
        }
    }
    for (std::size_t i = 0; i < r.valueCount; ++i) {
        const QuantityInfo& info = InfoOf(r.values[i].quantity);
        if (i > 0) {
            out += ", ";
        }
        if (info.unit.empty()) {
            out += info.label;
            out += ' ';
        }
        const std::size_t number = out.size();
        AppendFixed(r.values[i].raw, info.decimals, out);
        std::replace(out.begin() + static_cast<std::ptrdiff_t>(number), out.end(), '.',
                     decimalMark);
        if (!info.unit.empty()) {
            // An angle's degree sign follows the number directly: "260°", but "12.3 °C".
            if (info.unit != "\u00B0") {
                out += ' ';
            }
            out += info.unit;
        }
    }
    return out;
}

std::string DurationText(int64_t ms) {
    int64_t s = (ms + 500) / 1000;
    std::string out;
    if (s >= 86400) {
        out = std::to_string(s / 86400) + " d ";
        s %= 86400;
    }
    AppendClock(s / 3600, s / 60 % 60, s % 60, out);
    return out;
}

std::string DateTimeText(const LocalTime& t) {
    std::string out;
    AppendTwo(t.day, out);
    out += '.';
    AppendTwo(t.month, out);
    out += '.';
    out += std::to_string(t.year);
    out += ' ';
    AppendClock(t.hour, t.minute, t.second, out);
    return out;
}

std::string ClockText(const LocalTime& t) {
    std::string out;
    AppendClock(t.hour, t.minute, t.second, out);
    return out;
}

}  // namespace tavrolin
