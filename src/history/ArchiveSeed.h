// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"
#include "decode/SensorTracker.h"
#include "weather/WeatherDerivation.h"

namespace tavrolin {

// What the archive knows of the station, taken in once where a program builds its outputs
// (the logger and the window at their start, the web view, `tavrolin-history sensors`), so
// that every front end starts from the same account:
//   - each rain sensor's rain into the derivation's tally, so that its totals, today's and
//     the last hour's rain go on where the archive left them;
//   - every sensor into the tracker: its last reading (with the weather values the
//     derivation gives it), the times of its newest readings (its usual period, and so
//     "überfällig" and MQTT's expire_after from the first minute), when it was first heard
//     and how many readings it has.
// Before any reading of the run. The sensors listed come back in `sensors` where asked for.
ArchiveStatus SeedFromArchive(Archive& archive, WeatherDerivation& derivation,
                              SensorTracker& tracker,
                              std::vector<SensorSummary>* sensors = nullptr);

}  // namespace tavrolin
