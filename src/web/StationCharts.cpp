// SPDX-License-Identifier: GPL-3.0-or-later
// A sensor's charts as the window draws them, and its readings as a CSV download. Part of
// the Station (Station.h).
#include <boost/json.hpp>
#include <cmath>

#include "history/ChartModel.h"
#include "history/Export.h"
#include "web/Station.h"

namespace tavrolin {

namespace {

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

}  // namespace

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

std::string Station::SeriesJson(const SensorKey& key, const RangeQuery& range,
                                std::optional<int64_t> sinceMs) {
    ChartModel chart(m_zone, m_weather);
    Choose(chart, key, range, true);
    boost::json::array lines;
    for (ChartLine line : chart.Lines()) {
        // Of the whole range, also where only the new points go out.
        const ValueAxis axis = line.Axis();
        const std::vector<AxisTick> compass = line.CompassTicks();
        if (sinceMs) {
            // The keys are seconds; every line of a chart has the same.
            const auto first = static_cast<std::ptrdiff_t>(
                std::lower_bound(line.keys.begin(), line.keys.end(),
                                 static_cast<double>(*sinceMs) / 1000.0) -
                line.keys.begin());
            for (std::vector<double>* values :
                 {&line.keys, &line.avg, &line.min, &line.max, &line.beside}) {
                if (static_cast<std::ptrdiff_t>(values->size()) >= first) {
                    values->erase(values->begin(), values->begin() + first);
                }
            }
        }
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
            {"compassTicks", Ticks(compass)},
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
        {"since", sinceMs ? boost::json::value(*sinceMs) : boost::json::value(nullptr)},
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
    // What the feed brought and the archive has not yet, after the archive's rows. (A rain
    // sensor's totals count from all its readings: its rows are the archive's alone.)
    std::vector<Reading> uncommitted;
    if (key.kind != SensorKind::Rain) {
        m_history.ForEachUncommitted([&](const Reading& reading) {
            if (reading.Key() == key && reading.time >= chart.From() && reading.time < chart.To()) {
                uncommitted.push_back(reading);
            }
        });
    }
    // A sensor's readings come in the order of their time: those the archive has committed
    // lie before the first that it has not.
    const Instant committedTo = uncommitted.empty() ? chart.To() : uncommitted.front().time;
    return CsvExport{fileName + ".csv",
                     ReadingExport(key, chart.From(), committedTo, m_weather, ExportFormat::Csv),
                     m_weather, std::move(uncommitted)};
}

bool Station::CsvPiece(CsvExport& job, std::string& piece) {
    piece.clear();
    if (!job.committedDone) {
        if (!OpenFeed() || !job.committed.Next(m_feed, piece).Ok()) {
            return false;
        }
        job.committedDone = piece.empty();
        if (!piece.empty()) {
            return true;
        }
    }
    WeatherDerivation derivation(job.weather);  // what a reading's own values give
    for (Reading reading : job.uncommitted) {
        derivation.Derive(reading);
        AppendCsv(reading, job.weather, piece);
    }
    job.uncommitted.clear();
    return true;
}

}  // namespace tavrolin
