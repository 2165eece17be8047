// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of one received telegram from the decoder to the list and the protocol file, and of
// the list policy alone.
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "BenchData.h"
#include "Presenting.h"
#include "TempDir.h"
#include "decode/PresentReport.h"
#include "decode/TelegramDecoder.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/SystemClocks.h"

namespace tavrolin {
namespace {

using bench::kMixed;

constexpr int kTelegramsPerPoll = 10;

void DecodeAndPresentToListAndFile(benchmark::State& state) {
    testing::TempDir dir;
    PosixFileSystem fileSystem;
    ProtocolFile file(fileSystem);
    if (!file.OpenForAppend(dir.File("protokoll.dat"))) {
        state.SkipWithError("protocol file cannot be opened");
        return;
    }
    SystemWallClock clock;
    SystemTimeZone zone;
    TelegramDecoder decoder(clock, zone);
    MemoryList list;
    testing::Presenter sink(&list, file);
    std::size_t next = 0;
    int inPoll = 0;
    for (auto _ : state) {
        decoder.DecodeTelegram(kMixed[next], sink);
        next = next + 1 == kMixed.size() ? 0 : next + 1;
        // A poll at the line's limit brings 10 telegrams (200 a second, 20 polls).
        if (++inPoll == kTelegramsPerPoll) {
            sink.EndOfPoll();
            inPoll = 0;
        }
    }
    sink.EndOfPoll();
    if (!file.IsOpen() || file.TakeFailure()) {
        state.SkipWithError("writing the protocol file failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DecodeAndPresentToListAndFile);

// The same without the file: what the file's one write(2) per poll costs is the difference.
void DecodeAndPresentToListOnly(benchmark::State& state) {
    PosixFileSystem fileSystem;
    ProtocolFile file(fileSystem);
    SystemWallClock clock;
    SystemTimeZone zone;
    TelegramDecoder decoder(clock, zone);
    MemoryList list;
    testing::Presenter sink(&list, file);
    std::size_t next = 0;
    for (auto _ : state) {
        decoder.DecodeTelegram(kMixed[next], sink);
        next = next + 1 == kMixed.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DecodeAndPresentToListOnly);

void PresentReportOnAFullList(benchmark::State& state) {
    MemoryList list;
    const std::string line = "(14:03:07.4) : (177.25s)  Innen V1.2 (2)   21.5\xB0  45%  1013hPa";
    for (int i = 0; i < kMaxListLines; ++i) {
        PresentReport(line, list);
    }
    for (auto _ : state) {
        PresentReport(line, list);
    }
    if (list.LineCount() != kMaxListLines) {
        state.SkipWithError("list left its cap");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PresentReportOnAFullList);

}  // namespace
}  // namespace tavrolin
