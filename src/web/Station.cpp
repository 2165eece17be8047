// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/Station.h"

#include <boost/json.hpp>
#include <cmath>

#include "archive/ArchiveQuery.h"
#include "archive/ArchiveSchema.h"
#include "base/FileSystem.h"
#include "decode/ReadingJson.h"
#include "history/ArchiveSeed.h"
#include "history/ChartModel.h"
#include "history/Export.h"

namespace tavrolin {

namespace {

// Readings waits for a writer's transaction only while the file is being made or brought up
// to date; a poll that finds it busy looks again at the next.
constexpr int kBusyMs = 200;
// The most readings one poll takes in; the rest come with the next. A poll's events go to
// every stream at once, so this times an event's size (some 600 bytes) stays well below
// WebLimits::maxEventBacklog.
constexpr std::size_t kPollLimit = 500;
// How far back a page that comes back may ask: beyond it, what it missed is the overview.
constexpr int64_t kLongestReplayMs = kMsPerDay;

void AppendString(std::string& out, std::string_view text) {
    out += boost::json::serialize(boost::json::string_view(text.data(), text.size()));
}

// A number of a chart; a gap (NaN) is null.
boost::json::value Number(double v) {
    return std::isfinite(v) ? boost::json::value(v) : boost::json::value(nullptr);
}

boost::json::array Numbers(const std::vector<double>& values) {
    boost::json::array out;
    out.reserve(values.size());
    for (const double v : values) {
        out.push_back(Number(v));
    }
    return out;
}

boost::json::array Ticks(const std::vector<AxisTick>& ticks) {
    boost::json::array out;
    for (const AxisTick& tick : ticks) {
        out.push_back({{"at", tick.at}, {"label", tick.label}});
    }
    return out;
}

std::string_view ScaleName(ChartLine::Scale scale) {
    switch (scale) {
        case ChartLine::Scale::Compass:
            return "compass";
        case ChartLine::Scale::Logarithmic:
            return "log";
        case ChartLine::Scale::Bars:
            return "bars";
        case ChartLine::Scale::Linear:
            break;
    }
    return "linear";
}

// A label value of the text format: backslash, quote and line end escaped.
void AppendLabel(std::string& out, std::string_view name, std::string_view value) {
    out += name;
    out += "=\"";
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace

Station::Station(SensorNames names, const WeatherSettings& weather, std::string archivePath,
                 WallClock& clock, const TimeZone& zone)
    : m_path(archivePath),
      m_clock(clock),
      m_zone(zone),
      m_weather(weather),
      m_derivation(weather),
      m_history(std::move(names), m_tracker, std::move(archivePath), clock, zone, weather) {}

bool Station::OpenFeed() {
    if (m_feed.IsOpen() && !m_feed.Stale()) {
        return true;
    }
    const ArchiveStatus status = m_feed.Open(m_path, Archive::Access::Read, kBusyMs);
    if (!status.Ok()) {
        m_problem =
            "Das Archiv " + ShownFilePath(m_path) + " läßt sich nicht lesen" + status.Describe();
        return false;
    }
    return true;
}

bool Station::Start() {
    if (!OpenFeed()) {
        return false;
    }
    // The seed and the key it ends at are of one moment, so that the first poll goes on
    // exactly where the seed stopped (a reading counted twice would count its rain twice).
    m_feed.Db().Exec("BEGIN");
    ArchiveStatus status = SeedFromArchive(m_feed, m_derivation, m_tracker);
    if (status.Ok()) {
        status = NewestKey(m_feed, m_lastKey);
    }
    m_feed.Db().Exec("COMMIT");
    if (!status.Ok()) {
        m_problem =
            "Das Archiv " + ShownFilePath(m_path) + " läßt sich nicht lesen" + status.Describe();
        m_feed.Close();
        return false;
    }
    m_history.Overview().Check(m_clock.Now());
    m_problem.clear();
    return true;
}

std::vector<Station::Event> Station::Poll() {
    std::vector<Event> events;
    if (!OpenFeed()) {
        return events;
    }
    std::vector<KeyedReading> readings;
    const ArchiveStatus status = ReadingsAfter(m_feed, m_lastKey, kPollLimit, readings);
    if (!status.Ok()) {
        m_problem =
            "Das Archiv " + ShownFilePath(m_path) + " läßt sich nicht lesen" + status.Describe();
        m_feed.Close();
        return events;
    }
    m_problem.clear();
    events.reserve(readings.size());
    for (KeyedReading& keyed : readings) {
        // As the receiving programs hand it to their outputs: derived, then tracked.
        m_derivation.Derive(keyed.reading);
        m_tracker.Note(keyed.reading);
        m_lastKey = keyed.key;
        events.push_back({keyed.key, EventJson(keyed.reading, keyed.key)});
    }
    return events;
}

bool Station::CheckOverdue() {
    return m_history.Overview().Check(m_clock.Now());
}

bool Station::EventsAfter(int64_t after, std::vector<Event>& events) {
    events.clear();
    if (after >= m_lastKey) {
        return after == m_lastKey;
    }
    const int64_t afterMs = after / (64 * kSameTimeReadings);
    if (afterMs < UnixMs(m_clock.Now()) - kLongestReplayMs || !OpenFeed()) {
        return false;
    }
    std::vector<KeyedReading> readings;
    bool more = false;
    if (!ReadingsAfter(m_feed, after, kMostReplayed + 1, readings, &more).Ok() || more ||
        readings.size() > kMostReplayed) {
        return false;
    }
    for (KeyedReading& keyed : readings) {
        if (keyed.key > m_lastKey) {
            break;  // the next poll brings it to every page
        }
        // What the reading's own values give; its rain is in its sensor's row.
        keyed.reading.weather = InstantWeatherValues(keyed.reading, m_derivation.Station());
        events.push_back({keyed.key, EventJson(keyed.reading, keyed.key)});
    }
    return true;
}

std::string Station::RowJson(const OverviewRow& row, bool withReading) {
    std::string out = "{\"id\":";
    AppendString(out, row.id);
    out += ",\"name\":";
    AppendString(out, row.name);
    out += ",\"kind\":";
    AppendString(out, KindLabel(row.key));
    out += ",\"values\":";
    AppendString(out, row.values);
    out += ",\"lastSeen\":";
    AppendString(out, row.lastSeen);
    out += ",\"lastSeenMs\":" + std::to_string(UnixMs(row.lastSeenTime));
    out += ",\"period\":";
    AppendString(out, row.period);
    out += ",\"state\":";
    AppendString(out, row.state);
    out += row.overdue ? ",\"overdue\":true" : ",\"overdue\":false";
    out += ",\"chartable\":";
    out += QuantitiesOf(row.key.kind).empty() ? "false" : "true";
    if (withReading) {
        out += ",\"reading\":";
        AppendReadingJson(m_tracker.At(row.key).last, out);
    }
    out += '}';
    return out;
}

std::string Station::EventJson(const Reading& reading, int64_t key) {
    std::string out = "{\"id\":\"" + std::to_string(key) + "\",\"reading\":";
    AppendReadingJson(reading, out);
    out += ",\"row\":";
    for (const OverviewRow& row : m_history.Overview().Rows()) {
        if (row.key == reading.Key()) {
            out += RowJson(row, false);
            return out + '}';
        }
    }
    return out + "null}";
}

std::string Station::SensorsJson() {
    std::string out = "{\"lastId\":\"" + std::to_string(m_lastKey) + "\",\"problem\":";
    AppendString(out, m_problem);
    out += ",\"sensors\":[";
    bool first = true;
    for (const OverviewRow& row : m_history.Overview().Rows()) {
        out += first ? "" : ",";
        out += RowJson(row, true);
        first = false;
    }
    return out + "]}";
}

std::optional<std::string> Station::SensorJson(const SensorKey& key) {
    for (const OverviewRow& row : m_history.Overview().Rows()) {
        if (row.key == key) {
            return RowJson(row, true);
        }
    }
    return std::nullopt;
}

void Station::Choose(ChartModel& chart, const SensorKey& key, const RangeQuery& range, bool fill) {
    if (range.range == ChartRange::Chosen) {
        const Instant from = FromUnixMs(range.fromMs);
        const Instant to = FromUnixMs(range.toMs);
        if (fill) {
            m_history.ShowSpan(chart, key, from, to);
        } else {
            chart.ChooseSpan(key, from, to, m_history.Overview().LastSeen(key));
        }
        return;
    }
    if (fill) {
        m_history.ShowChart(chart, key, range.range);
    } else {
        chart.Choose(key, range.range, m_clock.Now(), m_history.Overview().FirstSeen(key),
                     m_history.Overview().LastSeen(key));
    }
}

std::string Station::SeriesJson(const SensorKey& key, const RangeQuery& range) {
    ChartModel chart(m_zone, m_weather);
    Choose(chart, key, range, true);
    boost::json::array lines;
    for (const ChartLine& line : chart.Lines()) {
        const ValueAxis axis = line.Axis();
        boost::json::object l{
            {"name", line.name},
            {"unit", line.unit},
            {"decimals", line.decimals},
            {"label", line.label},
            {"scale", ScaleName(line.scale)},
            {"keys", Numbers(line.keys)},
            {"avg", Numbers(line.avg)},
            {"min", Numbers(line.min)},
            {"max", Numbers(line.max)},
            {"besideName", line.besideName},
            {"beside", Numbers(line.beside)},
            {"axis", {{"lower", axis.lower}, {"upper", axis.upper}}},
            {"compassTicks", Ticks(line.CompassTicks())},
        };
        if (const std::optional<double> floor = line.Floor()) {
            l["floor"] = *floor;
        }
        lines.push_back(std::move(l));
    }
    // The readout at every key the lines have (they share them), so that the page says
    // under the pointer what the window says.
    boost::json::array readouts;
    if (!lines.empty()) {
        for (const boost::json::value& k : lines.front().as_object().at("keys").as_array()) {
            readouts.push_back(boost::json::string(chart.ReadoutAt(k.to_number<double>())));
        }
    }
    const boost::json::object answer{
        {"sensor", std::string(SensorIdOf(key))},
        {"name", m_history.Overview().NameOf(key)},
        {"range", RangeName(chart.Range())},
        {"from", UnixMs(chart.From())},
        {"to", UnixMs(chart.To())},
        {"title", chart.Title(m_history.Overview().NameOf(key))},
        {"heading", chart.Heading()},
        {"empty", chart.Data().points.empty() ? chart.EmptyText() : std::string()},
        {"problem", m_history.Problem()},
        {"ticks", Ticks(TimeTicks(m_zone, chart.From(), chart.To()))},
        {"lines", std::move(lines)},
        {"readouts", std::move(readouts)},
    };
    return boost::json::serialize(answer);
}

Station::CsvExport Station::Csv(const SensorKey& key, const RangeQuery& range) {
    ChartModel chart(m_zone, m_weather);
    Choose(chart, key, range, false);
    // The picture's name, as a table.
    std::string fileName = chart.FileName();
    if (const std::size_t dot = fileName.rfind('.'); dot != std::string::npos) {
        fileName.resize(dot);
    }
    return {m_path, key, chart.From(), chart.To(), m_weather, fileName + ".csv"};
}

bool Station::CsvExport::Run(const std::function<void(std::string_view)>& write) const {
    Archive archive;
    return archive.Open(path, Archive::Access::Read, kBusyMs).Ok() &&
           ExportReadings(archive, sensor, from, to, weather, ExportFormat::Csv, write).Ok();
}

std::string Station::Metrics() {
    // The overdue marks as the last poll brought them up to date: a Check here would take
    // the change from the poll, which tells the pages of it.
    const Instant now = m_clock.Now();
    const std::vector<OverviewRow> rows = m_history.Overview().Rows();
    std::string out;
    const auto labels = [&out](const OverviewRow& row) {
        out += '{';
        AppendLabel(out, "sensor", row.id);
        out += ',';
        AppendLabel(out, "name", row.name);
    };
    out +=
        "# HELP tavrolin_sensor_value Letzter Wert eines Sensors und was er ergibt.\n"
        "# TYPE tavrolin_sensor_value gauge\n";
    for (const OverviewRow& row : rows) {
        const Reading& last = m_tracker.At(row.key).last;
        const auto value = [&](std::string_view quantity, std::string_view unit, int64_t raw,
                               int decimals) {
            out += "tavrolin_sensor_value";
            labels(row);
            out += ',';
            AppendLabel(out, "quantity", quantity);
            out += ',';
            AppendLabel(out, "unit", unit);
            out += "} ";
            AppendFixed(raw, decimals, out);
            out += '\n';
        };
        for (std::size_t i = 0; i < last.valueCount; ++i) {
            const QuantityInfo& info = InfoOf(last.values[i].quantity);
            value(info.key, info.unit, last.values[i].raw, info.decimals);
        }
        for (const WeatherValue& w : last.weather.Values()) {
            const WeatherQuantityInfo& info = InfoOf(w.quantity);
            value(info.key, info.unit, w.amount.raw, w.amount.decimals);
        }
    }
    out +=
        "# HELP tavrolin_sensor_last_reading_age_seconds Sekunden seit der letzten Messung.\n"
        "# TYPE tavrolin_sensor_last_reading_age_seconds gauge\n";
    for (const OverviewRow& row : rows) {
        out += "tavrolin_sensor_last_reading_age_seconds";
        labels(row);
        AppendFixed(UnixMs(now) - UnixMs(row.lastSeenTime), 3, out.append("} "));
        out += '\n';
    }
    out +=
        "# HELP tavrolin_sensor_overdue 1, solange der Sensor überfällig ist.\n"
        "# TYPE tavrolin_sensor_overdue gauge\n";
    for (const OverviewRow& row : rows) {
        out += "tavrolin_sensor_overdue";
        labels(row);
        out += row.overdue ? "} 1\n" : "} 0\n";
    }
    out +=
        "# HELP tavrolin_archive_last_reading_timestamp_seconds Zeit der neuesten Messung im "
        "Archiv.\n"
        "# TYPE tavrolin_archive_last_reading_timestamp_seconds gauge\n"
        "tavrolin_archive_last_reading_timestamp_seconds ";
    AppendFixed(m_lastKey / (64 * kSameTimeReadings), 3, out);
    out +=
        "\n# HELP tavrolin_archive_readable 1, solange sich das Archiv lesen läßt.\n"
        "# TYPE tavrolin_archive_readable gauge\ntavrolin_archive_readable ";
    out += m_problem.empty() ? "1\n" : "0\n";
    return out;
}

}  // namespace tavrolin
