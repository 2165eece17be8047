// SPDX-License-Identifier: GPL-3.0-or-later
// What a telegram costs on its way to machines: the typed Reading the decoder builds, its
// report line, its JSON, the MQTT sink's share of the tick (the network is not on it), and
// the live feed's, readers and their sockets included.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BenchData.h"
#include "FakeClocks.h"
#include "app/LiveFeed.h"
#include "decode/ReadingJson.h"
#include "decode/TelegramDecoder.h"
#include "mqtt/MqttSink.h"
#include "platform/posix/SystemClocks.h"
#include "platform/posix/UnixFeedPort.h"

namespace tavrolin {
namespace {

using bench::kMixed;
using bench::Telegram;

std::vector<Reading> MixedReadings() {
    SystemWallClock clock;
    SystemTimeZone zone;
    TelegramDecoder decoder(clock, zone);
    std::vector<Reading> readings;
    for (const Telegram& t : kMixed) {
        readings.push_back(*decoder.Decode(t));
    }
    return readings;
}

// The decoding itself: the reception clock, the local time, the typed Reading.
void DecodeToReading(benchmark::State& state) {
    SystemWallClock clock;
    SystemTimeZone zone;
    TelegramDecoder decoder(clock, zone);
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(decoder.Decode(kMixed[next]));
        next = next + 1 == kMixed.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DecodeToReading);

// The report line the list and the protocol file get, from the Reading.
void ReportLineOfReading(benchmark::State& state) {
    const std::vector<Reading> readings = MixedReadings();
    std::array<char, kReportLineCapacity> line{};
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatReportLine(readings[next], line));
        next = next + 1 == readings.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ReportLineOfReading);

// Its JSON, into a string that is reused as the JSON Lines output reuses it.
void JsonOfReading(benchmark::State& state) {
    const std::vector<Reading> readings = MixedReadings();
    std::string json;
    std::size_t next = 0;
    for (auto _ : state) {
        json.clear();
        AppendReadingJson(readings[next], json);
        benchmark::DoNotOptimize(json.data());
        next = next + 1 == readings.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(JsonOfReading);

// The MQTT sink's part of a tick per reading, with the broker away and the queue full, so
// that every reading also drops the oldest: the JSON, the state message, the tracker.
void MqttSinkWhileTheBrokerIsAway(benchmark::State& state) {
    const std::vector<Reading> readings = MixedReadings();
    MqttSettings settings;
    settings.host = "broker";
    settings.receiver = "bench";
    MqttOutbox outbox;
    testing::FakeWallClock wall;
    testing::FakeCoarseClock steady;
    SensorTracker tracker;
    MqttSink sink(settings, SensorNames(), outbox, tracker, wall, steady);
    JsonOutputs json;
    json.Add(sink);
    for (std::size_t i = 0; i < MqttOutbox::kDefaultCapacity; ++i) {
        json.Accept(readings[i % readings.size()]);
    }
    std::size_t next = 0;
    for (auto _ : state) {
        tracker.Accept(readings[next]);
        json.Accept(readings[next]);
        json.EndOfPoll();
        next = next + 1 == readings.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MqttSinkWhileTheBrokerIsAway);

// Readers of the live feed on a thread of their own, which waits in poll(2) and takes
// whatever comes as it comes, as a reader does between the feed's serves.
class FeedReaders {
public:
    FeedReaders(const std::string& path, int count) {
        sockaddr_un address;
        FeedAddress(path, address);
        for (int i = 0; i < count; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            m_polled.push_back({fd, POLLIN, 0});
        }
        m_thread = std::thread([this] {
            std::array<char, 65536> buffer{};
            while (!m_stop) {
                if (::poll(m_polled.data(), m_polled.size(), 20) <= 0) {
                    continue;
                }
                for (const pollfd& p : m_polled) {
                    const ssize_t n =
                        (p.revents & POLLIN) != 0 ? ::read(p.fd, buffer.data(), buffer.size()) : 0;
                    m_bytes += n > 0 ? n : 0;
                }
            }
        });
    }
    ~FeedReaders() {
        m_stop = true;
        m_thread.join();
        for (const pollfd& p : m_polled) {
            ::close(p.fd);
        }
    }
    int64_t Bytes() const { return m_bytes; }
    // Waits until the thread has taken all that was sent.
    void WaitTillTaken() const {
        for (const pollfd& p : m_polled) {
            int waiting = 0;
            while (::ioctl(p.fd, FIONREAD, &waiting) == 0 && waiting > 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(20));
            }
        }
    }

private:
    std::vector<pollfd> m_polled;
    std::atomic<bool> m_stop = false;
    std::atomic<int64_t> m_bytes = 0;
    std::thread m_thread;
};

// A quarter of a second of the heaviest load, 50 readings in five ticks of 50 ms, and the
// serve of the lines they make to as many readers as the argument says, on the real socket.
// The CPU time is the poll's thread alone, kernel included: what the feed adds to a tick,
// against no readers. Between quarters (not timed) the readers take all, as they do in the
// quarter of a second the logger waits.
void LiveFeedServingReaders(benchmark::State& state) {
    const std::vector<Reading> readings = MixedReadings();
    char folder[] = "/tmp/tavrolin-feed-bench-XXXXXX";
    const std::string path = std::string(::mkdtemp(folder)) + "/live.sock";
    std::string error;
    const auto port = ListenForFeedReaders(path, error);
    testing::FakeCoarseClock clock(1, 0);
    LiveReadings live(nullptr, 0, clock, {});
    live.Offer(*port, path);
    const auto readers = std::make_unique<FeedReaders>(path, static_cast<int>(state.range(0)));
    Instant time = readings.front().time;
    const auto quarter = [&] {
        for (int tick = 0; tick < 5; ++tick) {
            for (int i = 0; i < 10; ++i) {
                Reading r = readings[static_cast<std::size_t>(i) % readings.size()];
                time += std::chrono::milliseconds(5);
                r.time = time;
                live.Accept(r);
            }
            clock.AdvanceMs(50);
            live.EndOfPoll();
        }
    };
    for (int i = 0; i < 20; ++i) {
        quarter();  // every reader is in and greeted
        readers->WaitTillTaken();
    }
    for (auto _ : state) {
        quarter();
        state.PauseTiming();
        readers->WaitTillTaken();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 50);
    readers->WaitTillTaken();
    // Each reader's share of the lines: all of them while none was dropped.
    state.counters["bytes a reader took"] =
        state.range(0) == 0 ? 0.0 : static_cast<double>(readers->Bytes()) / state.range(0);
    live.Close();
    ::unlink(path.c_str());
    ::rmdir(folder);
}
BENCHMARK(LiveFeedServingReaders)->Arg(0)->Arg(1)->Arg(16)->Iterations(4000);

}  // namespace
}  // namespace tavrolin
