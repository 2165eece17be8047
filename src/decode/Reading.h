// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/Clock.h"
#include "decode/WeatherValues.h"

namespace tavrolin {

// Bits 6..4 of D0.
enum class SensorKind : uint8_t {
    TempOnly = 0,
    Outdoor = 1,
    Rain = 2,
    Wind = 3,
    Indoor = 4,
    Brightness = 5,
    Pyranometer = 6,
    Special = 7,
};

// A Special telegram's kind of event is the whole low nibble of D0; the others are unknown.
enum class SpecialSubtype : uint8_t {
    FensterHigh = 0,
    FensterLow = 1,
    RemoteControl = 15,
};

// The quantities a telegram carries. Each is kept as the integer the telegram holds, with
// the number of decimals the decoding gives it, so that 12.3 °C stays 12.3 and never
// becomes 12.300000190734863 on its way to a machine.
enum class Quantity : uint8_t {
    Temperature,    // °C, tenths
    Humidity,       // %
    Pressure,       // hPa
    WindSpeed,      // km/h, tenths
    WindDirection,  // °
    WindB,          // the wind sensor's "B" digit, no unit
    RainCounter,    // the rain sensor's raw counter
    Value,          // raw value of the brightness and pyranometer sensors
    Factor,         // its factor
};

struct QuantityInfo {
    std::string_view key;    // JSON and MQTT name: "temperature"
    std::string_view unit;   // UTF-8 ("°C"), empty where the decoding gives none
    std::string_view label;  // German, UTF-8, for the window: "Temperatur"
    int decimals;            // the stored integer is value * 10^decimals
};
const QuantityInfo& InfoOf(Quantity quantity);

// The quantities a telegram of this kind carries, in the order the decoder puts them into a
// Reading's values; none for the remote control and the Fenster events.
std::span<const Quantity> QuantitiesOf(SensorKind kind);

struct Measurement {
    Quantity quantity = Quantity::Value;
    int32_t raw = 0;  // value * 10^InfoOf(quantity).decimals

    double Value() const;

    friend bool operator==(const Measurement&, const Measurement&) = default;
};

// Which sensor a reading came from, stable across battery changes: the address is set on
// the sensor itself. The two Fenster events share one sensor.
struct SensorKey {
    SensorKind kind = SensorKind::TempOnly;
    uint8_t address = 0;         // 0..7; 0 for the remote control and the Fenster events
    bool remoteControl = false;  // with kind Special: the remote control, else Fenster

    friend bool operator==(const SensorKey&, const SensorKey&) = default;
};

// "temp-only-0" .. "pyranometer-7", "remote-control", "window-event". Never allocates.
std::string_view SensorIdOf(const SensorKey& key);
// The reverse of SensorIdOf; nothing for a text that names no sensor.
std::optional<SensorKey> ParseSensorId(std::string_view id);
// Every sensor id there is, in the order kinds 0..6 with addresses 0..7, then the remote
// control and the Fenster events.
inline constexpr int kSensorCount = 7 * 8 + 2;
SensorKey SensorAt(int index);  // 0 .. kSensorCount - 1
int IndexOf(const SensorKey& key);

// The kind as the received list names it, UTF-8: "nur Temp", "Außen", ..., "Fernbedienung",
// "Fenster".
std::string_view KindLabel(const SensorKey& key);

enum class FensterEvent : uint8_t { None, High, Low };

// One decoded telegram as a value: what the report line says, typed. The decoder builds it
// first and the report line from it, so the two never disagree. Fixed size: building one
// allocates nothing.
struct Reading {
    Instant time;  // when the telegram was decoded
    // How far local time was from UTC then, in seconds: the time of day the list and the
    // protocol file write beside the reading, and the local day its rain counts to.
    int32_t utcOffsetSeconds = 0;
    SensorKind kind = SensorKind::TempOnly;
    SpecialSubtype subtype = SpecialSubtype::FensterHigh;  // with kind Special only
    uint8_t address = 0;                                   // bits 2..0 of D0
    bool version12 = false;                                // bit 3 of D0: " V1.2"
    // The time since this sensor's previous reading (or since the program started): the
    // difference of the two instants; none for the remote control.
    std::optional<Milliseconds> interval;
    std::array<Measurement, 3> values{};
    uint8_t valueCount = 0;
    // The remote control's characters up to the first 0 byte, control characters as '?';
    // NUL-terminated.
    std::array<char, 6> text{};
    FensterEvent event = FensterEvent::None;
    // What the program derives from the values (dew point, rain in millimetres, ...) before
    // the readings reach its outputs; never part of the report line.
    WeatherValues weather;

    SensorKey Key() const;
    std::string_view SensorId() const { return SensorIdOf(Key()); }
    // The local time it was received at, as people read it.
    LocalTime Local() const { return LocalTimeAt(time, utcOffsetSeconds); }
    int64_t LocalDay() const { return LocalDayOf(time, utcOffsetSeconds); }
    std::optional<Measurement> Find(Quantity quantity) const;

    // Makes this a reading of the special kind, as its telegram would have it: the remote
    // control (address 7 and the V1.2 bit, all of the low nibble) with the first five
    // characters of `keys`, or a Fenster event (address 0 High, 1 Low).
    void MakeRemoteControl(std::string_view keys);
    void MakeFensterEvent(FensterEvent edge);

    friend bool operator==(const Reading&, const Reading&) = default;
};

// Bits of the RecordingMask: which sensors' records the list and protocol file present.
using RecordingMask = uint32_t;
inline constexpr RecordingMask kAllRecordings = 0x1FFFFF;  // bits 0..20

// The bit of the RecordingMask that selects this reading, or -1 for the Fenster events,
// which are never filtered.
int RecordingBit(const Reading& reading);
inline bool IsRecorded(const Reading& reading, RecordingMask mask) {
    const int bit = RecordingBit(reading);
    return bit < 0 || ((mask >> bit) & 1u) != 0;
}

}  // namespace tavrolin
