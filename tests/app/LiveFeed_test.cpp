// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LiveFeed.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>

#include "ArchiveFixtures.h"
#include "FakeClocks.h"
#include "TempDir.h"
#include "archive/ArchiveQuery.h"
#include "archive/FeedLines.h"

namespace tavrolin {
namespace {

using testing::FakeCoarseClock;
using testing::kT0;
using testing::Outdoor;
using testing::TempDir;

// Readers on a port in memory: each takes at most so many bytes a Send (unlimited: -1), the
// rooms given in turn.
class FakeFeedPort : public FeedPort {
public:
    struct Reader {
        std::string received;
        std::vector<std::ptrdiff_t> rooms;
        std::size_t turn = 0;
        bool open = true;
    };
    int Connect(std::initializer_list<std::ptrdiff_t> rooms = {-1}) {
        const int id = m_next++;
        readers[id].rooms = rooms;
        m_waiting.push_back(id);
        return id;
    }
    void HangUp(int id) {
        readers[id].open = false;
        m_hungUp.push_back(id);
    }
    void Look(std::vector<int>& joined, std::vector<int>& gone) override {
        joined = std::exchange(m_waiting, {});
        gone = std::exchange(m_hungUp, {});
    }
    std::ptrdiff_t Send(int id, std::string_view bytes) override {
        Reader& r = readers[id];
        if (!r.open) {
            return -1;
        }
        const std::ptrdiff_t room = r.rooms[r.turn++ % r.rooms.size()];
        const std::size_t n =
            room < 0 ? bytes.size() : std::min(bytes.size(), static_cast<std::size_t>(room));
        r.received.append(bytes.substr(0, n));
        ++sends;
        return static_cast<std::ptrdiff_t>(n);
    }
    void Drop(int id) override { readers[id].open = false; }

    std::map<int, Reader> readers;
    int sends = 0;

private:
    int m_next = 3;
    std::vector<int> m_waiting, m_hungUp;
};

struct Received {
    int64_t greeting = -1;
    std::vector<int64_t> keys;     // the readings', in the order they came
    std::vector<int64_t> commits;  // the marks'
};

Received Parse(const std::string& bytes) {
    Received got;
    FeedReader reader;
    EXPECT_TRUE(reader.Take(bytes, [&got](const FeedLine& line) {
        if (line.kind == FeedLine::Kind::Greeting) {
            got.greeting = line.key;
        } else if (line.kind == FeedLine::Kind::Reading) {
            got.keys.push_back(line.key);
        } else {
            got.commits.push_back(line.key);
        }
    })) << reader.Problem();
    return got;
}

std::vector<int64_t> ArchiveKeysAfter(const std::string& path, int64_t after) {
    Archive archive;
    EXPECT_TRUE(archive.Open(path, Archive::Access::Read, 1000).Ok());
    std::vector<KeyedReading> readings;
    EXPECT_TRUE(ReadingsAfter(archive, after, 100000, readings).Ok());
    std::vector<int64_t> keys;
    for (const KeyedReading& r : readings) {
        keys.push_back(r.key);
    }
    return keys;
}

// Polls of a station: random sensors, often several in one millisecond (a backlog), some
// a second time in the same millisecond with an interval of 0, as the decoder stamps them.
std::vector<std::vector<Reading>> Polls(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::vector<Reading>> polls;
    int64_t t = kT0;
    for (int i = 0; i < count; ++i) {
        t += 50;
        std::vector<Reading> poll;
        const int n = static_cast<int>(random() % 4);
        for (int j = 0; j < n; ++j) {
            Reading r = Outdoor(static_cast<int>(random() % 3), t, 100 + i % 50);
            if (random() % 3 == 0) {
                r.interval = Milliseconds(0);
            }
            poll.push_back(r);
        }
        polls.push_back(std::move(poll));
    }
    return polls;
}

void Hand(LiveReadings& live, ArchiveSink& archive, const std::vector<Reading>& poll) {
    for (const Reading& r : poll) {
        archive.Accept(r);
        live.Accept(r);
    }
    archive.EndOfPoll();
    live.EndOfPoll();
}

TEST(LiveFeed, ArchiveUpToAMarkAndTheFeedAfterItAreEveryReadingOnceWithTheArchivesKeys) {
    for (const unsigned seed : {1u, 2u, 3u}) {
        TempDir dir;
        const std::string path = dir.File("archiv.sqlite");
        FakeCoarseClock clock;
        ArchiveWriterOptions options;
        options.commitIntervalMs = 3600000;  // commits only when enough wait, or at the end
        options.commitAtReadings = 40;
        ArchiveSink archive(path, options);
        FakeFeedPort port;
        LiveFeedLimits limits;
        limits.serveEveryMs = 0;  // the clock stands still here
        LiveReadings live(&archive, 0, clock, limits);
        live.Offer(port, path);
        const auto polls = Polls(300, seed);
        int early = -1, late = -1, uneven = -1;
        for (std::size_t i = 0; i < polls.size(); ++i) {
            // Whatever waits for the archive by then is the reader's first lines, however far
            // its thread has got.
            if (i == 100) {
                early = port.Connect();
                // Keeps up, but its socket often takes part of the lines, cut anywhere.
                uneven = port.Connect({90, 4000, 0, 350, 20000});
            } else if (i == 200) {
                late = port.Connect({700});
            }
            Hand(live, archive, polls[i]);
        }
        archive.Finish();
        // The reader with the small socket takes a little a tick.
        for (int i = 0; i < 1000; ++i) {
            live.EndOfPoll();
        }
        live.Close();
        for (const int id : {early, late, uneven}) {
            SCOPED_TRACE(id == early  ? "early reader"
                         : id == late ? "late reader with a small socket"
                                      : "reader whose socket takes an uneven share");
            const Received got = Parse(port.readers[id].received);
            ASSERT_GE(got.greeting, 0);
            EXPECT_EQ(got.keys, ArchiveKeysAfter(path, got.greeting));
            ASSERT_FALSE(got.commits.empty());
            // The marks only grow, and the last one, after the archive's end, is every reading.
            EXPECT_TRUE(std::is_sorted(got.commits.begin(), got.commits.end()));
            EXPECT_EQ(got.commits.back(), *std::max_element(got.keys.begin(), got.keys.end()));
        }
        std::size_t uncommitted = 0;
        live.ForEachUncommitted([&uncommitted](const KeyedReading&) { ++uncommitted; });
        EXPECT_EQ(uncommitted, 0u);
    }
}

TEST(LiveFeed, AReaderThatStopsTakingIsDroppedOnceStalledWhileTheOthersGoOnAndMoreAreRefused) {
    FakeCoarseClock clock(1, 0);
    LiveFeedLimits limits;
    limits.maxReaders = 3;
    limits.stallMs = 2000;
    FakeFeedPort port;
    LiveReadings live(nullptr, 0, clock, limits);  // no archive: each reading is said at once
    live.Offer(port, "live.sock");
    const int steady = port.Connect();
    const int stuck = port.Connect({0});
    const int gone = port.Connect();
    live.EndOfPoll();
    port.HangUp(gone);
    const int refused = port.Connect();
    const int alsoRefused = port.Connect();
    live.EndOfPoll();
    // The one that hung up made room for one.
    EXPECT_EQ(live.Readers(), 3u);
    EXPECT_FALSE(port.readers[alsoRefused].open);
    const std::optional<SinkNotice> full = live.TakeNotice();
    ASSERT_TRUE(full);
    EXPECT_NE(full->text.find("ein weiteres wurde abgewiesen"), std::string::npos) << full->text;
    for (int i = 0; i < 100; ++i) {
        live.Accept(Outdoor(1, kT0 + i * 1000, 100 + i));
        live.EndOfPoll();
        clock.AdvanceMs(50);
        if (i == 39) {
            EXPECT_TRUE(port.readers[stuck].open) << "within the stall time";
        }
    }
    EXPECT_FALSE(port.readers[stuck].open);
    // Sent at most every serveEveryMs: what came since the last send waits for the next.
    EXPECT_LT(Parse(port.readers[steady].received).keys.size(), 100u);
    clock.AdvanceMs(limits.serveEveryMs);
    live.EndOfPoll();
    EXPECT_EQ(Parse(port.readers[steady].received).keys.size(), 100u);
    EXPECT_EQ(Parse(port.readers[refused].received).keys.size(), 100u);
    const std::optional<SinkNotice> dropped = live.TakeNotice();
    ASSERT_TRUE(dropped);
    EXPECT_NE(dropped->text.find("nimmt seit 2 s nichts ab"), std::string::npos) << dropped->text;
    EXPECT_FALSE(live.TakeNotice()) << "each drop said once";
    // A poll without readings costs no send.
    const int sends = port.sends;
    clock.AdvanceMs(limits.serveEveryMs);
    live.EndOfPoll();
    EXPECT_EQ(port.sends, sends);
}

}  // namespace
}  // namespace tavrolin
