// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/Encoders.h"

#include <boost/json.hpp>
#include <cmath>
#include <cstdio>

#include "decode/ReadingJson.h"

namespace tavrolin {

namespace {

// Pascal in one inch of mercury: 25.4 mm × 133.322387415 Pa/mm.
constexpr double kPascalPerInHg = 3386.388640341;

std::string Fixed(int64_t raw, int decimals) {
    std::string out;
    AppendFixed(raw, decimals, out);
    return out;
}

// `value` in `width` digits with leading zeros, a negative one with its sign in the width.
std::string Padded(int64_t value, int width) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*lld", width, static_cast<long long>(value));
    return text;
}

std::string Dots(int width) {
    return std::string(static_cast<std::size_t>(width), '.');
}

// Clamps to what a field of `width` characters can hold.
int64_t Within(int64_t value, int64_t lowest, int64_t highest) {
    return value < lowest ? lowest : value > highest ? highest : value;
}

void AddQuery(std::string& url, std::string_view name, std::string_view value) {
    url += url.find('?') == std::string::npos ? '?' : '&';
    url += name;
    url += '=';
    url += QueryEscaped(value);
}

void AddJson(std::string& body, const std::string& sensor, const std::string& value,
             const std::string& createdAt) {
    if (sensor.empty()) {
        return;
    }
    body += body.size() > 1 ? "," : "";
    body += "{\"sensor\":" + boost::json::serialize(boost::json::value(sensor)) +
            ",\"value\":" + value + ",\"createdAt\":\"" + createdAt + "\"}";
}

std::string Position(double degrees, int degreeDigits, char positive, char negative) {
    const int64_t hundredths = std::llround(std::fabs(degrees) * 6000);  // of a minute
    return Padded(hundredths / 6000, degreeDigits) + Padded(hundredths % 6000 / 100, 2) + "." +
           Padded(hundredths % 100, 2) + (degrees < 0 ? negative : positive);
}

}  // namespace

int64_t RoundedDiv(int64_t numerator, int64_t denominator) {
    if (denominator < 0) {
        numerator = -numerator;
        denominator = -denominator;
    }
    const int64_t half = denominator / 2;
    const bool exactHalf = denominator % 2 == 0;
    if (numerator >= 0) {
        const int64_t q = numerator / denominator, r = numerator % denominator;
        return q + ((exactHalf ? r >= half : r > half) ? 1 : 0);
    }
    const int64_t q = -numerator / denominator, r = -numerator % denominator;
    return -(q + ((exactHalf ? r >= half : r > half) ? 1 : 0));
}

int64_t FahrenheitTenths(int32_t c) {
    return RoundedDiv(int64_t{c} * 9, 5) + 320;
}
int64_t FahrenheitWhole(int32_t c) {
    return RoundedDiv(int64_t{c} * 9 + 1600, 50);
}
int64_t InHgThousandths(int32_t hPaTenths) {
    return std::llround(static_cast<double>(hPaTenths) * 10 * 1000 / kPascalPerInHg);
}
int64_t MphTenths(int32_t kmhTenths) {
    return RoundedDiv(int64_t{kmhTenths} * 1000000, 1609344);
}
int64_t MphWhole(int32_t kmhTenths) {
    return RoundedDiv(int64_t{kmhTenths} * 100000, 1609344);
}
int64_t MetresPerSecondTenths(int32_t kmhTenths) {
    return RoundedDiv(int64_t{kmhTenths} * 10, 36);
}
int64_t InchHundredths(const Decimal& mm) {
    return RoundedDiv(mm.raw * 1000, 254 * mm.Scale());
}

std::string QueryEscaped(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            u == '-' || u == '.' || u == '_' || u == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

std::string HttpRequest::Masked() const {
    std::string text = method + " " + url + "\n";
    for (const std::string& header : headers) {
        text += header + "\n";
    }
    if (!body.empty()) {
        text += "\n" + body + "\n";
    }
    if (secret.empty()) {
        return text;
    }
    for (const std::string& form : {secret, QueryEscaped(secret)}) {
        for (std::size_t at = text.find(form); at != std::string::npos;
             at = text.find(form, at + 3)) {
            text.replace(at, form.size(), "***");
        }
    }
    return text;
}

std::string UtcDateTime(Instant t) {
    const LocalTime u = LocalTimeAt(t, 0);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", u.year, u.month, u.day,
                  u.hour, u.minute, u.second);
    return text;
}

std::string IsoUtc(Instant t, bool milliseconds) {
    const LocalTime u = LocalTimeAt(t, 0);
    char text[40];
    if (milliseconds) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", u.year, u.month,
                      u.day, u.hour, u.minute, u.second, u.millisecond);
    } else {
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", u.year, u.month, u.day,
                      u.hour, u.minute, u.second);
    }
    return text;
}

HttpRequest EncodeWunderground(const Observation& o, const WuDialect& dialect,
                               std::string_view address, std::string_view id, std::string_view key,
                               std::string_view software) {
    HttpRequest request;
    request.secret = std::string(key);
    std::string& url = request.url = std::string(address);
    AddQuery(url, dialect.idField, id);
    AddQuery(url, dialect.passwordField, key);
    AddQuery(url, "action", "updateraw");
    AddQuery(url, "dateutc", UtcDateTime(o.time));
    if (o.temperatureTenths) {
        AddQuery(url, "tempf", Fixed(FahrenheitTenths(*o.temperatureTenths), 1));
    }
    if (o.dewPointTenths) {
        AddQuery(url, "dewptf", Fixed(FahrenheitTenths(*o.dewPointTenths), 1));
    }
    if (o.humidityPercent) {
        AddQuery(url, "humidity", std::to_string(*o.humidityPercent));
    }
    if (o.seaLevelPressureTenths) {
        AddQuery(url, "baromin", Fixed(InHgThousandths(*o.seaLevelPressureTenths), 3));
    }
    if (o.windTenthsKmh) {
        AddQuery(url, "windspeedmph", Fixed(MphTenths(*o.windTenthsKmh), 1));
    }
    if (o.gustTenthsKmh) {
        AddQuery(url, "windgustmph", Fixed(MphTenths(*o.gustTenthsKmh), 1));
    }
    if (o.windDirectionDegrees) {
        AddQuery(url, "winddir", std::to_string(*o.windDirectionDegrees));
    }
    if (o.rainHourMm) {
        AddQuery(url, "rainin", Fixed(InchHundredths(*o.rainHourMm), 2));
    }
    if (o.rainTodayMm) {
        AddQuery(url, "dailyrainin", Fixed(InchHundredths(*o.rainTodayMm), 2));
    }
    AddQuery(url, "softwaretype", software);
    return request;
}

HttpRequest EncodeWindy(const Observation& o, std::string_view address, std::string_view id,
                        std::string_view password) {
    HttpRequest request;
    request.secret = std::string(password);
    request.headers.push_back("Authorization: Bearer " + std::string(password));
    std::string& url = request.url = std::string(address);
    AddQuery(url, "id", id);
    AddQuery(url, "time", IsoUtc(o.time, true));
    if (o.temperatureTenths) {
        AddQuery(url, "temp", Fixed(*o.temperatureTenths, 1));
    }
    if (o.dewPointTenths) {
        AddQuery(url, "dewpoint", Fixed(*o.dewPointTenths, 1));
    }
    if (o.humidityPercent) {
        AddQuery(url, "rh", std::to_string(*o.humidityPercent));
    }
    if (o.seaLevelPressureTenths) {
        AddQuery(url, "pressure", std::to_string(int64_t{*o.seaLevelPressureTenths} * 10));
    }
    if (o.windTenthsKmh) {
        AddQuery(url, "wind", Fixed(MetresPerSecondTenths(*o.windTenthsKmh), 1));
    }
    if (o.gustTenthsKmh) {
        AddQuery(url, "gust", Fixed(MetresPerSecondTenths(*o.gustTenthsKmh), 1));
    }
    if (o.windDirectionDegrees) {
        AddQuery(url, "winddir", std::to_string(*o.windDirectionDegrees));
    }
    if (o.rainHourMm) {
        AddQuery(url, "precip", Fixed(o.rainHourMm->raw, o.rainHourMm->decimals));
    }
    return request;
}

std::string AprsLatitude(double degrees) {
    return Position(degrees, 2, 'N', 'S');
}
std::string AprsLongitude(double degrees) {
    return Position(degrees, 3, 'E', 'W');
}

std::string EncodeCwopPacket(const Observation& o, std::string_view id, double latitude,
                             double longitude, std::string_view software) {
    const LocalTime u = LocalTimeAt(o.time, 0);
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "@%02d%02d%02dz", u.day, u.hour, u.minute);
    std::string packet = std::string(id) + ">APRS,TCPIP*:" + stamp + AprsLatitude(latitude) + "/" +
                         AprsLongitude(longitude) + "_";
    packet += o.windDirectionDegrees ? Padded(*o.windDirectionDegrees, 3) : Dots(3);
    packet += "/";
    packet += o.windTenthsKmh ? Padded(Within(MphWhole(*o.windTenthsKmh), 0, 999), 3) : Dots(3);
    packet += "g";
    packet += o.gustTenthsKmh ? Padded(Within(MphWhole(*o.gustTenthsKmh), 0, 999), 3) : Dots(3);
    packet += "t";
    packet += o.temperatureTenths
                  ? Padded(Within(FahrenheitWhole(*o.temperatureTenths), -99, 999), 3)
                  : Dots(3);
    packet += "r";
    packet += o.rainHourMm ? Padded(Within(InchHundredths(*o.rainHourMm), 0, 999), 3) : Dots(3);
    packet += "p" + Dots(3) + "P";
    packet += o.rainTodayMm ? Padded(Within(InchHundredths(*o.rainTodayMm), 0, 999), 3) : Dots(3);
    packet += "h";
    packet += o.humidityPercent ? Padded(Within(*o.humidityPercent, 1, 100) % 100, 2) : Dots(2);
    packet += "b";
    packet +=
        o.seaLevelPressureTenths ? Padded(Within(*o.seaLevelPressureTenths, 0, 99999), 5) : Dots(5);
    packet += software;
    return packet;
}

std::string CwopLogin(std::string_view id, std::string_view passcode, std::string_view software,
                      std::string_view version) {
    return "user " + std::string(id) + " pass " + std::string(passcode) + " vers " +
           std::string(software) + " " + std::string(version);
}

HttpRequest EncodeOpenSenseMap(std::span<const Observation> observations,
                               const OpenSenseMapSensors& s, std::string_view address,
                               std::string_view box, std::string_view token) {
    HttpRequest request;
    request.method = "POST";
    request.secret = std::string(token);
    request.url = std::string(address);
    if (!request.url.empty() && request.url.back() == '/') {
        request.url.pop_back();
    }
    request.url += "/boxes/" + QueryEscaped(box) + "/data";
    request.headers.push_back("Authorization: " + std::string(token));
    request.headers.push_back("Content-Type: application/json");
    std::string body = "[";
    for (const Observation& o : observations) {
        const std::string at = IsoUtc(o.time, false);
        if (o.temperatureTenths) {
            AddJson(body, s.temperature, Fixed(*o.temperatureTenths, 1), at);
        }
        if (o.humidityPercent) {
            AddJson(body, s.humidity, std::to_string(*o.humidityPercent), at);
        }
        if (o.dewPointTenths) {
            AddJson(body, s.dewPoint, Fixed(*o.dewPointTenths, 1), at);
        }
        if (o.seaLevelPressureTenths) {
            AddJson(body, s.pressure, Fixed(*o.seaLevelPressureTenths, 1), at);
        }
        if (o.windTenthsKmh) {
            AddJson(body, s.wind, Fixed(MetresPerSecondTenths(*o.windTenthsKmh), 1), at);
        }
        if (o.gustTenthsKmh) {
            AddJson(body, s.gust, Fixed(MetresPerSecondTenths(*o.gustTenthsKmh), 1), at);
        }
        if (o.windDirectionDegrees) {
            AddJson(body, s.windDirection, std::to_string(*o.windDirectionDegrees), at);
        }
        if (o.rainHourMm) {
            AddJson(body, s.rainHour, Fixed(o.rainHourMm->raw, o.rainHourMm->decimals), at);
        }
        if (o.rainTodayMm) {
            AddJson(body, s.rainToday, Fixed(o.rainTodayMm->raw, o.rainTodayMm->decimals), at);
        }
    }
    request.body = body.size() > 1 ? body + "]" : "";
    return request;
}

}  // namespace tavrolin
