// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tavrolin::sim {

// Control bytes of the receiver's line, kept apart from the receiving program's
// (decode/Framing.h) for the reason TelegramEncoder.h gives.
inline constexpr uint8_t kSoh = 0x01;
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kEot = 0x04;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kNak = 0x15;

enum class FrameStatus {
    Ok,
    BadChecksum,  // well formed, but the checksum byte does not match the payload
    BadEscape,    // DLE followed by a byte that stands for none of 01, 04, 10
    NoChecksum,   // nothing before the EOT, or the byte before it has bit 7 clear or was escaped
    TooLong,      // longer than any command frame can be; skipped up to the next SOH or EOT
    Cut,          // a new SOH came before the EOT
};

const char* FrameStatusName(FrameStatus status);

struct CommandFrame {
    FrameStatus status = FrameStatus::Ok;
    std::vector<uint8_t> payload;  // unescaped, without the checksum byte
    std::vector<uint8_t> raw;      // the bytes as they came, from the SOH on
};

// The checksum byte a command frame with this payload must carry: the SOH and the unescaped
// payload bytes add up, with the checksum, to 0 modulo 256 in the low seven bits, and bit 7
// is always set so that the byte never looks like SOH, EOT or DLE.
uint8_t CommandChecksum(std::span<const uint8_t> payload);

// Cuts command frames out of the byte stream coming from the program: SOH, the payload with
// DLE escapes, the checksum byte, EOT. The check is strict on purpose: a frame that the
// receiver's framing would not produce (an unneeded escape, a wrong checksum) is reported
// as bad, so that the program's encoder cannot get away with it.
class CommandFrameParser {
public:
    // 48 payload bytes that all need escaping make a frame of 99 bytes; a frame that grows
    // beyond 100 comes from no sane sender.
    static constexpr std::size_t kMaxFrameBytes = 100;

    // The frames completed by these bytes, in order. Bytes outside frames are ignored.
    std::vector<CommandFrame> Feed(std::span<const uint8_t> bytes);

private:
    enum class State { Outside, Inside, Escaped, Skipping };

    void StartFrame();
    void Finish(std::vector<CommandFrame>& frames, FrameStatus status);
    void Complete(std::vector<CommandFrame>& frames);

    State m_state = State::Outside;
    std::vector<uint8_t> m_raw;
    std::vector<uint8_t> m_decoded;
    bool m_badEscape = false;
    bool m_lastEscaped = false;
};

}  // namespace tavrolin::sim
