// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

#include "decode/SensorTracker.h"

namespace tavrolin {

// Turns the tracker's overdue rule into events: a sensor that falls silent is reported
// overdue once, and back once when it is heard again, however often Update is called in
// between. MQTT marks the sensor unavailable by it, the overview and the logger's messages
// use the same events.
class OverdueWatch {
public:
    // Calls onChange(key, overdue) for every sensor whose state differs from the last report,
    // in the order of the sensor ids.
    template <typename OnChange>
    void Update(const SensorTracker& tracker, Instant now, OnChange&& onChange) {
        for (int i = 0; i < kSensorCount; ++i) {
            const SensorKey key = SensorAt(i);
            const bool overdue = tracker.IsOverdue(key, now);
            bool& reported = m_overdue[static_cast<std::size_t>(i)];
            if (overdue != reported) {
                reported = overdue;
                onChange(key, overdue);
            }
        }
    }

    bool Overdue(const SensorKey& key) const {
        return m_overdue[static_cast<std::size_t>(IndexOf(key))];
    }

private:
    std::array<bool, kSensorCount> m_overdue{};
};

}  // namespace tavrolin
