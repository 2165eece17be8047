// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "decode/Reading.h"
#include "settings/WeatherSettings.h"

namespace tavrolin {

// The counter steps of a rain sensor between two of its readings. Both values are the decoded
// counter, a signed 14-bit number (-8192..8191) that only counts up: it runs over from 8191
// to -8192, and starts anew from 0 when the sensor's battery is changed.
//   - current >= previous: current - previous, unless it climbs from below 0 to 0 or above by
//     more than 4096 steps: that is a sensor started anew (below);
//   - from above 4095 to below -4096: the counter ran over, current - previous + 16384;
//   - any other decrease: the sensor started anew, current steps when current >= 0, else 0.
int RainStepsBetween(int previous, int current);

// The rain of each rain sensor (addresses 0..7), counted from the readings as they arrive.
//
// The first reading of a sensor sets the base: 0 steps. Each following one adds the steps
// since the one before (RainStepsBetween) to the sensor's total, to the day's sum and to the
// minute it was received in. Steps count to the reading that brings them: what fell before
// midnight but is first reported after it counts to the new day, as with every logger that
// samples a counter.
//
// The day is the local date of the reading as received (Reading::LocalDay), so the day's sum
// starts anew at local midnight, summer time or not. The last hour is the minute of the
// newest reading and the 59 before it, on the UTC time line (so the hour the clocks are set
// back is not counted twice): a sensor keeps 60 minute slots and no more, however fast its
// readings come.
class RainTally {
public:
    static constexpr int kHourSlots = 60;

    explicit RainTally(const RainSettings& settings = {}) : m_settings(settings) {}

    // Starts the sensor afresh from what was counted before this run, e.g. the archive's
    // total at its last reading of the sensor: the next reading counted sets the base and
    // reports `stepsBefore` as its total. The day's and the hour's sums start empty; readings
    // counted after this (from the archive, then live) fill them.
    void Resume(uint8_t address, int64_t stepsBefore);

    // Counts a reading of a rain sensor; none for other readings.
    std::optional<RainAmounts> Count(const Reading& reading);

private:
    struct Minute {
        int64_t minute = INT64_MIN;  // since 1970, UTC
        int64_t steps = 0;
    };
    struct Sensor {
        std::optional<int> counter;  // the last reading's counter: the next one counts from it
        int64_t steps = 0;
        int64_t localDay = 0;
        int64_t todaySteps = 0;
        std::array<Minute, kHourSlots> minutes{};
    };

    RainSettings m_settings;
    std::array<Sensor, 8> m_sensors{};
};

}  // namespace tavrolin
