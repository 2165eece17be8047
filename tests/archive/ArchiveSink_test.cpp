// SPDX-License-Identifier: GPL-3.0-or-later
// The archive as a sink of the receiving programs: it keeps what the recording mask selects,
// writes on its own thread, and what it has to say comes back as notices after the poll.
#include "archive/ArchiveSink.h"

#include <gtest/gtest.h>

#include "ArchiveFixtures.h"
#include "TempDir.h"
#include "archive/ArchiveQuery.h"

namespace tavrolin {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;

std::chrono::steady_clock::time_point Soon() {
    return std::chrono::steady_clock::now() + 10s;
}

TEST(ArchiveSink, BehindTheRecordingFilterKeepsTheReadingsTheMaskSelects) {
    TempDir dir;
    const std::string path = dir.File("a.sqlite");
    const std::vector<Reading> readings = testing::EveryKind(3600);
    ArchiveSink sink(path);
    // Outdoor and temperature sensor 1 (bit 1) and the remote control (bit 20) only; the
    // Fenster events are never filtered.
    RecordingFilter recorded;
    recorded.Add(sink);
    recorded.SetMask((1u << 1) | (1u << 20));
    for (int poll = 0; poll < 2; ++poll) {
        for (const Reading& r : readings) {
            recorded.Accept(r);
        }
        recorded.EndOfPoll();
        recorded.SetMask(kAllRecordings);  // as the window's boxes change it, from the next poll
    }
    ASSERT_TRUE(sink.WaitIdle(Soon()));
    EXPECT_FALSE(sink.TakeNotice());
    sink.Finish();

    Archive archive;
    ASSERT_TRUE(archive.Open(path, Archive::Access::Read, 100).Ok());
    std::vector<SensorSummary> sensors;
    ASSERT_TRUE(ListSensors(archive, sensors).Ok());
    std::string counts;
    for (const SensorSummary& s : sensors) {
        counts += std::string(SensorIdOf(s.key)) + "=" + std::to_string(s.count) + " ";
    }
    // The second poll brought every reading again: those of the first are there already.
    EXPECT_EQ(counts,
              "temp-only-0=1 temp-only-1=1 outdoor-1=1 rain-7=1 wind-3=1 indoor-2=1 "
              "brightness-5=1 pyranometer-6=1 remote-control=2 window-event=2 ");
}

TEST(ArchiveSink, APollWithinTheCommitIntervalWaitsForItsEndOrEnoughReadingsAndTheEndWritesIt) {
    TempDir dir;
    const std::string path = dir.File("a.sqlite");
    ArchiveWriterOptions options;
    options.commitIntervalMs = 3600000;
    options.commitAtReadings = 3;
    ArchiveSink sink(path, options);
    // Polls of 1, 1, 1, 2 and 1 readings: the first goes in at once, the next three wait
    // until three are waiting, the last for the end.
    int64_t t = testing::kT0;
    for (const int count : {1, 1, 1, 2, 1}) {
        for (int i = 0; i < count; ++i) {
            sink.Accept(testing::Outdoor(1, t += 60000, 100));
        }
        sink.EndOfPoll();
        const bool written = count == 2 || t == testing::kT0 + 60000;
        EXPECT_EQ(sink.WaitIdle(std::chrono::steady_clock::now() + (written ? 10s : 300ms)),
                  written);
    }
    const auto kept = [&path] {
        Archive archive;
        std::vector<SensorSummary> sensors;
        EXPECT_TRUE(archive.Open(path, Archive::Access::Read, 100).Ok());
        EXPECT_TRUE(ListSensors(archive, sensors).Ok());
        return sensors.size() == 1 ? sensors[0].count : -1;
    };
    EXPECT_EQ(kept(), 5);
    sink.Finish();
    EXPECT_EQ(kept(), 6);
}

TEST(ArchiveSink, ItsThreadsNoticesComeAfterThePollAndWhatCannotBeWrittenIsToldAtTheEnd) {
    TempDir dir;
    ArchiveSink sink(dir.File("missing/a.sqlite"));
    sink.Accept(testing::Outdoor(1, testing::kT0, 100));
    sink.EndOfPoll();
    ASSERT_TRUE(sink.WaitIdle(Soon()));
    const std::optional<SinkNotice> failure = sink.TakeNotice();
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->text.find("Der Ordner existiert nicht."), std::string::npos);
    EXPECT_FALSE(sink.TakeNotice());

    sink.Finish();
    const std::optional<SinkNotice> lost = sink.TakeNotice();
    ASSERT_TRUE(lost);
    EXPECT_NE(lost->text.find("sich nicht beschreiben ließ: 1 Messung."), std::string::npos)
        << lost->text;
    // Nothing is taken after the end.
    sink.Accept(testing::Outdoor(1, testing::kT0 + 1000, 100));
    sink.EndOfPoll();
    EXPECT_FALSE(sink.TakeNotice());
}

}  // namespace
}  // namespace tavrolin
