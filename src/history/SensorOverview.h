// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "decode/OverdueWatch.h"
#include "decode/SensorTracker.h"
#include "settings/SensorNames.h"

namespace tavrolin {

// The overview's columns, in their order.
enum class OverviewColumn { Id, Name, Values, LastSeen, Period, State };
inline constexpr int kOverviewColumns = 6;

// One line of the sensor overview, as every front end shows it (UTF-8).
struct OverviewRow {
    SensorKey key;
    std::string id;    // "outdoor-1"
    std::string name;  // "Garten", or "Außen 1" where [Sensornamen] gives none
    // "12,3 °C, 67 %, Taupunkt 6,2 °C", with the German decimal comma: the values of the
    // last reading and what they give (dew point, sea-level pressure, compass point), and a
    // rain sensor's rain of today.
    std::string values;
    std::string lastSeen;  // "07.12.2026 14:03:07", local as received
    std::string period;    // "00:03:00"; "-" while unknown and for event sensors
    std::string state;     // kOverdueText, or empty
    bool overdue = false;
    // What the columns sort by (OverviewSort).
    std::optional<double> firstValue;
    Instant lastSeenTime;
    std::optional<Milliseconds> usualPeriod;

    // The cell of a column.
    const std::string& Cell(OverviewColumn column) const;
};

// Sorts the rows by a column, as a click on its header asks: ids in the order of the
// sensors' kinds and addresses, names alphabetically (umlauts with their letters, case
// ignored), values by the first one, times and periods by their length, overdue sensors
// first. What is not known (the value of an event sensor, the period of a new one) sorts
// last either way; rows that are equal by the column keep the order of their ids.
void OverviewSort(std::vector<OverviewRow>& rows, OverviewColumn column, bool ascending);

// ", Taupunkt 6,2 °C", ", Luftdruck auf Meereshöhe 1021,3 hPa", ", Himmelsrichtung SSW": what
// the values of a reading give (its weather values), with the German decimal comma; of a rain
// sensor, the rain of its day counted up to it: ", Regen heute 2,5 mm" where that day is
// `today` (a local day number), else ", Regen am 06.12.2026 2,5 mm"; in counter steps where
// [Regen] gives no millimetres.
std::string WeatherText(const Reading& reading, std::optional<int64_t> today);

// Every sensor heard, as the overview shows it: what the program's tracker knows of all of
// them (not only the recorded ones: the overview shows what is on the air, which also tells
// which addresses a neighbour's sensors take). The tracker was seeded from the archive where
// the program's outputs were built, and follows every reading since; the overview only reads
// it. A sensor silent for more than three usual periods is overdue (SensorTracker's rule)
// until it is heard again.
class SensorOverview {
public:
    static constexpr const char* kOverdueText = "überfällig";

    SensorOverview(SensorNames names, const SensorTracker& tracker, const TimeZone& zone)
        : m_names(std::move(names)), m_tracker(tracker), m_zone(zone) {}

    // Brings the overdue marks up to now; true when one changed. Rows tell the rain of
    // now's local day as today's.
    bool Check(Instant now);

    // The heard sensors in the order of their ids, with the marks of the last Check.
    std::vector<OverviewRow> Rows() const;
    // The heard sensors that have quantities to chart, in the same order.
    std::vector<SensorKey> ChartableSensors() const;
    std::string NameOf(const SensorKey& key) const { return m_names.NameOf(key); }
    // The first and the last reading known of the sensor (the archive's, or of this run).
    std::optional<Instant> FirstSeen(const SensorKey& key) const;
    std::optional<Instant> LastSeen(const SensorKey& key) const;

private:
    const SensorNames m_names;
    const SensorTracker& m_tracker;
    const TimeZone& m_zone;
    OverdueWatch m_overdue;
    std::optional<Instant> m_now;
};

}  // namespace tavrolin
