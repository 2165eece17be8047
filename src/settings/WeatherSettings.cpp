// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/WeatherSettings.h"

#include "base/Win1252.h"
#include "decode/Reading.h"
#include "settings/DecimalText.h"
#include "settings/StationSensors.h"

namespace tavrolin {

namespace {

constexpr int kMaxRainDecimals = 6;
constexpr int64_t kRainStepLimitMm = 1000;

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return lower;
}

// The key "Höhe" in the profile's own Windows-1252 or as a UTF-8 editor saves it, in any case.
bool IsAltitudeKey(std::string_view key) {
    std::string folded = LowerAscii(ProfileTextToUtf8(key));
    if (const std::size_t o = folded.find("\xC3\x96"); o != std::string::npos) {
        folded[o + 1] = '\xB6';  // "Ö" to "ö"
    }
    return folded == "h\xC3\xB6he";
}

// "Breite" and "Länge" (also "Laenge"), in any case and either encoding.
enum class PositionKey { None, Latitude, Longitude };
PositionKey PositionKeyOf(std::string_view key) {
    const std::string folded = FoldedProfileKey(key);
    if (folded == "breite") {
        return PositionKey::Latitude;
    }
    return folded == "l\xC3\xA4nge" || folded == "laenge" ? PositionKey::Longitude
                                                          : PositionKey::None;
}

std::string Quoted(std::string_view profileText) {
    return "\"" + ProfileTextToUtf8(profileText) + "\"";
}

}  // namespace

void WeatherSettingsParser::AddRainEntry(std::string_view key, std::string_view value) {
    const std::optional<SensorKey> sensor = ParseSensorId(LowerAscii(key));
    if (!sensor || sensor->kind != SensorKind::Rain) {
        m_result.errors.push_back("Der Eintrag " + Quoted(key) +
                                  " im Abschnitt [Regen] nennt keinen Regensensor; die "
                                  "Schlüssel heißen rain-0 bis rain-7.");
        return;
    }
    if (m_rainSeen[sensor->address] || value.empty()) {
        return;
    }
    m_rainSeen[sensor->address] = true;
    const std::optional<Decimal> mm = ParseDecimalText(value);
    if (!mm || mm->raw <= 0 || mm->decimals > kMaxRainDecimals ||
        mm->raw >= kRainStepLimitMm * mm->Scale()) {
        m_result.errors.push_back(
            "Die Regenmenge je Zählschritt " + Quoted(value) + " (" + LowerAscii(key) +
            " im Abschnitt [Regen]) ist keine positive Zahl unter 1000 mit Dezimalpunkt und "
            "höchstens sechs Nachkommastellen, wie 0.25. Dieser Regensensor meldet daher nur "
            "Zählschritte, keine Millimeter.");
        return;
    }
    m_result.settings.rain.mmPerStep[sensor->address] = *mm;
}

void WeatherSettingsParser::AddStationEntry(std::string_view key, std::string_view value) {
    if (StationRoleOfKey(key)) {
        return;  // a main sensor: StationSensorsParser's
    }
    if (const PositionKey position = PositionKeyOf(key); position != PositionKey::None) {
        AddPositionEntry(position == PositionKey::Latitude, value);
        return;
    }
    if (!IsAltitudeKey(key)) {
        m_result.errors.push_back("Der Eintrag " + Quoted(key) +
                                  " im Abschnitt [Station] ist unbekannt; die Höhe der Station "
                                  "in Metern heißt Höhe, z. B. Höhe=312, ihr Ort Breite und "
                                  "Länge, die Hauptsensoren Außen, Wind, Regen und Luftdruck.");
        return;
    }
    if (m_altitudeSeen || value.empty()) {
        return;
    }
    m_altitudeSeen = true;
    const std::optional<Decimal> metres = ParseDecimalText(value);
    const double altitude = metres ? metres->Value() : 0;
    if (!metres || altitude < StationSettings::kLowestAltitude ||
        altitude > StationSettings::kHighestAltitude) {
        m_result.errors.push_back("Die Höhe " + Quoted(value) +
                                  " (Höhe im Abschnitt [Station]) ist keine Zahl von -500 bis "
                                  "9000 Metern. Der Luftdruck auf Meereshöhe wird daher nicht "
                                  "berechnet.");
        return;
    }
    m_result.settings.station.altitudeMetres = altitude;
}

void WeatherSettingsParser::AddPositionEntry(bool latitude, std::string_view value) {
    bool& seen = latitude ? m_latitudeSeen : m_longitudeSeen;
    if (seen || value.empty()) {
        return;
    }
    seen = true;
    const double limit = latitude ? 90 : 180;
    const std::optional<Decimal> degrees = ParseDecimalText(value);
    const double number = degrees ? degrees->Value() : 0;
    if (!degrees || number < -limit || number > limit) {
        m_result.errors.push_back(
            std::string(latitude ? "Die Breite " : "Die Länge ") + Quoted(value) + " (" +
            (latitude ? "Breite" : "Länge") + " im Abschnitt [Station]) ist keine Zahl von " +
            (latitude ? "-90 bis 90" : "-180 bis 180") + " Grad mit Dezimalpunkt, " +
            (latitude ? "Süden negativ, wie 48.1375" : "Westen negativ, wie 11.575") +
            ". Ohne den Ort der Station sendet tavrolin-upload nicht an CWOP.");
        return;
    }
    (latitude ? m_result.settings.station.latitudeDegrees
              : m_result.settings.station.longitudeDegrees) = number;
}

}  // namespace tavrolin
