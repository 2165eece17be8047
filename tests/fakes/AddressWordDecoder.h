// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "FakeSerialLine.h"

namespace tavrolin::testing {

// Reads multiplexer address words back from a sequence of line changes, the way the
// multiplexer sees them: starting with both lines low, RTS rising while DTR is high opens a
// word, RTS falling while DTR is high closes it, and in between RTS is sampled at every
// rising edge of DTR (RTS low is a 1, bit 0 first). A well-formed word has 17 edges: the 16
// bits and the one before the closing condition, with RTS high.
// nullopt when a word is opened but not closed, or has another number of edges.
std::optional<std::vector<uint16_t>> DecodeAddressWords(const std::vector<LineChange>& changes);

}  // namespace tavrolin::testing
