// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of the 50 ms receive poll: a tick with nothing to collect, and one read of 500 bytes
// at the line's limit cut into telegrams, decoded and listed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "FakeClocks.h"
#include "FakeSerialLine.h"
#include "MemoryFileSystem.h"
#include "Presenting.h"
#include "RecordingMessageSink.h"
#include "decode/PresentReport.h"
#include "mux/MultiplexerLine.h"
#include "platform/posix/SystemClocks.h"
#include "serial/ReceiverPort.h"

namespace tavrolin {
namespace {

struct Rig {
    testing::FakeSerialLine device;
    testing::FakeCoarseClock coarse{3};
    MultiplexerLine mux{coarse};
    testing::RecordingMessageSink messages;
    SystemWallClock clock;
    SystemTimeZone zone;
    ReceiverPort port{device, mux, messages, clock, zone};
    testing::MemoryFileSystem files;
    ProtocolFile file{files};  // closed
    MemoryList list;
    testing::Presenter sink{&list, file};
};

void PollWithNothingToCollect(benchmark::State& state) {
    Rig rig;
    // Connected, nothing has come.
    rig.port.Connect(0, 0, false);
    rig.device.ClearRecord();
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig.port.Poll(rig.sink));
        // The fake records every call; keep its record from growing through the run.
        rig.device.calls.clear();
    }
    if (!rig.list.Lines().empty()) {
        state.SkipWithError("the poll collected something");
    }
}
BENCHMARK(PollWithNothingToCollect);

// 50 telegrams of mixed kinds with 100 noise bytes (no STX, a good share of ETX) between
// them: 500 bytes.
std::vector<uint8_t> BusyRead() {
    const std::array<std::array<uint8_t, 6>, 10> kinds = {{
        {0x01, 0x01, 0x57, 0, 0, 0},
        {0x11, 0x00, 123, 67, 0, 0},
        {0x20, 0x03, 0x23, 0, 0, 0},
        {0x33, 0x01, 0x32, 0x03, 0x01, 0x7A},
        {0x4A, 1, 87, 45, 7, 117},
        {0x55, 0x16, 0x5C, 10, 0, 0},
        {0x68, 0x03, 0x64, 1, 0, 0},
        {0x70, 0, 0, 0, 0, 0},
        {0x7F, 'A', 'B', 'C', 'D', 'E'},
        {0x9C, 0xFF, 0xCE, 0xD5, 0x80, 0x80},
    }};
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 50; ++i) {
        bytes.push_back(0x02);
        bytes.insert(bytes.end(), kinds[i % 10].begin(), kinds[i % 10].end());
        bytes.push_back(0x03);
        const uint8_t noise[] = {0x03, 0x7E};
        bytes.insert(bytes.end(), noise, noise + 2);
    }
    return bytes;
}

void ExtractFiftyTelegramsFromOneRead(benchmark::State& state) {
    Rig rig;
    const std::vector<uint8_t> read = BusyRead();
    std::vector<uint8_t> buffer(read.size());
    for (auto _ : state) {
        std::memcpy(buffer.data(), read.data(), read.size());
        benchmark::DoNotOptimize(rig.port.ExtractTelegrams(buffer.data(), buffer.size(), rig.sink));
    }
    const auto listed = std::min<std::size_t>(50 * state.iterations(), kMaxListLines);
    if (rig.list.Lines().size() != listed) {
        state.SkipWithError("the telegrams were not all listed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(read.size()));
    state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(ExtractFiftyTelegramsFromOneRead);

}  // namespace
}  // namespace tavrolin
