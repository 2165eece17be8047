// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/Reading.h"

#include <algorithm>

namespace tavrolin {

namespace {

constexpr std::array<QuantityInfo, 9> kQuantities{{
    {"temperature", "\u00B0C", "Temperatur", 1},
    {"humidity", "%", "Feuchte", 0},
    {"pressure", "hPa", "Luftdruck", 0},
    {"wind_speed", "km/h", "Windgeschwindigkeit", 1},
    {"wind_direction", "\u00B0", "Windrichtung", 0},
    {"wind_b", "", "B", 0},
    {"rain_counter", "", "Regenz\u00E4hler", 0},
    {"value", "", "Wert", 0},
    {"factor", "", "Faktor", 0},
}};

// Kinds 0..6 with their addresses, the remote control, the Fenster events: one id each.
constexpr std::array<std::string_view, kSensorCount> kSensorIds{
    "temp-only-0",   "temp-only-1",    "temp-only-2",   "temp-only-3",   "temp-only-4",
    "temp-only-5",   "temp-only-6",    "temp-only-7",   "outdoor-0",     "outdoor-1",
    "outdoor-2",     "outdoor-3",      "outdoor-4",     "outdoor-5",     "outdoor-6",
    "outdoor-7",     "rain-0",         "rain-1",        "rain-2",        "rain-3",
    "rain-4",        "rain-5",         "rain-6",        "rain-7",        "wind-0",
    "wind-1",        "wind-2",         "wind-3",        "wind-4",        "wind-5",
    "wind-6",        "wind-7",         "indoor-0",      "indoor-1",      "indoor-2",
    "indoor-3",      "indoor-4",       "indoor-5",      "indoor-6",      "indoor-7",
    "brightness-0",  "brightness-1",   "brightness-2",  "brightness-3",  "brightness-4",
    "brightness-5",  "brightness-6",   "brightness-7",  "pyranometer-0", "pyranometer-1",
    "pyranometer-2", "pyranometer-3",  "pyranometer-4", "pyranometer-5", "pyranometer-6",
    "pyranometer-7", "remote-control", "window-event",
};
constexpr int kRemoteControlIndex = 7 * 8;
constexpr int kFensterIndex = kRemoteControlIndex + 1;

// Per kind 0..6: how many quantities, and which.
constexpr std::array<std::array<Quantity, 3>, 7> kKindQuantities{{
    {Quantity::Temperature},
    {Quantity::Temperature, Quantity::Humidity},
    {Quantity::RainCounter},
    {Quantity::WindSpeed, Quantity::WindDirection, Quantity::WindB},
    {Quantity::Temperature, Quantity::Humidity, Quantity::Pressure},
    {Quantity::Value, Quantity::Factor},
    {Quantity::Value, Quantity::Factor},
}};
constexpr std::array<std::size_t, 7> kKindQuantityCounts{1, 2, 1, 3, 3, 2, 2};

constexpr std::array<std::string_view, 7> kKindLabels{
    "nur Temp", "Au\u00DFen", "Regen", "Wind", "Innen", "Helligkeit", "Pyranometer",
};

// RecordingMask bits of the records whose bit does not depend on the address. TempOnly and
// Outdoor use bit a, Indoor bit 10 + a.
constexpr int kRainBit = 8;
constexpr int kWindBit = 9;
constexpr int kIndoorFirstBit = 10;
constexpr int kBrightnessBit = 18;
constexpr int kPyranometerBit = 19;
constexpr int kRemoteControlBit = 20;

}  // namespace

const QuantityInfo& InfoOf(Quantity quantity) {
    return kQuantities[static_cast<std::size_t>(quantity)];
}

std::span<const Quantity> QuantitiesOf(SensorKind kind) {
    if (kind == SensorKind::Special) {
        return {};
    }
    const auto k = static_cast<std::size_t>(kind);
    return std::span<const Quantity>(kKindQuantities[k].data(), kKindQuantityCounts[k]);
}

double Measurement::Value() const {
    return InfoOf(quantity).decimals == 1 ? raw / 10.0 : static_cast<double>(raw);
}

int IndexOf(const SensorKey& key) {
    if (key.kind == SensorKind::Special) {
        return key.remoteControl ? kRemoteControlIndex : kFensterIndex;
    }
    return static_cast<int>(key.kind) * 8 + (key.address & 0x07);
}

SensorKey SensorAt(int index) {
    if (index == kRemoteControlIndex) {
        return {SensorKind::Special, 0, true};
    }
    if (index == kFensterIndex) {
        return {SensorKind::Special, 0, false};
    }
    return {static_cast<SensorKind>(index / 8), static_cast<uint8_t>(index % 8), false};
}

std::string_view SensorIdOf(const SensorKey& key) {
    return kSensorIds[static_cast<std::size_t>(IndexOf(key))];
}

std::optional<SensorKey> ParseSensorId(std::string_view id) {
    for (int i = 0; i < kSensorCount; ++i) {
        if (kSensorIds[static_cast<std::size_t>(i)] == id) {
            return SensorAt(i);
        }
    }
    return std::nullopt;
}

std::string_view KindLabel(const SensorKey& key) {
    if (key.kind == SensorKind::Special) {
        return key.remoteControl ? "Fernbedienung" : "Fenster";
    }
    return kKindLabels[static_cast<std::size_t>(key.kind)];
}

SensorKey Reading::Key() const {
    if (kind == SensorKind::Special) {
        return {SensorKind::Special, 0, subtype == SpecialSubtype::RemoteControl};
    }
    return {kind, address, false};
}

void Reading::MakeRemoteControl(std::string_view keys) {
    kind = SensorKind::Special;
    subtype = SpecialSubtype::RemoteControl;
    address = 7;
    version12 = true;
    const std::size_t length = std::min(keys.size(), text.size() - 1);
    std::copy_n(keys.begin(), length, text.begin());
    text[length] = '\0';
}

void Reading::MakeFensterEvent(FensterEvent edge) {
    const bool low = edge == FensterEvent::Low;
    kind = SensorKind::Special;
    subtype = low ? SpecialSubtype::FensterLow : SpecialSubtype::FensterHigh;
    event = edge;
    address = low ? 1 : 0;
    version12 = false;
}

std::optional<Measurement> Reading::Find(Quantity quantity) const {
    for (std::size_t i = 0; i < valueCount; ++i) {
        if (values[i].quantity == quantity) {
            return values[i];
        }
    }
    return std::nullopt;
}

int RecordingBit(const Reading& reading) {
    switch (reading.kind) {
        case SensorKind::TempOnly:
        case SensorKind::Outdoor:
            return reading.address;
        case SensorKind::Rain:
            return kRainBit;
        case SensorKind::Wind:
            return kWindBit;
        case SensorKind::Indoor:
            return kIndoorFirstBit + reading.address;
        case SensorKind::Brightness:
            return kBrightnessBit;
        case SensorKind::Pyranometer:
            return kPyranometerBit;
        case SensorKind::Special:
            break;
    }
    return reading.subtype == SpecialSubtype::RemoteControl ? kRemoteControlBit : -1;
}

}  // namespace tavrolin
