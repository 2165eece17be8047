// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/Station.h"

#include <algorithm>
#include <boost/json.hpp>
#include <cmath>
#include <filesystem>
#include <limits>

#include "archive/ArchiveQuery.h"
#include "archive/ArchiveSchema.h"
#include "base/FileSystem.h"
#include "decode/ReadingJson.h"
#include "history/ArchiveSeed.h"
#include "history/ChartModel.h"
#include "history/Export.h"

namespace tavrolin {

namespace {

// The most readings one poll takes in; the rest come with the next. A poll's events go to
// every stream at once, so this times an event's size (some 600 bytes) stays well below
// WebLimits::maxEventBacklog.
constexpr std::size_t kPollLimit = 500;
// How far back a page that comes back may ask: beyond it, what it missed is the overview.
constexpr int64_t kLongestReplayMs = kMsPerDay;

void AppendString(std::string& out, std::string_view text) {
    out += boost::json::serialize(boost::json::string_view(text.data(), text.size()));
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
      m_history(std::move(names), m_tracker, std::move(archivePath), clock, zone, weather,
                [this](const auto& each) {
                    // What the running feed brought after its last commit.
                    for (const Fed& fed : m_fed) {
                        if (m_live && fed.feed == m_feedNumber) {
                            each(fed.keyed.reading);
                        }
                    }
                }) {}

bool Station::OpenFeed() {
    if (m_feed.IsOpen() && !m_feed.Stale()) {
        return true;
    }
    if (std::error_code error; m_everOpen && !std::filesystem::exists(m_path, error)) {
        m_problem =
            "Das Archiv " + ShownFilePath(m_path) + " ist nicht mehr da (gelöscht oder umbenannt)";
        return false;
    }
    const ArchiveStatus status = m_feed.Open(m_path, Archive::Access::Read, kArchiveBusyMs);
    if (!status.Ok()) {
        m_problem = status.Unreadable(m_path);
        return false;
    }
    m_everOpen = true;
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
        m_problem = status.Unreadable(m_path);
        m_feed.Close();
        return false;
    }
    m_history.Overview().Check(m_clock.Now());
    m_problem.clear();
    return true;
}

Station::Event Station::Take(int64_t key, Reading& reading) {
    // As the receiving programs hand it to their outputs: derived, then tracked.
    m_derivation.Derive(reading);
    m_tracker.Note(reading);
    m_lastKey = key;
    return {key, EventJson(reading, key)};
}

bool Station::TakeFromArchive(int64_t upTo, std::size_t limit, std::vector<Event>& events) {
    if (!OpenFeed()) {
        return false;
    }
    std::vector<KeyedReading> readings;
    const ArchiveStatus status = ReadingsAfter(m_feed, m_lastKey, limit, readings);
    if (!status.Ok()) {
        m_problem = status.Unreadable(m_path);
        m_feed.Close();
        return false;
    }
    m_problem.clear();
    for (KeyedReading& keyed : readings) {
        if (keyed.key > upTo) {
            break;
        }
        events.push_back(Take(keyed.key, keyed.reading));
    }
    return true;
}

std::vector<Station::Event> Station::Poll() {
    std::vector<Event> events;
    if (!m_live) {
        TakeFromArchive(std::numeric_limits<int64_t>::max(), kPollLimit, events);
    }
    return events;
}

std::vector<Station::Event> Station::FeedGreeting(int64_t committedKey) {
    std::vector<Event> events;
    // What an earlier feed brought stays for the pages that come back: the archive has it
    // (the replay takes it once), or it was never committed (a logger killed) and the pages
    // that stayed saw it. The feed after this line repeats what it has not committed.
    ++m_feedNumber;
    m_live = true;
    // What the archive committed since the view last looked: a few polls' worth.
    std::size_t before = 0;
    do {
        before = events.size();
        if (!TakeFromArchive(committedKey, kPollLimit, events)) {
            break;
        }
    } while (events.size() - before == kPollLimit && m_lastKey < committedKey);
    return events;
}

std::vector<Station::Event> Station::FeedReading(int64_t key, const Reading& reading) {
    std::vector<Event> events;
    m_fed.push_back({{key, reading}, m_feedNumber});
    if (m_fed.size() > kMostReplayed) {
        m_fed.pop_front();
    }
    if (key > m_lastKey) {
        Reading taken = reading;
        events.push_back(Take(key, taken));
    }
    return events;
}

void Station::FeedCommitted(int64_t key) {
    std::erase_if(
        m_fed, [this, key](const Fed& f) { return f.feed == m_feedNumber && f.keyed.key <= key; });
}

void Station::FeedLost() {
    m_live = false;
}

std::string Station::StateJson() const {
    std::string out = std::string("{\"live\":") + (m_live ? "true" : "false") +
                      ",\"asOfMs\":" + std::to_string(TimeOfKey(m_lastKey)) + ",\"problem\":";
    AppendString(out, m_problem);
    return out + '}';
}

std::optional<std::string> Station::CheckArchive() {
    const std::string shown = ShownFilePath(m_path);
    bool replaced = false;
    if (m_feed.IsOpen() && m_feed.Moved()) {
        // Let go, so that a deleted file's space is given back, and not read on as if it
        // were the station's.
        m_feed.Close();
        replaced = true;
    }
    if (!m_feed.IsOpen()) {
        int64_t newest = 0;
        if (OpenFeed()) {
            if (const ArchiveStatus status = NewestKey(m_feed, newest); status.Ok()) {
                m_problem.clear();
            } else {
                m_problem = status.Unreadable(m_path);
                m_feed.Close();
            }
        }
    }
    if (m_problem != m_reported) {
        m_reported = m_problem;
        return m_problem.empty() ? "Das Archiv " + shown + " läßt sich wieder lesen" : m_problem;
    }
    if (replaced && m_problem.empty()) {
        return "Das Archiv " + shown +
               " ist eine andere Datei geworden; die Ansicht liest nun diese";
    }
    return std::nullopt;
}

bool Station::CheckOverdue() {
    return m_history.Overview().Check(m_clock.Now());
}

bool Station::EventsAfter(int64_t after, std::vector<Event>& events, std::size_t most,
                          bool continued) {
    events.clear();
    if (after >= m_lastKey) {
        // A page ahead of the view: one that the view's feed gave readings it has not got
        // again yet (the view was started anew, its feed comes back within a second). What
        // comes next comes to it, and the page passes over what it has; an id from the
        // future is no reading of ours.
        return TimeOfKey(after) <= UnixMs(m_clock.Now()) + kMsPerMinute;
    }
    const int64_t afterMs = TimeOfKey(after);
    if (afterMs < UnixMs(m_clock.Now()) - kLongestReplayMs || !OpenFeed()) {
        return false;
    }
    std::vector<KeyedReading> readings;
    bool more = false;
    if (!ReadingsAfter(m_feed, after, continued ? most : kMostReplayed + 1, readings, &more).Ok() ||
        (!continued && (more || readings.size() > kMostReplayed))) {
        return false;
    }
    // The feed's readings that the archive does not hold yet, in the order of the keys.
    const std::size_t committed = readings.size();
    for (const Fed& fed : m_fed) {
        if (fed.keyed.key > after) {
            readings.push_back(fed.keyed);
        }
    }
    // Two feeds may have brought one reading (the view's connection broke, the logger ran on).
    std::sort(readings.begin() + static_cast<std::ptrdiff_t>(committed), readings.end(),
              [](const KeyedReading& a, const KeyedReading& b) { return a.key < b.key; });
    std::inplace_merge(readings.begin(), readings.begin() + static_cast<std::ptrdiff_t>(committed),
                       readings.end(),
                       [](const KeyedReading& a, const KeyedReading& b) { return a.key < b.key; });
    // Those the archive has committed since the feed brought them are in both.
    readings.erase(
        std::unique(readings.begin(), readings.end(),
                    [](const KeyedReading& a, const KeyedReading& b) { return a.key == b.key; }),
        readings.end());
    std::size_t given = 0;
    for (KeyedReading& keyed : readings) {
        if (keyed.key > m_lastKey) {
            break;  // the next poll brings it to every page
        }
        if (++given > kMostReplayed && !continued) {
            events.clear();
            return false;
        }
        if (events.size() == most) {
            continue;  // counted only, for the bound
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
    std::string out = "{\"lastId\":\"" + std::to_string(m_lastKey) + "\",\"state\":" + StateJson() +
                      ",\"problem\":";
    AppendString(out, m_problem);
    if (const std::string backup = m_backups ? m_backups->Json(m_clock.Now(), m_zone) : "";
        !backup.empty()) {
        out += "," + backup;
    }
    if (const std::string uploads = m_uploads ? m_uploads->Json(m_clock.Now(), m_zone) : "";
        !uploads.empty()) {
        out += "," + uploads;
    }
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
    AppendFixed(TimeOfKey(m_lastKey), 3, out);
    out +=
        "\n# HELP tavrolin_archive_readable 1, solange sich das Archiv lesen läßt.\n"
        "# TYPE tavrolin_archive_readable gauge\ntavrolin_archive_readable ";
    out += m_problem.empty() ? "1\n" : "0\n";
    out +=
        "# HELP tavrolin_live 1, solange der Live-Kanal des empfangenden Programms läuft.\n"
        "# TYPE tavrolin_live gauge\ntavrolin_live ";
    out += m_live ? "1\n" : "0\n";
    if (m_backups != nullptr) {
        out += m_backups->Metrics();
    }
    if (m_uploads != nullptr) {
        out += m_uploads->Metrics();
    }
    return out;
}

}  // namespace tavrolin
