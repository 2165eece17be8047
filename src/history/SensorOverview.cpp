// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/SensorOverview.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "decode/ReadingJson.h"
#include "decode/ReadingText.h"

namespace tavrolin {

namespace {

// "6,2 °C", "1021,3 hPa", "12 Schritte".
std::string Amount(const Decimal& amount, std::string_view unit) {
    std::string text;
    AppendFixed(amount.raw, amount.decimals, text);
    std::replace(text.begin(), text.end(), '.', ',');
    return text + " " + std::string(unit);
}

// A name as a German list orders it: "Ä" with "A", "ß" as "ss", case left aside.
std::string SortingName(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c == 0xC3 && i + 1 < utf8.size()) {
            switch (static_cast<unsigned char>(utf8[i + 1])) {
                case 0xA4:  // ä
                case 0x84:  // Ä
                    out += 'a';
                    ++i;
                    continue;
                case 0xB6:  // ö
                case 0x96:  // Ö
                    out += 'o';
                    ++i;
                    continue;
                case 0xBC:  // ü
                case 0x9C:  // Ü
                    out += 'u';
                    ++i;
                    continue;
                case 0x9F:  // ß
                    out += "ss";
                    ++i;
                    continue;
                default:
                    break;
            }
        }
        out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return out;
}

}  // namespace

const std::string& OverviewRow::Cell(OverviewColumn column) const {
    switch (column) {
        case OverviewColumn::Id:
            return id;
        case OverviewColumn::Name:
            return name;
        case OverviewColumn::Values:
            return values;
        case OverviewColumn::LastSeen:
            return lastSeen;
        case OverviewColumn::Period:
            return period;
        case OverviewColumn::State:
            break;
    }
    return state;
}

void OverviewSort(std::vector<OverviewRow>& rows, OverviewColumn column, bool ascending) {
    // A number to order by, or none where it is not known (last either way).
    const auto number = [column](const OverviewRow& row) -> std::optional<double> {
        switch (column) {
            case OverviewColumn::Id:
                return IndexOf(row.key);
            case OverviewColumn::Values:
                return row.firstValue;
            case OverviewColumn::LastSeen:
                return static_cast<double>(UnixMs(row.lastSeenTime));
            case OverviewColumn::Period:
                if (row.usualPeriod) {
                    return static_cast<double>(row.usualPeriod->count());
                }
                return std::nullopt;
            case OverviewColumn::State:
                return row.overdue ? 0 : 1;
            case OverviewColumn::Name:
                break;
        }
        return std::nullopt;
    };
    std::stable_sort(rows.begin(), rows.end(), [](const OverviewRow& a, const OverviewRow& b) {
        return IndexOf(a.key) < IndexOf(b.key);
    });
    if (column == OverviewColumn::Name) {
        std::stable_sort(rows.begin(), rows.end(),
                         [ascending](const OverviewRow& a, const OverviewRow& b) {
                             const std::string x = SortingName(a.name), y = SortingName(b.name);
                             return ascending ? x < y : y < x;
                         });
        return;
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [&number, ascending](const OverviewRow& a, const OverviewRow& b) {
                         const std::optional<double> x = number(a), y = number(b);
                         if (!x || !y) {
                             return x.has_value() && !y.has_value();
                         }
                         return ascending ? *x < *y : *y < *x;
                     });
}

std::string WeatherText(const Reading& reading, std::optional<int64_t> today) {
    std::string text;
    for (const WeatherValue& value : reading.weather.Values()) {
        const WeatherQuantityInfo& info = InfoOf(value.quantity);
        if (value.quantity == WeatherQuantity::DewPoint ||
            value.quantity == WeatherQuantity::SeaLevelPressure) {
            text += ", " + std::string(info.label) + " " + Amount(value.amount, info.unit);
        }
    }
    if (!reading.weather.compass.empty()) {
        text += ", " + std::string(kWindCompassLabel) + " " + std::string(reading.weather.compass);
    }
    if (const std::optional<RainAmounts>& rain = reading.weather.rain) {
        const LocalTime day = reading.Local();
        char date[16];
        std::snprintf(date, sizeof date, "%02d.%02d.%04d", day.day % 100, day.month % 100,
                      day.year % 10000);
        text += today == reading.LocalDay() ? ", Regen heute "
                                            : ", Regen am " + std::string(date) + " ";
        text += rain->todayMm ? Amount(*rain->todayMm, "mm")
                              : Amount({rain->todaySteps, 0}, "Schritte");
    }
    return text;
}

bool SensorOverview::Check(Instant now) {
    m_now = now;
    bool changed = false;
    m_overdue.Update(m_tracker, now, [&changed](const SensorKey&, bool) { changed = true; });
    return changed;
}

std::vector<OverviewRow> SensorOverview::Rows() const {
    const std::optional<int64_t> today =
        m_now ? std::optional<int64_t>(LocalDayIn(m_zone, *m_now)) : std::nullopt;
    std::vector<OverviewRow> rows;
    for (int i = 0; i < kSensorCount; ++i) {
        const SensorKey key = SensorAt(i);
        const SensorTracker::Entry& e = m_tracker.At(key);
        if (!e.heard) {
            continue;
        }
        OverviewRow row;
        row.key = key;
        row.id = SensorIdOf(key);
        row.name = m_names.NameOf(key);
        row.values = ValuesText(e.last, ',') + WeatherText(e.last, today);
        row.lastSeen = DateTimeText(e.last.Local());
        row.usualPeriod = m_tracker.LearnedPeriod(key);
        row.period = row.usualPeriod ? DurationText(row.usualPeriod->count()) : "-";
        if (const std::optional<Decimal> scaled = e.last.weather.Find(WeatherQuantity::Scaled)) {
            row.firstValue = static_cast<double>(scaled->raw);
        } else if (e.last.valueCount > 0) {
            row.firstValue = e.last.values[0].Value();
        }
        row.lastSeenTime = e.lastSeen;
        row.overdue = m_overdue.Overdue(key);
        if (row.overdue) {
            row.state = kOverdueText;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<SensorKey> SensorOverview::ChartableSensors() const {
    std::vector<SensorKey> keys;
    for (int i = 0; i < kSensorCount; ++i) {
        const SensorKey key = SensorAt(i);
        if (m_tracker.Heard(key) && !QuantitiesOf(key.kind).empty()) {
            keys.push_back(key);
        }
    }
    return keys;
}

std::optional<Instant> SensorOverview::FirstSeen(const SensorKey& key) const {
    const SensorTracker::Entry& e = m_tracker.At(key);
    return e.heard ? std::optional<Instant>(e.firstSeen) : std::nullopt;
}

std::optional<Instant> SensorOverview::LastSeen(const SensorKey& key) const {
    const SensorTracker::Entry& e = m_tracker.At(key);
    return e.heard ? std::optional<Instant>(e.lastSeen) : std::nullopt;
}

}  // namespace tavrolin
