// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PackedReadings.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "weather/WeatherFormulas.h"

namespace tavrolin {

namespace {

// The flags byte after the kind: the address in bits 0..2, then what follows.
constexpr uint8_t kVersion12 = 1 << 3;
constexpr uint8_t kInterval = 1 << 4;
constexpr uint8_t kRain = 1 << 5;
// Of the rain's byte: which millimetres it has.
constexpr uint8_t kMm = 1 << 0;
constexpr uint8_t kTodayMm = 1 << 1;
constexpr uint8_t kHourMm = 1 << 2;

// Numbers in 7-bit groups, low first, the high bit saying that more follow; signed ones
// zigzag-coded first, so that small negative numbers are short too.
void PutUnsigned(uint64_t value, std::string& out) {
    while (value >= 0x80) {
        out += static_cast<char>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    out += static_cast<char>(value);
}

void PutSigned(int64_t value, std::string& out) {
    PutUnsigned((static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63), out);
}

void PutByte(uint8_t value, std::string& out) {
    out += static_cast<char>(value);
}

void PutDecimal(const Decimal& value, std::string& out) {
    PutSigned(value.raw, out);
    PutSigned(value.decimals, out);
}

// Reads what the Put functions wrote, front to back.
class Unpacker {
public:
    explicit Unpacker(std::string_view bytes) : m_bytes(bytes) {}

    uint8_t Byte() {
        if (m_at >= m_bytes.size()) {
            return 0;
        }
        return static_cast<uint8_t>(m_bytes[m_at++]);
    }
    uint64_t Unsigned() {
        uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            const uint8_t byte = Byte();
            value |= uint64_t{byte & 0x7FU} << shift;
            if ((byte & 0x80) == 0) {
                break;
            }
        }
        return value;
    }
    int64_t Signed() {
        const uint64_t zigzag = Unsigned();
        return static_cast<int64_t>(zigzag >> 1) ^ -static_cast<int64_t>(zigzag & 1);
    }
    Decimal DecimalValue() {
        Decimal value;
        value.raw = Signed();
        value.decimals = static_cast<int>(Signed());
        return value;
    }

private:
    std::string_view m_bytes;
    std::size_t m_at = 0;
};

void Pack(const Reading& r, std::string& out) {
    PutSigned(UnixMs(r.time), out);
    PutSigned(r.utcOffsetSeconds, out);
    PutByte(static_cast<uint8_t>(r.kind), out);
    PutByte(static_cast<uint8_t>(r.subtype), out);
    PutByte(static_cast<uint8_t>(r.event), out);
    const WeatherValues& weather = r.weather;
    PutByte(static_cast<uint8_t>((r.address & 0x07) | (r.version12 ? kVersion12 : 0) |
                                 (r.interval ? kInterval : 0) | (weather.rain ? kRain : 0)),
            out);
    if (r.interval) {
        PutSigned(r.interval->count(), out);
    }
    PutByte(r.valueCount, out);
    for (std::size_t i = 0; i < r.valueCount; ++i) {
        PutByte(static_cast<uint8_t>(r.values[i].quantity), out);
        PutSigned(r.values[i].raw, out);
    }
    const std::size_t textLength = strnlen(r.text.data(), r.text.size());
    PutByte(static_cast<uint8_t>(textLength), out);
    out.append(r.text.data(), textLength);

    PutByte(weather.valueCount, out);
    for (const WeatherValue& value : weather.Values()) {
        PutByte(static_cast<uint8_t>(value.quantity), out);
        PutDecimal(value.amount, out);
    }
    // The compass point by its number, 1 for "N"; 0 for none.
    const auto points = CompassPoints();
    const auto point = std::find(points.begin(), points.end(), weather.compass);
    PutByte(weather.compass.empty() || point == points.end()
                ? 0
                : static_cast<uint8_t>(point - points.begin() + 1),
            out);
    if (const std::optional<RainAmounts>& rain = weather.rain) {
        PutSigned(rain->steps, out);
        PutSigned(rain->todaySteps, out);
        PutSigned(rain->hourSteps, out);
        PutByte(static_cast<uint8_t>((rain->mm ? kMm : 0) | (rain->todayMm ? kTodayMm : 0) |
                                     (rain->hourMm ? kHourMm : 0)),
                out);
        for (const std::optional<Decimal>& mm : {rain->mm, rain->todayMm, rain->hourMm}) {
            if (mm) {
                PutDecimal(*mm, out);
            }
        }
    }
}

Reading Unpack(std::string_view bytes) {
    Unpacker in(bytes);
    Reading r;
    r.time = FromUnixMs(in.Signed());
    r.utcOffsetSeconds = static_cast<int32_t>(in.Signed());
    r.kind = static_cast<SensorKind>(in.Byte());
    r.subtype = static_cast<SpecialSubtype>(in.Byte());
    r.event = static_cast<FensterEvent>(in.Byte());
    const uint8_t flags = in.Byte();
    r.address = flags & 0x07;
    r.version12 = (flags & kVersion12) != 0;
    if ((flags & kInterval) != 0) {
        r.interval = Milliseconds(in.Signed());
    }
    r.valueCount = std::min<uint8_t>(in.Byte(), r.values.size());
    for (std::size_t i = 0; i < r.valueCount; ++i) {
        r.values[i].quantity = static_cast<Quantity>(in.Byte());
        r.values[i].raw = static_cast<int32_t>(in.Signed());
    }
    const std::size_t textLength = std::min<std::size_t>(in.Byte(), r.text.size() - 1);
    for (std::size_t i = 0; i < textLength; ++i) {
        r.text[i] = static_cast<char>(in.Byte());
    }

    WeatherValues& weather = r.weather;
    weather.valueCount = std::min<uint8_t>(in.Byte(), weather.values.size());
    for (std::size_t i = 0; i < weather.valueCount; ++i) {
        weather.values[i].quantity = static_cast<WeatherQuantity>(in.Byte());
        weather.values[i].amount = in.DecimalValue();
    }
    if (const uint8_t point = in.Byte(); point > 0 && point <= CompassPoints().size()) {
        weather.compass = CompassPoints()[point - 1];
    }
    if ((flags & kRain) != 0) {
        RainAmounts& rain = weather.rain.emplace();
        rain.steps = in.Signed();
        rain.todaySteps = in.Signed();
        rain.hourSteps = in.Signed();
        const uint8_t mm = in.Byte();
        if ((mm & kMm) != 0) {
            rain.mm = in.DecimalValue();
        }
        if ((mm & kTodayMm) != 0) {
            rain.todayMm = in.DecimalValue();
        }
        if ((mm & kHourMm) != 0) {
            rain.hourMm = in.DecimalValue();
        }
    }
    return r;
}

}  // namespace

uint64_t PackedReadings::Append(const Reading& reading) {
    const uint64_t position = End();
    Pack(reading, m_bytes);
    return position;
}

Reading PackedReadings::At(uint64_t position) const {
    return Unpack(std::string_view(m_bytes).substr(position - m_first));
}

void PackedReadings::DropBefore(uint64_t position) {
    if (position <= m_first) {
        return;
    }
    const std::size_t unused = std::min<uint64_t>(position - m_first, m_bytes.size());
    // Moved up only once the unused bytes are half of them, so that each byte is moved
    // about once, however the readings go.
    if (2 * unused >= m_bytes.size()) {
        m_bytes.erase(0, unused);
        m_first += unused;
    }
}

}  // namespace tavrolin
