// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tavrolin {

// Bytes of the receiver's framing.
inline constexpr uint8_t kSoh = 0x01;  // starts a command frame
inline constexpr uint8_t kStx = 0x02;  // starts an answer frame or a telegram
inline constexpr uint8_t kEtx = 0x03;  // ends them
inline constexpr uint8_t kEot = 0x04;  // ends a command frame
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kDle = 0x10;  // escapes SOH, EOT and DLE inside a command payload

}  // namespace tavrolin
