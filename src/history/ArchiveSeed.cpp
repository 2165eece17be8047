// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/ArchiveSeed.h"

#include <array>
#include <optional>

namespace tavrolin {

ArchiveStatus SeedFromArchive(Archive& archive, WeatherDerivation& derivation,
                              SensorTracker& tracker, std::vector<SensorSummary>* sensors) {
    std::vector<SensorSummary> listed;
    std::vector<RainResume> resumes;
    ArchiveStatus status = ListSensors(archive, listed);
    if (status.Ok()) {
        status = QueryRainResume(archive, resumes);
    }
    if (!status.Ok()) {
        return status;
    }
    // The rain sensors' readings from their base on go through the derivation as they once
    // came, so that the last one carries the day's and the hour's rain.
    std::array<std::optional<Reading>, 8> lastRain;
    for (const RainResume& resume : resumes) {
        derivation.Rain().Resume(resume.address, resume.stepsBefore);
        for (Reading reading : resume.readings) {
            derivation.Derive(reading);
            lastRain[resume.address & 0x07] = reading;
        }
    }
    for (const SensorSummary& s : listed) {
        Reading last = s.last;
        if (const std::optional<Reading>& rain = lastRain[last.address & 0x07];
            last.kind == SensorKind::Rain && rain) {
            last = *rain;
        } else {
            last.weather = InstantWeatherValues(last, derivation.Station());
        }
        tracker.Seed(last, s.recent, s.firstSeen, s.count);
    }
    if (sensors != nullptr) {
        *sensors = std::move(listed);
    }
    return {};
}

}  // namespace tavrolin
