// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/HttpTarget.h"

#include <array>
#include <charconv>

namespace tavrolin {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<int64_t> Number(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The value of a query parameter (decoded), or nothing.
std::optional<std::string> QueryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        if (pair.substr(0, eq) == name) {
            return PercentDecode(eq == std::string_view::npos ? std::string_view()
                                                              : pair.substr(eq + 1));
        }
    }
    return std::nullopt;
}

std::optional<RangeQuery> ParseRange(std::string_view query) {
    RangeQuery range;
    const std::optional<std::string> from = QueryValue(query, "from");
    const std::optional<std::string> to = QueryValue(query, "to");
    if (from || to) {
        const std::optional<int64_t> f = from ? Number(*from) : std::nullopt;
        const std::optional<int64_t> t = to ? Number(*to) : std::nullopt;
        // Up to the year 10000: every time a chart can show, and no overflow in the sums.
        constexpr int64_t kLatestMs = 253402300800000LL;
        if (!f || !t || *f >= *t || *f < 0 || *t > kLatestMs) {
            return std::nullopt;
        }
        return RangeQuery{ChartRange::Chosen, *f, *t};
    }
    const std::string name = QueryValue(query, "range").value_or("day");
    for (const ChartRange named : kChartRanges) {
        if (name == RangeName(named)) {
            range.range = named;
            return range;
        }
    }
    return std::nullopt;
}

// The query of /api/report and /api/records; the German reason where it is wrong.
void ParseClimateQuery(std::string_view query, bool report, Target& t) {
    ClimateQuery& q = t.climate;
    const auto bad = [&t](std::string why) {
        t.route = Route::BadRequest;
        t.error = std::move(why) + "\n";
    };
    if (const std::optional<std::string> format = QueryValue(query, "format")) {
        if (*format != "csv" && *format != "json") {
            return bad("format= ist json oder csv, nicht " + *format + ".");
        }
        q.csv = *format == "csv";
    }
    if (const std::optional<std::string> sensor = QueryValue(query, "sensor")) {
        q.sensor = ParseSensorId(*sensor);
        if (!q.sensor) {
            return bad("sensor= nennt einen Sensor wie outdoor-1, nicht " + *sensor + ".");
        }
    }
    if (!report) {
        return;
    }
    const std::optional<std::string> month = QueryValue(query, "month");
    const std::optional<std::string> year = QueryValue(query, "year");
    if (month.has_value() == year.has_value()) {
        return bad("Ein Bericht braucht entweder month=JJJJ-MM oder year=JJJJ.");
    }
    const std::string& text = month ? *month : *year;
    const bool shaped = month ? text.size() == 7 && text[4] == '-' : text.size() == 4;
    const int64_t y = shaped ? Number(text.substr(0, 4)).value_or(0) : 0;
    const int64_t m = shaped && month ? Number(text.substr(5, 2)).value_or(0) : 0;
    if (y < 1970 || (month && (m < 1 || m > 12))) {
        return bad(month ? "month= braucht einen Monat wie 2026-11, nicht " + text + "."
                         : "year= braucht ein Jahr wie 2026, nicht " + text + ".");
    }
    q.year = static_cast<int>(y);
    q.month = static_cast<int>(m);
}

}  // namespace

std::string_view RangeName(ChartRange range) {
    switch (range) {
        case ChartRange::Day:
            return "day";
        case ChartRange::Week:
            return "week";
        case ChartRange::Month:
            return "month";
        case ChartRange::Year:
            return "year";
        case ChartRange::All:
            return "all";
        case ChartRange::Chosen:
            break;
    }
    return "span";
}

std::optional<std::string> PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = HexDigit(text[i + 1]);
        const int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

Target ParseTarget(std::string_view target) {
    Target t;
    const std::size_t mark = target.find('?');
    const std::string_view rawPath = target.substr(0, mark);
    const std::string_view query =
        mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
    const std::optional<std::string> decoded = PercentDecode(rawPath);
    // Only the plain characters of the paths served: no NUL, no backslash, no dot segments
    // (a sensor id has no dot), no doubled slash, whatever the encoding hid.
    if (!decoded || decoded->empty() || decoded->front() != '/' ||
        decoded->find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_./") !=
            std::string::npos ||
        decoded->find("//") != std::string::npos || decoded->find("..") != std::string::npos) {
        return t;
    }
    const std::string_view path = *decoded;
    const auto sensorAt = [&t](std::string_view id) {
        const std::optional<SensorKey> key = ParseSensorId(id);
        if (key) {
            t.sensor = *key;
        }
        return key.has_value();
    };
    if (path == "/") {
        t.route = Route::Overview;
    } else if (path == "/metrics") {
        t.route = Route::Metrics;
    } else if (path == "/events") {
        t.route = Route::Events;
        if (const std::optional<std::string> after = QueryValue(query, "after")) {
            t.after = Number(*after);
            if (!t.after || *t.after < 0) {
                t.route = Route::NotFound;
            }
        }
    } else if (path == "/static/chart.js") {
        t.route = Route::ChartJs;
    } else if (path.starts_with("/static/") && path.find('/', 8) == std::string_view::npos) {
        t.route = Route::Asset;
        t.asset = std::string(path.substr(8));
    } else if (path.starts_with("/sensor/")) {
        t.route = sensorAt(path.substr(8)) ? Route::SensorPage : Route::NotFound;
    } else if (path == "/api/today") {
        t.route = Route::Today;
    } else if (path == "/api/zone") {
        t.route = Route::Zone;
    } else if (path == "/api/report" || path == "/api/records") {
        t.route = path == "/api/report" ? Route::Report : Route::Records;
        ParseClimateQuery(query, t.route == Route::Report, t);
    } else if (path == "/bericht") {
        t.route = Route::ReportPage;
    } else if (path == "/rekorde") {
        t.route = Route::RecordsPage;
    } else if (path == "/api/sensors") {
        t.route = Route::Sensors;
    } else if (path.starts_with("/api/sensors/")) {
        std::string_view rest = path.substr(13);
        const std::size_t slash = rest.find('/');
        const std::string_view what =
            slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (!sensorAt(rest.substr(0, slash))) {
            return t;
        }
        if (slash == std::string_view::npos) {
            t.route = Route::Sensor;
        } else if (what == "series" || what == "csv") {
            const std::optional<RangeQuery> range = ParseRange(query);
            const std::optional<std::string> since = QueryValue(query, "since");
            if (since && what == "series") {
                t.since = Number(*since);
            }
            if (range && (!since || (t.since && *t.since >= 0))) {
                t.range = *range;
                t.route = what == "series" ? Route::Series : Route::Csv;
            }
        }
    }
    return t;
}

std::optional<Credentials> ParseBasicAuthorization(std::string_view header) {
    constexpr std::string_view kScheme = "Basic ";
    if (header.size() < kScheme.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        // The scheme's name is case-insensitive.
        if ((header[i] | 0x20) != (kScheme[i] | 0x20)) {
            return std::nullopt;
        }
    }
    std::string_view data = header.substr(kScheme.size());
    while (!data.empty() && data.front() == ' ') {
        data.remove_prefix(1);
    }
    while (!data.empty() && data.back() == ' ') {
        data.remove_suffix(1);
    }
    if (data.empty() || data.size() % 4 != 0) {
        return std::nullopt;
    }
    const auto sextet = [](char c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return -1;
    };
    std::string plain;
    for (std::size_t i = 0; i < data.size(); i += 4) {
        const bool last = i + 4 == data.size();
        const int pad =
            last ? (data[i + 3] == '=') + (data[i + 2] == '=' && data[i + 3] == '=') : 0;
        uint32_t bits = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const int v = j >= 4 - static_cast<std::size_t>(pad) ? 0 : sextet(data[i + j]);
            if (v < 0) {
                return std::nullopt;
            }
            bits = bits << 6 | static_cast<uint32_t>(v);
        }
        plain += static_cast<char>(bits >> 16);
        if (pad < 2) {
            plain += static_cast<char>(bits >> 8 & 0xFF);
        }
        if (pad < 1) {
            plain += static_cast<char>(bits & 0xFF);
        }
    }
    const std::size_t colon = plain.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    return Credentials{plain.substr(0, colon), plain.substr(colon + 1)};
}

}  // namespace tavrolin
