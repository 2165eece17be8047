// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "decode/Reading.h"
#include "history/ChartModel.h"

namespace tavrolin {

// What the browser view serves: a fixed set of paths, nothing taken from the file system by
// the name a request gives.
enum class Route {
    Overview,     // /                            the overview page
    SensorPage,   // /sensor/ID                    a sensor's charts
    Asset,        // /static/NAME                  the pages' own scripts and style
    ChartJs,      // /static/chart.js              Chart.js from the system's package
    Events,       // /events[?after=ID]            the readings as they come (Server-Sent Events)
    Sensors,      // /api/sensors                  every sensor with its latest reading
    Sensor,       // /api/sensors/ID               one of them
    Series,       // /api/sensors/ID/series?...    a chart's lines for a range
    Csv,          // /api/sensors/ID/csv?...       the range's readings as CSV
    Metrics,      // /metrics                      Prometheus' text format
    Today,        // /api/today                    "Jetzt und heute" of the main sensors
    Zone,         // /api/zone                     the station's UTC offsets over the years
    Report,       // /api/report?month=YYYY-MM | year=YYYY [&sensor=ID] [&format=csv]
    Records,      // /api/records[?sensor=ID] [&format=csv]
    ReportPage,   // /bericht                      a month's or a year's report
    RecordsPage,  // /rekorde                      the records
    BadRequest,   // a known path with a query it cannot take (Target::error says why)
    NotFound,
};

// What a report or the records are asked for: a month (year and month), a year (month 0),
// or the records (neither); one sensor or the station's main sensors; JSON or CSV.
struct ClimateQuery {
    int year = 0;
    int month = 0;
    std::optional<SensorKey> sensor;
    bool csv = false;
};

// A range of a chart or download, from the query: range=day|week|month|year|all, or
// from=MS&to=MS (milliseconds since 1970, UTC).
// A chart's range as the address names it; Chosen is the span from fromMs to toMs.
struct RangeQuery {
    ChartRange range = ChartRange::Day;
    int64_t fromMs = 0, toMs = 0;
};

// "day", "week", "month", "year", "all"; "span" for a chosen span.
std::string_view RangeName(ChartRange range);

struct Target {
    Route route = Route::NotFound;
    SensorKey sensor;              // of SensorPage, Sensor, Series and Csv
    std::string asset;             // of Asset: "app.js"
    RangeQuery range;              // of Series and Csv
    std::optional<int64_t> after;  // of Events
    // Of Series: only the points from this time on (ms), for a page that has the rest.
    std::optional<int64_t> since;
    ClimateQuery climate;  // of Report and Records
    std::string error;     // of BadRequest, German, for the answer's text
};

// The request target as the request line gives it ("/api/sensors/outdoor-1/series?range=week").
// The path is percent-decoded once and must then name one of the routes exactly: a dot
// segment, a doubled or encoded slash, a NUL or an unknown sensor is NotFound, as is a query
// that does not say what its route needs (a range of from >= to, a number that is none); a
// report's or the records' query that is wrong is BadRequest, with the reason.
Target ParseTarget(std::string_view target);

// %XX decoded; nothing where a % is not followed by two hex digits.
std::optional<std::string> PercentDecode(std::string_view text);

// The user and password of an "Authorization: Basic ..." header; nothing for anything else.
struct Credentials {
    std::string user;
    std::string password;
};
std::optional<Credentials> ParseBasicAuthorization(std::string_view header);

}  // namespace tavrolin
