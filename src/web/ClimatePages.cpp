// SPDX-License-Identifier: GPL-3.0-or-later
// What the front page's "Jetzt und heute", the report pages and the records are given: the
// Today model as JSON, tavrolin-history's reports and records (ReportText, RecordsText) as
// they are, and the station's time zone. Part of the Station (Station.h).
#include <algorithm>
#include <boost/json.hpp>
#include <cmath>

#include "decode/ReadingJson.h"
#include "decode/ReadingText.h"
#include "history/Today.h"
#include "web/Station.h"

namespace tavrolin {

namespace {

// How far the zone's table reaches around now: every reading an archive may hold, and the
// dates one may type for a span.
constexpr int kZoneYearsBack = 30;
constexpr int kZoneYearsAhead = 2;

std::string Rfc3339(Instant at, int utcOffsetSeconds) {
    std::string out;
    AppendRfc3339(LocalTimeAt(at, utcOffsetSeconds), out);
    return out;
}

// A value to the decimals it is shown with: 7.1, not 7.1000000000000005 of 71 × 0.1.
double Rounded(double v, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(v * scale) / scale;
}

boost::json::value Optional(const std::optional<double>& v, int decimals) {
    return v ? boost::json::value(Rounded(*v, decimals)) : boost::json::value(nullptr);
}

boost::json::value ExtremeJson(const std::optional<Extreme>& e, int decimals) {
    if (!e) {
        return nullptr;
    }
    return {{"value", Rounded(e->value, decimals)}, {"at", Rfc3339(e->at, e->utcOffsetSeconds)}};
}

std::string IsoDay(int64_t day) {
    const LocalTime d = LocalTimeAt(FromUnixMs(day * kMsPerDay), 0);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

Station::ClimateAnswer Refused(int status, std::string why) {
    return {status, "text/plain; charset=utf-8", std::move(why) + "\n", {}};
}

}  // namespace

std::string Station::TodayJson() {
    std::vector<SensorKey> known;
    for (const OverviewRow& row : m_history.Overview().Rows()) {
        known.push_back(row.key);
    }
    const StationSensors& station = m_history.MainSensorChoice();
    TodayRequest request;
    for (std::size_t i = 0; i < kStationRoles.size(); ++i) {
        request.roles[i] = station.Of(kStationRoles[i], known);
    }
    for (const SensorKey& key : station.All(known)) {
        request.sensors.push_back({key, m_tracker.At(key).last, m_tracker.UsualPeriod(key)});
    }
    TodayReport report;
    const bool read = m_history.NowAndToday(request, report);
    const Instant now = m_clock.Now();
    boost::json::object out{
        {"date", IsoDay(LocalDayIn(m_zone, now))},
        {"now", Rfc3339(now, m_zone.UtcOffsetAt(now))},
        {"problem", read ? std::string() : m_history.Problem()},
    };
    boost::json::array sensors;
    for (const TodayReport::Sensor& s : report.sensors) {
        const SensorKey& key = s.sensor.key;
        boost::json::array roles;
        for (std::size_t i = 0; i < kStationRoles.size(); ++i) {
            if (request.roles[i] == key) {
                roles.push_back(boost::json::string(StationRoleKey(kStationRoles[i])));
            }
        }
        const Reading& last = s.sensor.last;
        boost::json::array quantities;
        for (const ClimateQuantity q : ClimateQuantitiesOf(key, m_weather)) {
            if (q == ClimateQuantity::DewPoint) {
                continue;  // its extremes are of hourly means
            }
            const std::optional<Figures>& f = s.day.figures[static_cast<std::size_t>(q)];
            quantities.push_back({
                {"key", ClimateKey(q)},
                {"label", QuantityName(q)},
                {"unit", UnitOf(q)},
                {"decimals", DecimalsOf(q)},
                {"now", Optional(ValueIn(last, q), DecimalsOf(q))},
                {"min", ExtremeJson(f ? f->min : std::nullopt, DecimalsOf(q))},
                {"max", ExtremeJson(f ? f->max : std::nullopt, DecimalsOf(q))},
            });
        }
        boost::json::object sensor{
            {"id", SensorIdOf(key)},           {"name", m_history.NameOf(key)},
            {"roles", std::move(roles)},       {"at", Rfc3339(last.time, last.utcOffsetSeconds)},
            {"values", ValuesText(last, ',')}, {"quantities", std::move(quantities)},
            {"complete", s.day.complete},
        };
        if (!last.weather.compass.empty()) {
            sensor["compass"] = last.weather.compass;
        }
        sensors.push_back(std::move(sensor));
    }
    out["sensors"] = std::move(sensors);
    out["rain"] = nullptr;
    if (report.rain) {
        const TodayRain& r = *report.rain;
        const std::optional<Decimal>& perStep = m_weather.rain.mmPerStep[r.sensor.address & 0x07];
        out["rain"] = {
            {"sensor", SensorIdOf(r.sensor)},
            {"unit", r.inMm ? "mm" : "Schritte"},
            {"decimals", perStep ? perStep->decimals : 0},
            {"lastHour", Optional(r.lastHour, 3)},
            {"today", Optional(r.today, 3)},
            {"yesterday", Optional(r.yesterday, 3)},
            {"month", Optional(r.month, 3)},
            {"year", Optional(r.year, 3)},
        };
    }
    out["tendency"] = nullptr;
    if (report.tendency) {
        const TodayTendency& t = *report.tendency;
        out["tendency"] = {
            {"sensor", SensorIdOf(t.sensor)},
            {"now", Rounded(t.now, 1)},
            {"before", Rounded(t.before, 1)},
            {"beforeAt", Rfc3339(t.beforeAt, t.beforeUtcOffsetSeconds)},
            {"change", Rounded(t.change, 1)},
            {"words", t.words},
        };
    }
    return boost::json::serialize(out);
}

bool Station::ClimateSensors(const ClimateQuery& query, std::vector<SensorSummary>& known,
                             std::vector<SensorKey>& chosen, ClimateAnswer& refused) {
    // The tracker knows every sensor of the archive, with the usual period ListSensors gives.
    std::vector<SensorKey> keys;
    for (const OverviewRow& row : m_history.Overview().Rows()) {
        SensorSummary s;
        s.key = row.key;
        s.usualPeriod = m_tracker.UsualPeriod(row.key);
        known.push_back(s);
        keys.push_back(row.key);
    }
    if (query.sensor) {
        if (std::find(keys.begin(), keys.end(), *query.sensor) == keys.end()) {
            refused = Refused(404, "Den Sensor " + std::string(SensorIdOf(*query.sensor)) +
                                       " kennt das Archiv nicht.");
            return false;
        }
        chosen = {*query.sensor};
        return true;
    }
    chosen = m_history.MainSensorChoice().All(keys);
    if (chosen.empty()) {
        refused = Refused(404, "Das Archiv kennt keinen Außen-, Wind-, Regen- oder Innensensor.");
        return false;
    }
    if (chosen.size() > 1 && query.csv) {
        refused = Refused(400,
                          "format=csv schreibt eine Tabelle je Sensor und braucht dann "
                          "sensor=.");
        return false;
    }
    return true;
}

Station::ClimateAnswer Station::Report(const ClimateQuery& query) {
    std::vector<SensorSummary> known;
    std::vector<SensorKey> chosen;
    ClimateAnswer answer;
    if (!ClimateSensors(query, known, chosen, answer)) {
        return answer;
    }
    char period[16];
    std::snprintf(period, sizeof period, query.month ? "%04d-%02d" : "%04d", query.year,
                  query.month);
    return Joined(query, chosen, "bericht", period, [&](const SensorKey& key, std::string& text) {
        const auto summary = std::find_if(known.begin(), known.end(),
                                          [&](const SensorSummary& s) { return s.key == key; });
        ClimateReport report;
        if (!m_history.Report(*summary, query.year, query.month, report)) {
            return false;
        }
        text = ReportText(report, m_history.NameOf(key),
                          query.csv ? ClimateFormat::Csv : ClimateFormat::Json);
        return true;
    });
}

Station::ClimateAnswer Station::Records(const ClimateQuery& query) {
    std::vector<SensorSummary> known;
    std::vector<SensorKey> chosen;
    ClimateAnswer answer;
    if (!ClimateSensors(query, known, chosen, answer)) {
        return answer;
    }
    return Joined(query, chosen, "rekorde", "", [&](const SensorKey& key, std::string& text) {
        std::vector<ClimateRecord> records;
        if (!m_history.Records(key, records)) {
            return false;
        }
        text = RecordsText(key, m_history.NameOf(key), records,
                           query.csv ? ClimateFormat::Csv : ClimateFormat::Json);
        return true;
    });
}

Station::ClimateAnswer Station::Joined(
    const ClimateQuery& query, const std::vector<SensorKey>& chosen, std::string_view prefix,
    std::string_view period, const std::function<bool(const SensorKey&, std::string&)>& make) {
    const bool array = !query.sensor && !query.csv;
    std::string body = array ? "[" : "";
    for (const SensorKey& key : chosen) {
        std::string text;
        if (!make(key, text)) {
            return Refused(503, m_history.Problem());
        }
        if (array) {
            while (!text.empty() && text.back() == '\n') {
                text.pop_back();
            }
            body += (body.size() > 1 ? "," : "") + text;
        } else {
            body += text;
        }
    }
    ClimateAnswer answer;
    answer.type = query.csv ? "text/csv; charset=utf-8" : "application/json; charset=utf-8";
    answer.body = std::move(body) + (array ? "]\n" : "");
    if (query.csv) {
        // "bericht_outdoor-1_2026-11.csv", "rekorde_outdoor-1.csv"
        answer.fileName = std::string(prefix) + "_" + std::string(SensorIdOf(chosen.front())) +
                          (period.empty() ? "" : "_" + std::string(period)) + ".csv";
    }
    return answer;
}

std::string Station::ZoneJson() {
    // The instants the offset changes at, found day by day and then to the millisecond.
    const Instant now = m_clock.Now();
    const int64_t today = LocalDayIn(m_zone, now);
    const int64_t first = today - 366LL * kZoneYearsBack;
    const int64_t end = today + 366LL * kZoneYearsAhead;
    const auto at = [](int64_t ms) { return FromUnixMs(ms); };
    int64_t from = first * kMsPerDay;
    int offset = m_zone.UtcOffsetAt(at(from));
    // Not offsets{array{...}}: a braced list of one array is a copy of it to some compilers.
    boost::json::array offsets;
    offsets.push_back(boost::json::array{from, offset});
    for (int64_t day = first + 1; day <= end; ++day) {
        const int64_t ms = day * kMsPerDay;
        if (m_zone.UtcOffsetAt(at(ms)) == offset) {
            continue;
        }
        int64_t lo = ms - kMsPerDay, hi = ms;  // the offset changes in (lo, hi]
        while (hi - lo > 1) {
            const int64_t mid = lo + (hi - lo) / 2;
            (m_zone.UtcOffsetAt(at(mid)) == offset ? lo : hi) = mid;
        }
        offset = m_zone.UtcOffsetAt(at(hi));
        offsets.push_back(boost::json::array{hi, offset});
    }
    return boost::json::serialize(boost::json::object{{"offsets", std::move(offsets)}});
}

}  // namespace tavrolin
