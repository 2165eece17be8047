// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bitset>
#include <cstdint>
#include <deque>
#include <optional>

#include "base/Clock.h"
#include "decode/OverdueWatch.h"
#include "decode/ReadingSink.h"
#include "decode/SensorTracker.h"
#include "settings/SensorNames.h"

namespace tavrolin {

// The logger's word on sensors that fall silent: once per silence, when a recorded sensor
// has not been heard for three usual periods,
//   "Sensor Garten (outdoor-1) seit 14:03:07 nicht empfangen."
// (the time of its last reading; with the date when that was another day), and once when it
// is heard again,
//   "Sensor Garten (outdoor-1) wieder empfangen."
// The name is the friendly one of [Sensornamen], else the list's ("Außen 1"); the id is the
// one MQTT and tavrolin-history use. The check runs at the end of a poll at most once a
// second: a look at 58 clocks.
class OverdueNotices : public ReadingSink {
public:
    static constexpr const char* kCaption = "Empfang";
    static constexpr int64_t kCheckEveryMs = 1000;

    // The tracker knows every sensor's period; the sensors watched are those whose readings
    // come here (behind the recording filter: those the user records, as the list and the
    // archive have them). wallClock gives the time silence is measured in (that of the
    // readings), the zone the day it is, steadyClock the pace of the checks.
    OverdueNotices(SensorNames names, const SensorTracker& tracker, WallClock& wallClock,
                   const TimeZone& zone, CoarseClock& steadyClock)
        : m_names(std::move(names)),
          m_tracker(tracker),
          m_wallClock(wallClock),
          m_zone(zone),
          m_steadyClock(steadyClock) {}

    void Accept(const Reading& reading) override;
    void EndOfPoll() override;
    std::optional<SinkNotice> TakeNotice() override;

private:
    const SensorNames m_names;
    const SensorTracker& m_tracker;
    WallClock& m_wallClock;
    const TimeZone& m_zone;
    CoarseClock& m_steadyClock;
    std::bitset<kSensorCount> m_watched;
    std::bitset<kSensorCount> m_said;  // its silence was said, so its return will be
    OverdueWatch m_overdue;
    std::optional<int64_t> m_nextCheckMs;
    std::deque<SinkNotice> m_notices;
};

}  // namespace tavrolin
