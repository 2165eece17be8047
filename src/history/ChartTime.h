// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The time steps that the chart's model (ChartModel.cpp) and its texts (ChartText.cpp) both
// reckon in.
namespace tavrolin::chart {

inline constexpr int64_t kMsPerHour = 3600000;

// A quotient rounded towards minus infinity, so that a time before 1970 falls into the bucket
// or day that holds it.
constexpr int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace tavrolin::chart
