// SPDX-License-Identifier: GPL-3.0-or-later
// What report and records write (Climate.h): the German table, CSV and JSON.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "decode/ReadingJson.h"
#include "decode/ReadingText.h"
#include "history/Climate.h"
#include "weather/WeatherFormulas.h"

namespace tavrolin {

namespace {

constexpr const char* kMonthNames[] = {"Januar",    "Februar", "März",     "April",
                                       "Mai",       "Juni",    "Juli",     "August",
                                       "September", "Oktober", "November", "Dezember"};
constexpr const char* kWeekdays[] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};

}  // namespace

// The decimals of a quantity's extremes; its means get one more where it has none.
int DecimalsOf(ClimateQuantity q) {
    return q == ClimateQuantity::Humidity || q == ClimateQuantity::Pressure ? 0 : 1;
}

namespace {

std::string Number(double value, int decimals, bool comma = false) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    if (s.starts_with("-") && s.find_first_not_of("-0.") == std::string::npos) {
        s.erase(0, 1);  // no "-0.0"
    }
    if (comma) {
        std::replace(s.begin(), s.end(), '.', ',');
    }
    return s;
}

// A rain amount to the thousandth of a millimetre, without trailing zeros.
std::string RainNumber(double mm, bool comma = false) {
    std::string s = Number(mm, 3);
    while (s.find('.') != std::string::npos && (s.back() == '0' || s.back() == '.')) {
        const bool point = s.back() == '.';
        s.pop_back();
        if (point) {
            break;
        }
    }
    if (comma) {
        std::replace(s.begin(), s.end(), '.', ',');
    }
    return s;
}

LocalTime DateOf(int64_t day) {
    return LocalTimeAt(FromUnixMs(day * kMsPerDay), 0);
}

std::string IsoDate(int64_t day) {
    char text[16];
    const LocalTime d = DateOf(day);
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

std::string IsoMonth(int64_t day) {
    return IsoDate(day).substr(0, 7);
}

std::string Rfc3339(const Extreme& e) {
    std::string out;
    AppendRfc3339(LocalTimeAt(e.at, e.utcOffsetSeconds), out);
    return out;
}

// "06:13" of a day's extreme, "02.11. 06:13" of a longer period's.
std::string ClockText(const Extreme& e, bool withDate) {
    const LocalTime t = LocalTimeAt(e.at, e.utcOffsetSeconds);
    char text[24];
    if (withDate) {
        std::snprintf(text, sizeof text, "%02d.%02d. %02d:%02d", t.day, t.month, t.hour, t.minute);
    } else {
        std::snprintf(text, sizeof text, "%02d:%02d", t.hour, t.minute);
    }
    return text;
}

// "02.11." of an instant, as received.
std::string DotDate(Instant at, int utcOffsetSeconds) {
    const LocalTime t = LocalTimeAt(at, utcOffsetSeconds);
    char text[16];
    std::snprintf(text, sizeof text, "%02d.%02d.", t.day, t.month);
    return text;
}

}  // namespace

std::string_view QuantityName(ClimateQuantity q) {
    switch (q) {
        case ClimateQuantity::Temperature:
            return "Temperatur";
        case ClimateQuantity::Humidity:
            return "Feuchte";
        case ClimateQuantity::Pressure:
            return "Luftdruck";
        case ClimateQuantity::PressureSeaLevel:
            return "Luftdruck auf Meereshöhe";
        case ClimateQuantity::DewPoint:
            return "Taupunkt";
        case ClimateQuantity::WindSpeed:
            return "Wind";
    }
    return "";
}

namespace {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::string JsonNumber(const std::optional<double>& v, int decimals) {
    return v ? Number(*v, decimals) : "null";
}

bool IsRain(const ClimateReport& r) {
    return r.sensor.kind == SensorKind::Rain;
}
bool InMm(const ClimateReport& r) {
    return r.request.weather.rain.mmPerStep[r.sensor.address & 0x07].has_value();
}

// The period's figures of one quantity as JSON.
std::string FiguresJson(const std::optional<Figures>& f, ClimateQuantity q) {
    if (!f) {
        return "null";
    }
    const int d = DecimalsOf(q);
    return "{\"mean\":" + JsonNumber(f->mean, std::max(d, 1)) +
           ",\"min\":" + Number(f->min->value, d) + ",\"minAt\":\"" + Rfc3339(*f->min) +
           "\",\"max\":" + Number(f->max->value, d) + ",\"maxAt\":\"" + Rfc3339(*f->max) + "\"}";
}

std::string CountsJson(const ClimateCounts& c) {
    std::string out = "{\"frost_days\":" + std::to_string(c.frostDays) +
                      ",\"ice_days\":" + std::to_string(c.iceDays) +
                      ",\"summer_days\":" + std::to_string(c.summerDays) +
                      ",\"hot_days\":" + std::to_string(c.hotDays) +
                      ",\"tropical_nights\":" + std::to_string(c.tropicalNights) +
                      ",\"heating_days\":" + std::to_string(c.heatingDays) +
                      ",\"g20_15\":" + Number(c.g2015, 1) +
                      ",\"heating_degree_days\":" + Number(c.heatingDegreeDays, 1);
    if (c.rainDays01) {
        out += ",\"rain_days_0_1\":" + std::to_string(*c.rainDays01) +
               ",\"rain_days_1\":" + std::to_string(*c.rainDays1) +
               ",\"rain_days_10\":" + std::to_string(*c.rainDays10);
    }
    return out + "}";
}

std::string PeriodJson(const ClimateReport& r, const ClimatePeriod& p, const char* key,
                       const std::string& label) {
    std::string out = "{\"" + std::string(key) + "\":\"" + label +
                      "\",\"complete\":" + (p.complete ? "true" : "false") +
                      ",\"readings\":" + std::to_string(p.readings);
    if (key != std::string_view("date")) {
        out += ",\"days_with_readings\":" + std::to_string(p.daysWithReadings) +
               ",\"complete_days\":" + std::to_string(p.completeDays);
    }
    for (const ClimateQuantity q : ClimateQuantitiesOf(r.sensor, r.request.weather)) {
        out += ",\"" + std::string(ClimateKey(q)) +
               "\":" + FiguresJson(p.figures[static_cast<std::size_t>(q)], q);
    }
    if (IsRain(r)) {
        out += InMm(r) ? ",\"rain_mm\":" + (p.rainMm ? RainNumber(*p.rainMm) : "null")
                       : ",\"rain_steps\":" + (p.rainSteps ? std::to_string(*p.rainSteps) : "null");
    }
    if (r.sensor.kind == SensorKind::Wind) {
        out += ",\"wind_direction\":" + JsonNumber(p.windDirection, 0);
    }
    if (p.counts) {
        out += ",\"counts\":" + CountsJson(*p.counts);
    }
    return out + "}";
}

// A table whose first column is left-aligned and the others right-aligned, two blanks apart.
std::size_t Width(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string Table(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], Width(row[i]));
        }
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - Width(row[i]), ' ');
            line += i == 0 ? row[i] + pad : "  " + pad + row[i];
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        out += line + "\n";
    }
    return out;
}

}  // namespace

// "°C", "%", "hPa", "km/h": the unit of a quantity's column.
std::string UnitOf(ClimateQuantity q) {
    switch (q) {
        case ClimateQuantity::Temperature:
        case ClimateQuantity::DewPoint:
            return "°C";
        case ClimateQuantity::Humidity:
            return "%";
        case ClimateQuantity::Pressure:
            return "hPa";
        case ClimateQuantity::PressureSeaLevel:
            return "hPa NN";
        case ClimateQuantity::WindSpeed:
            return "km/h";
    }
    return "";
}

namespace {

// The quantities shown with the mean alone.
bool MeanOnly(ClimateQuantity q) {
    return q == ClimateQuantity::Humidity || q == ClimateQuantity::DewPoint;
}

std::string Marks(const ClimatePeriod& p) {
    if (!p.counts) {
        return "";
    }
    const ClimateCounts& c = *p.counts;
    std::string m;
    m += c.frostDays ? "F" : "";
    m += c.iceDays ? "E" : "";
    m += c.summerDays ? "S" : "";
    m += c.hotDays ? "H" : "";
    m += c.tropicalNights ? "T" : "";
    return m;
}

}  // namespace

std::string ReportText(const ClimateReport& r, std::string_view name, ClimateFormat format) {
    const bool month = r.request.month != 0;
    const std::vector<ClimatePeriod>& rows = month ? r.days : r.months;
    const std::vector<ClimateQuantity> quantities =
        ClimateQuantitiesOf(r.sensor, r.request.weather);
    const std::string sensorId(SensorIdOf(r.sensor));
    const auto label = [&](const ClimatePeriod& p) {
        return month ? IsoDate(p.firstDay) : IsoMonth(p.firstDay);
    };
    const std::string totalLabel =
        month ? IsoMonth(r.total.firstDay) : std::to_string(r.request.year);
    if (format == ClimateFormat::Json) {
        std::string out = "{\"sensor\":\"" + sensorId + "\",\"name\":" + JsonString(name) +
                          ",\"from\":\"" + IsoDate(r.total.firstDay) + "\",\"to\":\"" +
                          IsoDate(r.total.endDay - 1) + "\",\"" + (month ? "days" : "months") +
                          "\":[";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            out +=
                (i ? "," : "") + PeriodJson(r, rows[i], month ? "date" : "month", label(rows[i]));
        }
        return out +
               "],\"summary\":" + PeriodJson(r, r.total, month ? "month" : "year", totalLabel) +
               "}\n";
    }
    if (format == ClimateFormat::Csv) {
        std::string out = std::string(month ? "date" : "month") + ",complete,readings";
        for (const ClimateQuantity q : quantities) {
            const std::string k(ClimateKey(q));
            out += "," + k + "_mean," + k + "_min," + k + "_min_at," + k + "_max," + k + "_max_at";
        }
        if (IsRain(r)) {
            out += InMm(r) ? ",rain_mm" : ",rain_steps";
        }
        if (r.sensor.kind == SensorKind::Wind) {
            out += ",wind_direction";
        }
        out +=
            ",frost_days,ice_days,summer_days,hot_days,tropical_nights,heating_days,g20_15,"
            "heating_degree_days,rain_days_0_1,rain_days_1,rain_days_10\r\n";
        const auto line = [&](const ClimatePeriod& p, const std::string& when) {
            std::string l = when + (p.complete ? ",true," : ",false,") + std::to_string(p.readings);
            for (const ClimateQuantity q : quantities) {
                const std::optional<Figures>& f = p.figures[static_cast<std::size_t>(q)];
                const int d = DecimalsOf(q);
                if (!f) {
                    l += ",,,,,";
                    continue;
                }
                l += "," + (f->mean ? Number(*f->mean, std::max(d, 1)) : "") + "," +
                     Number(f->min->value, d) + "," + Rfc3339(*f->min) + "," +
                     Number(f->max->value, d) + "," + Rfc3339(*f->max);
            }
            if (IsRain(r)) {
                l += ",";
                if (InMm(r) && p.rainMm) {
                    l += RainNumber(*p.rainMm);
                } else if (!InMm(r) && p.rainSteps) {
                    l += std::to_string(*p.rainSteps);
                }
            }
            if (r.sensor.kind == SensorKind::Wind) {
                l += "," + (p.windDirection ? Number(*p.windDirection, 0) : "");
            }
            if (p.counts) {
                const ClimateCounts& c = *p.counts;
                l += "," + std::to_string(c.frostDays) + "," + std::to_string(c.iceDays) + "," +
                     std::to_string(c.summerDays) + "," + std::to_string(c.hotDays) + "," +
                     std::to_string(c.tropicalNights) + "," + std::to_string(c.heatingDays) + "," +
                     Number(c.g2015, 1) + "," + Number(c.heatingDegreeDays, 1);
                for (const std::optional<int>& n : {c.rainDays01, c.rainDays1, c.rainDays10}) {
                    l += "," + (n ? std::to_string(*n) : "");
                }
            } else {
                l += ",,,,,,,,,,,";
            }
            return l + "\r\n";
        };
        for (const ClimatePeriod& p : rows) {
            out += line(p, label(p));
        }
        return out + line(r.total, totalLabel);
    }

    // The table.
    const LocalTime first = DateOf(r.total.firstDay);
    std::string out = std::string(month ? "Monatsbericht " : "Jahresbericht ") +
                      (month ? std::string(kMonthNames[first.month - 1]) + " " : "") +
                      std::to_string(first.year) + " · " + std::string(name) + " (" + sensorId +
                      ")\n\n";
    std::vector<std::vector<std::string>> table;
    std::vector<std::string> head{month ? "Tag" : "Monat"};
    for (const ClimateQuantity q : quantities) {
        const std::string unit = UnitOf(q);
        if (MeanOnly(q)) {
            head.push_back(q == ClimateQuantity::DewPoint ? "Ø Taupunkt" : "Ø Feuchte %");
            continue;
        }
        head.push_back("Ø " + unit);
        if (q != ClimateQuantity::WindSpeed) {
            head.push_back("Min " + unit);
            head.push_back("um");
        }
        head.push_back("Max " + unit);
        head.push_back("um");
    }
    if (r.sensor.kind == SensorKind::Wind) {
        head.push_back("Richtung");
    }
    if (IsRain(r)) {
        head.push_back(InMm(r) ? "Regen mm" : "Regen Schritte");
    }
    const bool temperature = std::find(quantities.begin(), quantities.end(),
                                       ClimateQuantity::Temperature) != quantities.end();
    if (temperature && month) {
        head.push_back("Kenntage");
    }
    table.push_back(head);
    const auto row = [&](const ClimatePeriod& p, std::string when, bool longer) {
        std::vector<std::string> cells{when + (p.complete ? " " : "*")};
        for (const ClimateQuantity q : quantities) {
            const std::optional<Figures>& f = p.figures[static_cast<std::size_t>(q)];
            const int d = DecimalsOf(q);
            const auto mean = f && f->mean ? Number(*f->mean, std::max(d, 1), true) : "–";
            cells.push_back(mean);
            if (MeanOnly(q)) {
                continue;
            }
            if (q != ClimateQuantity::WindSpeed) {
                cells.push_back(f ? Number(f->min->value, d, true) : "–");
                cells.push_back(f ? ClockText(*f->min, longer) : "");
            }
            cells.push_back(f ? Number(f->max->value, d, true) : "–");
            cells.push_back(f ? ClockText(*f->max, longer) : "");
        }
        if (r.sensor.kind == SensorKind::Wind) {
            const std::optional<std::string_view> point =
                p.windDirection
                    ? CompassPoint(static_cast<int>(std::lround(*p.windDirection)) % 360)
                    : std::nullopt;
            cells.push_back(point ? std::string(*point) : "–");
        }
        if (IsRain(r)) {
            cells.push_back(InMm(r) ? (p.rainMm ? RainNumber(*p.rainMm, true) : "–")
                                    : (p.rainSteps ? std::to_string(*p.rainSteps) : "–"));
        }
        if (temperature && month) {
            cells.push_back(longer ? "" : Marks(p));
        }
        table.push_back(cells);
    };
    for (const ClimatePeriod& p : rows) {
        const LocalTime d = DateOf(p.firstDay);
        char when[32];
        if (month) {
            std::snprintf(when, sizeof when, "%s %02d.%02d.", kWeekdays[WeekdayOf(p.firstDay)],
                          d.day, d.month);
        } else {
            std::snprintf(when, sizeof when, "%s", kMonthNames[d.month - 1]);
        }
        row(p, when, !month);
    }
    row(r.total, month ? kMonthNames[first.month - 1] : std::to_string(first.year), true);
    out += Table(table);
    const ClimatePeriod& t = r.total;
    out += "\nTage mit Messungen: " + std::to_string(t.daysWithReadings) + ", davon vollständig " +
           std::to_string(t.completeDays) +
           " (* unvollständig: eine Lücke länger als drei "
           "Sendeperioden, oder ohne Messungen)\n";
    if (t.counts && temperature) {
        const ClimateCounts& c = *t.counts;
        out += "Frosttage (Min < 0 °C): " + std::to_string(c.frostDays) +
               "   Eistage (Max < 0 °C): " + std::to_string(c.iceDays) +
               "   Sommertage (Max ≥ 25 °C): " + std::to_string(c.summerDays) +
               "   Heiße Tage (Max ≥ 30 °C): " + std::to_string(c.hotDays) +
               "   Tropennächte (Min 18–06 UTC ≥ 20 °C): " + std::to_string(c.tropicalNights) +
               "\nHeiztage (Ø < 15 °C): " + std::to_string(c.heatingDays) +
               "   Gradtagzahl G20/15: " + Number(c.g2015, 1, true) +
               " Kd   Heizgradtage: " + Number(c.heatingDegreeDays, 1, true) + " Kd\n";
        if (month) {
            out += "Kenntage: F Frosttag, E Eistag, S Sommertag, H heißer Tag, T Tropennacht\n";
        }
    }
    if (t.counts && t.counts->rainDays01) {
        const ClimateCounts& c = *t.counts;
        out += "Niederschlagstage ≥ 0,1 mm: " + std::to_string(*c.rainDays01) +
               "   ≥ 1 mm: " + std::to_string(*c.rainDays1) +
               "   ≥ 10 mm: " + std::to_string(*c.rainDays10) + "\n";
    }
    out +=
        "Tage in Ortszeit (Tage der Umstellung mit 23 oder 25 Stunden); Mittel aus den "
        "Stundenmitteln.\n";
    return out;
}

std::string RecordsText(const SensorKey& sensor, std::string_view name,
                        const std::vector<ClimateRecord>& records, ClimateFormat format) {
    const std::string sensorId(SensorIdOf(sensor));
    const auto decimals = [](const ClimateRecord& r) {
        return r.quantity == "humidity" || r.quantity == "pressure" || r.quantity == "rain_steps"
                   ? 0
                   : 1;
    };
    const auto value = [&](const ClimateRecord& r, bool comma) {
        return r.quantity == "rain_mm" ? RainNumber(r.value, comma)
                                       : Number(r.value, decimals(r), comma);
    };
    const auto at = [](const ClimateRecord& r) {
        if (r.isDay) {
            return IsoDate(LocalDayOf(r.at, r.utcOffsetSeconds));
        }
        std::string out;
        AppendRfc3339(LocalTimeAt(r.at, r.utcOffsetSeconds), out);
        return out;
    };
    if (format == ClimateFormat::Json) {
        std::string out =
            "{\"sensor\":\"" + sensorId + "\",\"name\":" + JsonString(name) + ",\"records\":[";
        for (std::size_t i = 0; i < records.size(); ++i) {
            const ClimateRecord& r = records[i];
            out += std::string(i ? "," : "") + "{\"record\":\"" + r.record + "\",\"quantity\":\"" +
                   r.quantity + "\",\"scope\":\"" + r.scope + "\",\"value\":" + value(r, false) +
                   ",\"at\":\"" + at(r) + "\"}";
        }
        return out + "]}\n";
    }
    if (format == ClimateFormat::Csv) {
        std::string out = "record,quantity,scope,value,at\r\n";
        for (const ClimateRecord& r : records) {
            out += r.record + "," + r.quantity + "," + r.scope + "," + value(r, false) + "," +
                   at(r) + "\r\n";
        }
        return out;
    }
    const auto recordName = [](const ClimateRecord& r) -> std::string {
        const std::string q = r.quantity == "temperature"          ? "Temperatur"
                              : r.quantity == "humidity"           ? "Feuchte"
                              : r.quantity == "pressure"           ? "Luftdruck"
                              : r.quantity == "pressure_sea_level" ? "Luftdruck auf Meereshöhe"
                              : r.quantity == "wind_speed"         ? "Wind"
                                                                   : "Regen";
        const bool masculine = r.quantity.starts_with("pressure");
        if (r.record == "highest") {
            return r.quantity == "wind_speed" ? "Stärkster Wind"
                                              : (masculine ? "Höchster " : "Höchste ") + q;
        }
        if (r.record == "lowest") {
            return (masculine ? "Tiefster " : "Tiefste ") + q;
        }
        if (r.record == "highestDailyMin") {
            return "Wärmste Nacht (höchstes Tagesminimum)";
        }
        if (r.record == "lowestDailyMax") {
            return "Kältester Tag (tiefstes Tagesmaximum)";
        }
        if (r.record == "largestDailyRange") {
            return "Größte Tagesschwankung";
        }
        return r.record == "wettestHour" ? "Nasseste Stunde" : "Nassester Tag";
    };
    const auto unit = [](const ClimateRecord& r) -> std::string {
        return r.quantity == "humidity"                                         ? "%"
               : r.quantity == "pressure" || r.quantity == "pressure_sea_level" ? "hPa"
               : r.quantity == "wind_speed"                                     ? "km/h"
               : r.quantity == "rain_mm"                                        ? "mm"
               : r.quantity == "rain_steps"                                     ? "Schritte"
                                                                                : "°C";
    };
    const auto scopeName = [](const std::string& scope) -> std::string {
        if (scope == "all") {
            return "Gesamt";
        }
        if (scope.starts_with("month-")) {
            return std::string("jeder ") + kMonthNames[std::stoi(scope.substr(6)) - 1];
        }
        if (scope.size() == 4) {
            return scope;
        }
        return std::string(kMonthNames[std::stoi(scope.substr(5)) - 1]) + " " + scope.substr(0, 4);
    };
    const auto when = [](const ClimateRecord& r) {
        const LocalTime t = LocalTimeAt(r.at, r.utcOffsetSeconds);
        char text[32];
        if (r.isDay) {
            std::snprintf(text, sizeof text, "%02d.%02d.%04d", t.day, t.month, t.year);
        } else {
            std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d", t.day, t.month, t.year,
                          t.hour, t.minute);
        }
        return std::string(text);
    };
    std::string out = "Rekorde · " + std::string(name) + " (" + sensorId + ")\n";
    std::string scope;
    std::vector<std::vector<std::string>> table;
    const auto flush = [&] {
        if (!table.empty()) {
            out += "\n" + scopeName(scope) + "\n" + Table(table);
            table.clear();
        }
    };
    for (const ClimateRecord& r : records) {
        if (r.scope != scope) {
            flush();
            scope = r.scope;
        }
        table.push_back({"  " + recordName(r), value(r, true) + " " + unit(r), when(r)});
    }
    flush();
    return out;
}

std::string TodayText(const ClimateReport& month, const Reading& last, std::string_view name,
                      Instant now) {
    const std::string sensorId(SensorIdOf(month.sensor));
    const LocalTime seen = LocalTimeAt(last.time, last.utcOffsetSeconds);
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d", seen.hour, seen.minute);
    std::string out = std::string(name) + " (" + sensorId + ")\n  Jetzt: " + ValuesText(last, ',') +
                      " (" + clock +
                      (LocalDayOf(last.time, last.utcOffsetSeconds) ==
                               LocalDayOf(now, month.request.zone->UtcOffsetAt(now))
                           ? ""
                           : ", " + DotDate(last.time, last.utcOffsetSeconds)) +
                      ")\n";
    const int64_t today = LocalDayOf(now, month.request.zone->UtcOffsetAt(now));
    const ClimatePeriod* day = nullptr;
    for (const ClimatePeriod& p : month.days) {
        if (p.firstDay == today && p.daysWithReadings > 0) {
            day = &p;
        }
    }
    if (day == nullptr) {
        return out + "  Heute noch keine Messungen im Archiv.\n";
    }
    for (const ClimateQuantity q : ClimateQuantitiesOf(month.sensor, month.request.weather)) {
        const std::optional<Figures>& f = day->figures[static_cast<std::size_t>(q)];
        if (!f || !f->min || !f->max || q == ClimateQuantity::DewPoint) {
            continue;  // the dew point's extremes are of hourly means
        }
        const std::string unit = " " + UnitOf(q);
        const int d = DecimalsOf(q);
        if (q == ClimateQuantity::WindSpeed) {
            out += "  Wind heute: stärkster " + Number(f->max->value, d, true) + unit + " um " +
                   ClockText(*f->max, false) + "\n";
            continue;
        }
        out += "  " + std::string(QuantityName(q)) + " heute: tiefst " +
               Number(f->min->value, d, true) + unit + " um " + ClockText(*f->min, false) +
               ", höchst " + Number(f->max->value, d, true) + unit + " um " +
               ClockText(*f->max, false) + "\n";
    }
    if (IsRain(month)) {
        const auto amount = [&](const ClimatePeriod& p) {
            if (InMm(month)) {
                return p.rainMm ? RainNumber(*p.rainMm, true) + " mm" : std::string("-");
            }
            return p.rainSteps ? std::to_string(*p.rainSteps) + " Schritte" : std::string("-");
        };
        out += "  Regen heute: " + amount(*day) + ", diesen Monat: " + amount(month.total) + "\n";
    }
    if (!day->complete) {
        out += "  (Der Tag ist noch nicht vorbei oder hat Lücken.)\n";
    }
    return out;
}

}  // namespace tavrolin
