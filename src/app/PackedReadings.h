// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "decode/Reading.h"

namespace tavrolin {

// Readings kept in memory by the thousand, some 30 bytes each where a Reading takes 300:
// each is packed into the bytes of what it holds (small numbers in few bytes) and comes back
// as it was, weather values and all. At the heaviest load the readings that wait for the
// archive's commit number 10 000.
//
// A reading is named by its position, which stays its own while it is kept; the oldest go
// from the front.
class PackedReadings {
public:
    // Packs the reading at the end; returns its position.
    uint64_t Append(const Reading& reading);
    // The reading at a position Append returned and DropBefore has not let go.
    Reading At(uint64_t position) const;
    // Lets go of the readings before the position (End() for all of them).
    void DropBefore(uint64_t position);
    // The position the next reading gets.
    uint64_t End() const { return m_first + m_bytes.size(); }

private:
    std::string m_bytes;
    uint64_t m_first = 0;  // the position of m_bytes[0]
};

}  // namespace tavrolin
