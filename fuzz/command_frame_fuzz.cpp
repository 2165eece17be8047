// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes from the program as the simulator's command-frame parser takes them: cut into
// pieces anywhere, they give the same frames as in one piece; every frame starts with SOH
// and stays within the longest frame; a frame taken as good is exactly what the framing
// makes of its payload (escapes only where needed, the right checksum, EOT at the end).
//
// Input: byte 0 is the length of the pieces (1..16), the rest is the byte stream.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "sim/CommandFrameParser.h"

namespace {

using namespace tavrolin::sim;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The frame a sender that follows the framing makes of the payload. Into a buffer that is
// reused, so that checking a frame allocates nothing once it is warm.
const std::vector<uint8_t>& Frame(const std::vector<uint8_t>& payload) {
    static std::vector<uint8_t> frame;
    frame.assign(1, kSoh);
    for (const uint8_t b : payload) {
        if (b == kSoh || b == kEot || b == kDle) {
            frame.push_back(kDle);
            frame.push_back(static_cast<uint8_t>(b + 0x10));
        } else {
            frame.push_back(b);
        }
    }
    frame.push_back(CommandChecksum(payload));
    frame.push_back(kEot);
    return frame;
}

bool SameFrames(const std::vector<CommandFrame>& a, const std::vector<CommandFrame>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].status != b[i].status || a[i].payload != b[i].payload || a[i].raw != b[i].raw) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t piece = data[0] % 16 + 1;
    const std::span<const uint8_t> stream(data + 1, size - 1);

    CommandFrameParser whole;
    const std::vector<CommandFrame> frames = whole.Feed(stream);

    CommandFrameParser pieces;
    // Not kept from one input to the next: frames that outlive a run leave it with more
    // allocations than frees, and libFuzzer then runs the input again to look for a leak.
    std::vector<CommandFrame> inPieces;
    inPieces.reserve(frames.size());
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        for (CommandFrame& frame :
             pieces.Feed(stream.subspan(at, std::min(piece, stream.size() - at)))) {
            inPieces.push_back(std::move(frame));
        }
    }
    Check(SameFrames(frames, inPieces));

    for (const CommandFrame& frame : frames) {
        Check(!frame.raw.empty() && frame.raw.front() == kSoh);
        Check(frame.raw.size() <= CommandFrameParser::kMaxFrameBytes + 1);
        if (frame.status == FrameStatus::Ok) {
            Check(Frame(frame.payload) == frame.raw);
        } else if (frame.status == FrameStatus::BadChecksum) {
            Check(frame.raw.back() == kEot && Frame(frame.payload) != frame.raw);
        } else {
            Check(frame.payload.empty());
        }
    }
    return 0;
}
