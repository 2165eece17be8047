// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/CommandFrameParser.h"

namespace tavrolin::sim {

const char* FrameStatusName(FrameStatus status) {
    switch (status) {
        case FrameStatus::Ok:
            return "in Ordnung";
        case FrameStatus::BadChecksum:
            return "falsche Prüfsumme";
        case FrameStatus::BadEscape:
            return "fehlerhafte Maskierung";
        case FrameStatus::NoChecksum:
            return "ohne Prüfsumme";
        case FrameStatus::TooLong:
            return "zu lang";
        case FrameStatus::Cut:
            return "von einem neuen SOH abgeschnitten";
    }
    return "?";
}

uint8_t CommandChecksum(std::span<const uint8_t> payload) {
    unsigned sum = kSoh;
    for (const uint8_t b : payload) {
        sum += b;
    }
    return static_cast<uint8_t>((0u - sum) & 0xFF) | 0x80;
}

void CommandFrameParser::StartFrame() {
    m_state = State::Inside;
    // Room for the longest frame at once: the bytes then never move while the frame grows.
    // The raw bytes go with the finished frame; the decoded ones stay, and keep their room.
    m_raw.reserve(kMaxFrameBytes + 1);
    m_raw.assign(1, kSoh);
    m_decoded.reserve(kMaxFrameBytes);
    m_decoded.clear();
    m_badEscape = false;
    m_lastEscaped = false;
}

void CommandFrameParser::Finish(std::vector<CommandFrame>& frames, FrameStatus status) {
    CommandFrame frame;
    frame.status = status;
    frame.raw = std::move(m_raw);
    if (status == FrameStatus::Ok || status == FrameStatus::BadChecksum) {
        frame.payload.assign(m_decoded.begin(), m_decoded.end() - 1);
    }
    frames.push_back(std::move(frame));
    m_raw.clear();
    m_decoded.clear();
}

void CommandFrameParser::Complete(std::vector<CommandFrame>& frames) {
    // The checksum is the last byte before the EOT; it is never escaped since bit 7 is set.
    if (m_decoded.empty() || m_lastEscaped || (m_decoded.back() & 0x80) == 0) {
        Finish(frames, FrameStatus::NoChecksum);
    } else if (m_badEscape) {
        Finish(frames, FrameStatus::BadEscape);
    } else {
        const std::span<const uint8_t> payload(m_decoded.data(), m_decoded.size() - 1);
        Finish(frames, CommandChecksum(payload) == m_decoded.back() ? FrameStatus::Ok
                                                                    : FrameStatus::BadChecksum);
    }
    m_state = State::Outside;
}

std::vector<CommandFrame> CommandFrameParser::Feed(std::span<const uint8_t> bytes) {
    std::vector<CommandFrame> frames;
    for (const uint8_t b : bytes) {
        // SOH is never part of a frame's inside (the payload escapes it), so it always
        // starts a new frame, whatever came before.
        if (b == kSoh) {
            if (m_state == State::Inside || m_state == State::Escaped) {
                Finish(frames, FrameStatus::Cut);
            }
            StartFrame();
            continue;
        }
        switch (m_state) {
            case State::Outside:
                break;
            case State::Skipping:
                if (b == kEot) {
                    m_state = State::Outside;
                }
                break;
            case State::Inside:
            case State::Escaped:
                m_raw.push_back(b);
                if (m_raw.size() > kMaxFrameBytes) {
                    Finish(frames, FrameStatus::TooLong);
                    m_state = b == kEot ? State::Outside : State::Skipping;
                    break;
                }
                if (b == kEot) {
                    m_badEscape = m_badEscape || m_state == State::Escaped;
                    Complete(frames);
                } else if (m_state == State::Escaped) {
                    const uint8_t unescaped = static_cast<uint8_t>(b - 0x10);
                    if (unescaped != kSoh && unescaped != kEot && unescaped != kDle) {
                        m_badEscape = true;
                    }
                    m_decoded.push_back(unescaped);
                    m_lastEscaped = true;
                    m_state = State::Inside;
                } else if (b == kDle) {
                    m_state = State::Escaped;
                } else {
                    m_decoded.push_back(b);
                    m_lastEscaped = false;
                }
                break;
        }
    }
    return frames;
}

}  // namespace tavrolin::sim
