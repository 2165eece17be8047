// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "upload/Observation.h"

namespace tavrolin {

// The conversions the networks ask for, each rounded half away from zero to the decimals its
// field documents, from the integers the readings hold, so that 0.5 steps are decided by
// exact arithmetic and never by a double's last bit.
int64_t RoundedDiv(int64_t numerator, int64_t denominator);
int64_t FahrenheitTenths(int32_t celsiusTenths);     // 12.3 °C → 541 (54.1 °F)
int64_t FahrenheitWhole(int32_t celsiusTenths);      // 12.3 °C → 54
int64_t InHgThousandths(int32_t hectopascalTenths);  // 1013.2 hPa → 29920 (29.920 inHg)
int64_t MphTenths(int32_t kmhTenths);                // 1 mile = 1.609344 km exactly
int64_t MphWhole(int32_t kmhTenths);
int64_t MetresPerSecondTenths(int32_t kmhTenths);
int64_t InchHundredths(const Decimal& millimetres);  // 1 inch = 25.4 mm exactly

// Percent-encodes a query value: all but the unreserved characters of RFC 3986.
std::string QueryEscaped(std::string_view text);

// An HTTP request to a network. The secret travels in the URL (Weather Underground's
// protocol knows no other place) or in a header; `secret` is what a printout masks.
struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::string> headers;  // "Name: value"
    std::string body;
    std::string secret;

    // The request as `--test` prints it, with every occurrence of the secret (and of its
    // percent-encoded form) replaced by asterisks.
    std::string Masked() const;
};

// Weather Underground's station upload and the networks that speak it with their own names
// for the station and its key.
struct WuDialect {
    std::string_view idField;        // "ID", WOW "siteid"
    std::string_view passwordField;  // "PASSWORD", WOW "siteAuthenticationKey"
};
inline constexpr WuDialect kWundergroundDialect{"ID", "PASSWORD"};
inline constexpr WuDialect kWowDialect{"siteid", "siteAuthenticationKey"};

// GET address?ID=…&PASSWORD=…&action=updateraw&dateutc=YYYY-MM-DD+HH:MM:SS&tempf=… in
// imperial units: °F and inHg sea level with one and three decimals, humidity and direction
// whole, mph with one decimal, rain in inches with two.
HttpRequest EncodeWunderground(const Observation& o, const WuDialect& dialect,
                               std::string_view address, std::string_view id, std::string_view key,
                               std::string_view software);

// Windy's stations API v2: GET address?id=…&time=ISO…&temp=… in metric units (°C, m/s, Pa
// at sea level, mm in the last hour), the station password as a bearer token.
HttpRequest EncodeWindy(const Observation& o, std::string_view address, std::string_view id,
                        std::string_view password);

// The station's position as APRS writes it: "4808.25N" and "01134.50E" (degrees, minutes
// with hundredths, hemisphere).
std::string AprsLatitude(double degrees);
std::string AprsLongitude(double degrees);

// CWOP's APRS weather packet, without the line end:
//   ID>APRS,TCPIP*:@DDHHMMz4808.25N/01134.50E_220/004g...t054r000p...P012h85b10132tavrolin
// Values the station lacks as dots of their width; the 24-hour rain is one (the station
// gives the last hour and the day since midnight).
std::string EncodeCwopPacket(const Observation& o, std::string_view id, double latitude,
                             double longitude, std::string_view software);
// The login line of APRS-IS, without the line end.
std::string CwopLogin(std::string_view id, std::string_view passcode, std::string_view software,
                      std::string_view version);

// openSenseMap: the box's sensor ids of the fields an owner set up; an empty id is a field
// the box has no sensor for.
struct OpenSenseMapSensors {
    std::string temperature;    // °C
    std::string humidity;       // %
    std::string dewPoint;       // °C
    std::string pressure;       // hPa at sea level
    std::string wind;           // m/s
    std::string gust;           // m/s
    std::string windDirection;  // °
    std::string rainHour;       // mm in the last hour
    std::string rainToday;      // mm since local midnight
};
// POST address/boxes/BOX/data with the JSON array of each observation's values and its
// createdAt, the box's access token as Authorization. Empty body where no value is there.
HttpRequest EncodeOpenSenseMap(std::span<const Observation> observations,
                               const OpenSenseMapSensors& sensors, std::string_view address,
                               std::string_view box, std::string_view token);

// "2026-12-08 12:00:00" and "2026-12-08T12:00:00.000Z", UTC.
std::string UtcDateTime(Instant t);
std::string IsoUtc(Instant t, bool milliseconds);

}  // namespace tavrolin
