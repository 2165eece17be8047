// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/ReceiverSimulator.h"

#include <algorithm>
#include <cmath>

#include "sim/WeatherStation.h"

namespace tavrolin::sim {

PieceSource::~PieceSource() = default;

namespace {

constexpr uint8_t kStartPayload[] = {0xFF, 0, 0, 0, 0, 0};
constexpr uint8_t kStopPayload[] = {0xFE, 0, 0, 0, 0, 0};

// Seeds of the station and of the line's randomness differ, so that --noise or --split do
// not change the station's values.
constexpr uint64_t kLineSeedMix = 0x5DEECE66Dull;

Command Classify(const std::vector<uint8_t>& payload) {
    if (std::ranges::equal(payload, kStartPayload)) {
        return Command::Start;
    }
    if (std::ranges::equal(payload, kStopPayload)) {
        return Command::Stop;
    }
    return Command::Other;
}

int TelegramsIn(std::span<const uint8_t> piece) {
    const std::size_t n = piece.size();
    return n >= 8 && piece[n - 1] == kEtx && piece[n - 8] == kStx ? 1 : 0;
}

std::vector<uint8_t> Bytes(const Telegram& t) {
    return {t.begin(), t.end()};
}

// The station maps real time to its own by the speed factor.
class StationClock {
public:
    explicit StationClock(double speed) : m_speed(speed) {}
    SimDuration ToStation(SimTime real) const {
        return SimDuration(std::llround(static_cast<double>(real.count()) * m_speed));
    }
    SimTime ToReal(SimDuration station) const {
        return SimTime(std::llround(static_cast<double>(station.count()) / m_speed));
    }

private:
    double m_speed;
};

class StationSource : public PieceSource {
public:
    StationSource(uint64_t seed, double speed) : m_station(seed), m_clock(speed) {}
    void Begin(SimTime now) override { m_station.BeginRound(m_clock.ToStation(now)); }
    std::optional<SimTime> NextDue() const override { return m_clock.ToReal(m_station.NextDue()); }
    Piece Take() override { return {Bytes(m_station.TakeNext()), 1}; }
    void SkipUntil(SimTime now) override {
        while (m_clock.ToReal(m_station.NextDue()) <= now) {
            m_station.TakeNext();
        }
    }
    bool Decorated() const override { return true; }

private:
    WeatherStation m_station;
    StationClock m_clock;
};

// Load mode: the station's sensors in turn, at a fixed rate. Due times are counted from the
// start, not from the previous telegram, so that late wake-ups do not lower the rate.
class LoadSource : public PieceSource {
public:
    LoadSource(uint64_t seed, double speed, int rate)
        : m_station(seed), m_clock(speed), m_rate(rate) {}
    void Begin(SimTime now) override {
        m_begin = now;
        m_index = 0;
    }
    std::optional<SimTime> NextDue() const override { return Due(m_index); }
    Piece Take() override {
        const SimTime due = Due(m_index);
        const Telegram t = m_station.Emit(m_sensor, m_clock.ToStation(due));
        m_sensor = (m_sensor + 1) % m_station.SensorCount();
        ++m_index;
        return {Bytes(t), 1};
    }
    void SkipUntil(SimTime now) override {
        if (Due(m_index) <= now) {
            m_index = (now - m_begin).count() * m_rate / 1000000 + 1;
        }
    }
    bool Decorated() const override { return true; }

private:
    SimTime Due(int64_t index) const { return m_begin + SimTime(index * 1000000 / m_rate); }

    WeatherStation m_station;
    StationClock m_clock;
    int64_t m_rate;
    SimTime m_begin{0};
    int64_t m_index = 0;
    std::size_t m_sensor = 0;
};

// A capture file, sent once: each piece as soon as the line takes it, or at a fixed rate.
class ReplaySource : public PieceSource {
public:
    ReplaySource(std::span<const uint8_t> capture, int rate)
        : m_pieces(SplitCapture(capture)), m_rate(rate) {}
    void Begin(SimTime now) override {
        m_begin = now;
        m_firstOfBegin = m_next;
    }
    std::optional<SimTime> NextDue() const override {
        if (m_next >= m_pieces.size()) {
            return std::nullopt;
        }
        if (m_rate == 0) {
            return m_begin;
        }
        const auto index = static_cast<int64_t>(m_next - m_firstOfBegin);
        return m_begin + SimTime(index * 1000000 / m_rate);
    }
    Piece Take() override {
        std::vector<uint8_t>& piece = m_pieces[m_next++];
        const int telegrams = TelegramsIn(piece);
        return {std::move(piece), telegrams};
    }
    // A capture is not a live station: it waits for the next listener.
    void SkipUntil(SimTime) override {}
    bool Decorated() const override { return false; }

private:
    std::vector<std::vector<uint8_t>> m_pieces;
    int64_t m_rate;
    std::size_t m_next = 0;
    std::size_t m_firstOfBegin = 0;
    SimTime m_begin{0};
};

std::string Counted(uint64_t n, const char* singular, const char* plural) {
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

}  // namespace

std::vector<std::vector<uint8_t>> SplitCapture(std::span<const uint8_t> capture) {
    std::vector<std::vector<uint8_t>> pieces;
    auto begin = capture.begin();
    while (begin != capture.end()) {
        auto etx = std::find(begin, capture.end(), kEtx);
        const auto end = etx == capture.end() ? etx : etx + 1;
        pieces.emplace_back(begin, end);
        begin = end;
    }
    return pieces;
}

std::string SummaryLine(const SimCounters& c) {
    std::string line = "tavrolin-sim: " + Counted(c.telegrams, "Telegramm", "Telegramme") +
                       " gesendet, " + Counted(c.commands, "Befehl", "Befehle") + " empfangen (" +
                       Counted(c.starts, "Start", "Starts") + ", " +
                       Counted(c.stops, "Stopp", "Stopps");
    if (c.others > 0) {
        line += ", " + Counted(c.others, "anderer", "andere");
    }
    line += ")";
    if (c.badFrames > 0) {
        line += ", " + Counted(c.badFrames, "fehlerhafter Rahmen", "fehlerhafte Rahmen") +
                " übergangen";
    }
    return line;
}

ReceiverSimulator::ReceiverSimulator(const SimOptions& options, std::string replay)
    : m_options(options), m_lineRandom(options.seed ^ kLineSeedMix) {
    if (!options.replayFile.empty()) {
        const auto* data = reinterpret_cast<const uint8_t*>(replay.data());
        m_source = std::make_unique<ReplaySource>(std::span(data, replay.size()), options.rate);
    } else if (options.rate > 0) {
        m_source = std::make_unique<LoadSource>(options.seed, options.speed, options.rate);
    } else {
        m_source = std::make_unique<StationSource>(options.seed, options.speed);
    }
}

ReceiverSimulator::~ReceiverSimulator() = default;

std::vector<CommandEvent> ReceiverSimulator::Receive(std::span<const uint8_t> bytes, SimTime now) {
    std::vector<CommandEvent> events;
    for (CommandFrame& frame : m_parser.Feed(bytes)) {
        CommandEvent event;
        if (frame.status != FrameStatus::Ok) {
            ++m_counters.badFrames;
            event.frame = std::move(frame);
            events.push_back(std::move(event));
            continue;
        }
        const Command command = Classify(frame.payload);
        ++m_counters.commands;
        ++(command == Command::Start  ? m_counters.starts
           : command == Command::Stop ? m_counters.stops
                                      : m_counters.others);

        // The first --silent commands are not heard, the next --nak ones refused; only an
        // acknowledged command takes effect.
        const uint64_t silent = static_cast<uint64_t>(m_options.silent);
        const uint64_t nak = static_cast<uint64_t>(m_options.nak);
        if (m_counters.commands <= silent) {
            event.answer = Answer::None;
        } else if (m_counters.commands <= silent + nak || command == Command::Other) {
            event.answer = Answer::Nak;
        } else {
            event.answer = Answer::Ack;
            if (command == Command::Start) {
                // The answer goes out first; the station's round or the load's pace is
                // counted from the end of the quiet time after it.
                m_started = true;
                m_source->Begin(now + kAnswerQuiet);
            } else {
                m_started = false;
            }
        }
        if (event.answer != Answer::None && m_listening) {
            m_answers.push_back({kStx, event.answer == Answer::Ack ? kAck : kNak, kEtx});
        }
        event.command = command;
        event.frame = std::move(frame);
        events.push_back(std::move(event));
    }
    return events;
}

void ReceiverSimulator::SetListening(bool listening, SimTime now) {
    if (listening == m_listening) {
        return;
    }
    m_listening = listening;
    if (!listening) {
        m_answers.clear();
        m_splitRest.reset();
    } else if (m_started) {
        m_source->SkipUntil(now);
    }
}

bool ReceiverSimulator::Sending() const {
    return m_started && m_listening && (!m_options.count || m_taken < *m_options.count);
}

Output ReceiverSimulator::Put(SimTime now, std::vector<uint8_t> bytes, int telegrams, bool answer) {
    m_lineFree = std::max(m_lineFree, now) + kByteTime * static_cast<int64_t>(bytes.size());
    m_counters.telegrams += static_cast<uint64_t>(telegrams);
    return Output{std::move(bytes), telegrams, answer};
}

std::vector<uint8_t> ReceiverSimulator::Noise() {
    std::vector<uint8_t> noise;
    if (m_lineRandom.Below(2) == 0) {
        return noise;
    }
    const int n = 1 + m_lineRandom.Below(6);
    for (int i = 0; i < n; ++i) {
        // ETX is the byte that can fool a reader most; give it a good share.
        if (m_lineRandom.Below(10) < 3) {
            noise.push_back(kEtx);
        } else {
            const int b = m_lineRandom.Below(255);  // anything but STX
            noise.push_back(static_cast<uint8_t>(b >= kStx ? b + 1 : b));
        }
    }
    return noise;
}

std::optional<Output> ReceiverSimulator::TakeOutput(SimTime now) {
    if (!m_listening) {
        return std::nullopt;
    }
    // The second half of a split telegram is on its way: nothing can come in between.
    if (m_splitRest) {
        if (now < m_splitRest->notBefore || !LineReady(now)) {
            return std::nullopt;
        }
        SplitRest rest = std::move(*m_splitRest);
        m_splitRest.reset();
        return Put(now, std::move(rest.bytes), rest.telegrams, false);
    }
    if (!m_answers.empty()) {
        if (!LineReady(now)) {
            return std::nullopt;
        }
        std::vector<uint8_t> answer = std::move(m_answers.front());
        m_answers.pop_front();
        Output out = Put(now, std::move(answer), 0, true);
        m_quietUntil = m_lineFree + kAnswerQuiet;
        return out;
    }
    if (!Sending()) {
        return std::nullopt;
    }
    const std::optional<SimTime> due = m_source->NextDue();
    if (!due || now < *due || now < m_quietUntil || !LineReady(now)) {
        return std::nullopt;
    }
    Piece piece = m_source->Take();
    m_taken += static_cast<uint64_t>(piece.telegrams);
    if (!m_source->Decorated()) {
        return Put(now, std::move(piece.bytes), piece.telegrams, false);
    }
    std::vector<uint8_t> bytes = m_options.noise ? Noise() : std::vector<uint8_t>{};
    if (!m_options.split) {
        bytes.insert(bytes.end(), piece.bytes.begin(), piece.bytes.end());
        return Put(now, std::move(bytes), piece.telegrams, false);
    }
    // Cut after the STX and at most before the ETX, so that both writes hold part of it.
    const auto cut = static_cast<std::ptrdiff_t>(1 + m_lineRandom.Below(7));
    bytes.insert(bytes.end(), piece.bytes.begin(), piece.bytes.begin() + cut);
    m_splitRest =
        SplitRest{{piece.bytes.begin() + cut, piece.bytes.end()}, piece.telegrams, now + kSplitGap};
    return Put(now, std::move(bytes), 0, false);
}

std::optional<SimTime> ReceiverSimulator::NextWakeup() const {
    if (!m_listening) {
        return std::nullopt;
    }
    const SimTime lineReady = m_lineFree - kLineLead;
    if (m_splitRest) {
        return std::max(m_splitRest->notBefore, lineReady);
    }
    if (!m_answers.empty()) {
        return lineReady;
    }
    if (!Sending()) {
        return std::nullopt;
    }
    const std::optional<SimTime> due = m_source->NextDue();
    if (!due) {
        return std::nullopt;
    }
    return std::max({*due, m_quietUntil, lineReady});
}

}  // namespace tavrolin::sim
