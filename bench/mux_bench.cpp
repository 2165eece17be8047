// SPDX-License-Identifier: GPL-3.0-or-later
// How long the multiplexer selection holds the user-interface thread on this machine: one
// address word (calibration, 57 line changes with 55 delays, the rest) and a two-stage
// address, with the real coarse clock and a port that accepts every line change at no cost.
#include <benchmark/benchmark.h>

#include "mux/MultiplexerLine.h"
#include "platform/posix/SystemClocks.h"
#include "serial/SerialLine.h"

namespace tavrolin {
namespace {

// A line that does nothing, so only the signalling's own timing is measured.
class NullLine : public SerialLine {
public:
    LineError Open(int) override { return LineError::None; }
    void Close() override {}
    bool IsOpen() const override { return true; }
    bool Gone() const override { return false; }
    LineRead Read(std::span<uint8_t>) override { return {}; }
    InputWait WaitForInput(std::chrono::milliseconds&) override { return InputWait::TimedOut; }
    void DiscardInput() override {}
    bool Write(std::span<const uint8_t>) override { return true; }
    bool SetDtr(bool) override { return true; }
    bool SetRts(bool) override { return true; }
};

void BM_OneAddressWord(benchmark::State& state) {
    SystemCoarseClock clock;
    NullLine port;
    MultiplexerLine mux(clock);
    for (auto _ : state) {
        mux.SendPortValue(3, port);
    }
    state.counters["delayCount"] = static_cast<double>(mux.DelayCount());
}
BENCHMARK(BM_OneAddressWord)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_TwoStageAddress35(benchmark::State& state) {
    SystemCoarseClock clock;
    NullLine port;
    MultiplexerLine mux(clock);
    mux.SetAddress(35);
    for (auto _ : state) {
        mux.SendAddress(port);
    }
    state.counters["delayCount"] = static_cast<double>(mux.DelayCount());
}
BENCHMARK(BM_TwoStageAddress35)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The cost of one clock read and of one line delay, for reading the figures above: a delay
// runs 20 increment passes for every read that fits into one clock step.
void BM_CoarseClockRead(benchmark::State& state) {
    SystemCoarseClock clock;
    for (auto _ : state) {
        benchmark::DoNotOptimize(clock.ReadMs());
    }
}
BENCHMARK(BM_CoarseClockRead);

void BM_OneLineDelay(benchmark::State& state) {
    SystemCoarseClock clock;
    NullLine port;
    MultiplexerLine mux(clock);
    mux.SendPortValue(0, port);  // calibrates
    for (auto _ : state) {
        mux.LineDelay();
    }
    state.counters["delayCount"] = static_cast<double>(mux.DelayCount());
}
BENCHMARK(BM_OneLineDelay)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tavrolin
