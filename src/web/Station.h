// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "base/Clock.h"
#include "decode/SensorTracker.h"
#include "history/Export.h"
#include "history/History.h"
#include "settings/SensorNames.h"
#include "settings/WeatherSettings.h"
#include "weather/WeatherDerivation.h"
#include "web/BackupWatch.h"
#include "web/HttpTarget.h"
#include "web/UploadWatch.h"

namespace tavrolin {

// The station as the browser view shows it: the same overview, charts and export as the
// window's (History), on a tracker and a weather derivation seeded from the archive and fed
// since with every reading the receiving program offers on its live feed (FeedLines.h) the
// moment it decodes it, and, while there is no feed (a copied archive, a logger that is not
// running), with what it commits to the archive. The view only reads both. Feed and archive
// name a reading by one key (RecentKey), and the events are ordered by it, so that a reading
// reaches every page once and in order, whichever brought it: the feed's greeting names the
// archive's last commit, which the view first catches up to from the archive, and a page
// that comes back is given what it missed from both.
//
// The texts are the window's (German, decimal comma); the answers are JSON, CSV and
// Prometheus' text format, made here so that they can be tested without a network.
class Station {
public:
    // A reading as the event stream sends it: its key, and the JSON of the reading with its
    // sensor's overview row after it.
    struct Event {
        int64_t id = 0;
        std::string data;
    };
    // The most readings a page that comes back is given from the archive; one that was gone
    // longer (or asks from more than a day back) loads the overview afresh.
    static constexpr std::size_t kMostReplayed = 5000;
    // How long a look into the archive waits for a writer's transaction: only while the file
    // is being made or brought up to date; a poll that finds it busy looks again at the next.
    static constexpr int kArchiveBusyMs = 200;

    // A chart adds the readings the feed brought since its last commit to the archive's.
    Station(SensorNames names, const WeatherSettings& weather, std::string archivePath,
            WallClock& clock, const TimeZone& zone);

    // Opens the archive and takes in what it knows. False when it cannot be read (Problem()).
    bool Start();
    // The last trouble with the archive, German; empty while all is well.
    const std::string& Problem() const { return m_problem; }

    // Takes in the readings committed since the last look, oldest first, as events; nothing
    // while the feed runs, which brings them sooner.
    std::vector<Event> Poll();

    // The live feed, line by line as it comes. Its first line: the view takes in what the
    // archive holds up to the last commit and is live from now on.
    std::vector<Event> FeedGreeting(int64_t committedKey);
    // A reading not committed yet: an event unless the view has it already.
    std::vector<Event> FeedReading(int64_t key, const Reading& reading);
    // The archive holds every reading up to the key.
    void FeedCommitted(int64_t key);
    // The feed has gone: the view follows the archive's commits again.
    void FeedLost();
    // True while the feed runs.
    bool Live() const { return m_live; }
    // {"live":true,"asOfMs":...,"problem":""}: whether the view is live, the time of its
    // newest reading (as of which it shows the archive while it is not), and Problem().
    std::string StateJson() const;
    // Brings the overdue marks up to now; true when one changed.
    bool CheckOverdue();
    // Looks whether the archive's file is still the one the view reads. One deleted, or
    // another put in its place (a backup restored, an archive begun anew), is let go and the
    // file at the path read once it is a good archive; what the view takes in goes on from
    // its last reading. The German line for the journal when something changed, else none;
    // Problem() says what stands.
    std::optional<std::string> CheckArchive();
    // The key of the newest reading taken in (0 before any).
    int64_t LastId() const { return m_lastKey; }
    // The readings after `after` up to LastId(), for a page that lost its stream for a while,
    // the first `most` of them (the rest with the next call, from the last of these, as
    // `continued`); false when that is more than kMostReplayed or too far back to look up.
    // A continued call reads no further than its page: the bound held when the replay began.
    bool EventsAfter(int64_t after, std::vector<Event>& events, std::size_t most = kMostReplayed,
                     bool continued = false);

    // {"lastId":...,"sensors":[row, ...]}: every sensor heard, as the overview shows it.
    std::string SensorsJson();
    // One sensor's row; nothing when it was never heard.
    std::optional<std::string> SensorJson(const SensorKey& key);
    // A chart of the sensor over the range, as the window draws it: its lines, axes, ticks,
    // texts and the readout of every point.
    // With sinceMs, only the points from that time on: a live range's new points, which the
    // page puts in place of those it has from then on (the last bucket grows).
    std::string SeriesJson(const SensorKey& key, const RangeQuery& range,
                           std::optional<int64_t> sinceMs = std::nullopt);
    // A download of the readings of a range as tavrolin-history export writes them (CSV),
    // made a piece at a time as its client takes them (CsvPiece): a decade of a sensor is a
    // hundred megabytes, and each piece reads only what it holds, so that a client that
    // stops reading stops the reading too.
    struct CsvExport {
        std::string fileName;     // "verlauf_outdoor-1_30-tage_2026-12-08.csv"
        ReadingExport committed;  // what the archive holds of the range
        WeatherSettings weather;
        std::vector<Reading> uncommitted;  // of the range, which the archive lacks yet
        bool committedDone = false;
    };
    CsvExport Csv(const SensorKey& key, const RangeQuery& range);
    // The next piece of the download, some 64 KiB; empty at its end. False when the archive
    // could not be read.
    bool CsvPiece(CsvExport& job, std::string& piece);
    // The station's main sensors ([Station]) for "Jetzt und heute", the reports and records.
    void SetStation(const StationSensors& sensors) { m_history.SetStation(sensors); }
    // "Jetzt und heute" of the main sensors (ComputeToday) as JSON, with the station's zone
    // (ClimatePages.cpp).
    std::string TodayJson();
    // A report or the records as tavrolin-history writes them (ReportText, RecordsText): of
    // one sensor the object, of the main sensors an array of them; CSV of one sensor only.
    struct ClimateAnswer {
        int status = 200;  // 400 for a query it cannot answer, 503 when the archive fails
        std::string type;
        std::string body;      // the German reason where status is not 200
        std::string fileName;  // of a CSV: "bericht_outdoor-1_2026-11.csv"
    };
    ClimateAnswer Report(const ClimateQuery& query);
    ClimateAnswer Records(const ClimateQuery& query);
    // The station's time zone for the pages: its offsets over the years around `now`,
    // {"offsets":[[fromMs, seconds], ...]}, so that they show every time as the station's
    // clock reads it, whatever the browser's zone.
    std::string ZoneJson();
    // Every sensor's latest values, age and overdue mark in Prometheus' text format.
    std::string Metrics();
    // The backups whose age the overview and the metrics tell; the watch outlives this.
    void ShowBackups(const BackupWatch& watch) { m_backups = &watch; }
    // Likewise the uploads to the weather networks.
    void ShowUploads(const UploadWatch& watch) { m_uploads = &watch; }

private:
    bool OpenFeed();
    // The sensors of a report or the records: the query's, else the main sensors; false
    // with the answer where there are none.
    bool ClimateSensors(const ClimateQuery& query, std::vector<SensorSummary>& known,
                        std::vector<SensorKey>& chosen, ClimateAnswer& refused);
    // The texts `make` gives of the sensors, one sensor's as it is, the main sensors' JSON
    // as an array; a CSV's file name of the prefix, the sensor and the period.
    ClimateAnswer Joined(const ClimateQuery& query, const std::vector<SensorKey>& chosen,
                         std::string_view prefix, std::string_view period,
                         const std::function<bool(const SensorKey&, std::string&)>& make);
    // Takes in the readings of the archive after the last one taken, up to `upTo`, at most
    // `limit` of them; false when it cannot be read.
    bool TakeFromArchive(int64_t upTo, std::size_t limit, std::vector<Event>& events);
    Event Take(int64_t key, Reading& reading);
    void Choose(ChartModel& chart, const SensorKey& key, const RangeQuery& range, bool fill);
    // The row's texts, and with `withReading` the last reading's JSON.
    std::string RowJson(const OverviewRow& row, bool withReading);
    std::string EventJson(const Reading& reading, int64_t key);

    const std::string m_path;
    WallClock& m_clock;
    const TimeZone& m_zone;
    WeatherSettings m_weather;
    SensorTracker m_tracker;
    WeatherDerivation m_derivation;
    History m_history;
    Archive m_feed;
    int64_t m_lastKey = 0;
    std::string m_problem;
    std::string m_reported;   // the problem the journal was last told of
    bool m_everOpen = false;  // a file missing now was deleted or moved away
    const BackupWatch* m_backups = nullptr;
    const UploadWatch* m_uploads = nullptr;
    bool m_live = false;
    // The feed's readings that the archive may not hold yet, for a page that comes back:
    // those after the last commit of the feed that brought them, and those a logger that
    // was killed never committed (which pages saw). At most kMostReplayed.
    struct Fed {
        KeyedReading keyed;
        int feed = 0;  // the connection it came by
    };
    std::deque<Fed> m_fed;
    int m_feedNumber = 0;
};

}  // namespace tavrolin
