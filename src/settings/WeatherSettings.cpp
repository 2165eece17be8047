// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/WeatherSettings.h"

#include "base/Win1252.h"
#include "decode/Reading.h"

namespace tavrolin {

namespace {

constexpr int kMaxDigits = 15;  // well inside int64_t, and more than a profile needs
constexpr int kMaxRainDecimals = 6;
constexpr int64_t kRainStepLimitMm = 1000;

// A number as a person types it into a profile: an optional sign, digits, at most one
// decimal point ("0.25", "-12", ".5"). No exponent, no blanks inside, and no decimal comma:
// "0,25" would otherwise be taken as 0 by a reader that stops at the comma.
std::optional<Decimal> ParseDecimalText(std::string_view text) {
    Decimal number;
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        ++i;
    }
    int digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9' || ++digits > kMaxDigits) {
            return std::nullopt;
        }
        number.raw = number.raw * 10 + (c - '0');
        number.decimals += point ? 1 : 0;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    number.raw = negative ? -number.raw : number.raw;
    return number;
}

int64_t PowerOfTen(int exponent) {
    int64_t power = 1;
    for (int i = 0; i < exponent; ++i) {
        power *= 10;
    }
    return power;
}

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
        mm->raw >= kRainStepLimitMm * PowerOfTen(mm->decimals)) {
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
    if (!IsAltitudeKey(key)) {
        m_result.errors.push_back("Der Eintrag " + Quoted(key) +
                                  " im Abschnitt [Station] ist unbekannt; die Höhe der Station "
                                  "in Metern heißt Höhe, z. B. Höhe=312.");
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

}  // namespace tavrolin
