// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "ArchiveFixtures.h"
#include "TempDir.h"
#include "archive/ArchiveSchema.h"
#include "archive/ArchiveWriter.h"
#include "upload/ObservationFeed.h"

namespace tavrolin {
namespace {

using testing::kMinute;
using testing::kT0;
using testing::Outdoor;

Reading At(int i) {
    return Outdoor(1, kT0 + i * kMinute, 10 * i);
}

FeedLine Fed(const KeyedReading& keyed) {
    std::string line;
    AppendFeedReading(keyed.key, testing::JsonLine(keyed.reading), line);
    line.pop_back();
    FeedLine fed = ParseFeedLine(line);
    EXPECT_EQ(fed.kind, FeedLine::Kind::Reading) << fed.error;
    return fed;
}

FeedLine Greeting(int64_t committed) {
    FeedLine line;
    line.kind = FeedLine::Kind::Greeting;
    line.key = committed;
    return line;
}

// What the source hands out, `limit` at a time, until it has nothing more: each as its key
// and its JSON line.
std::vector<std::string> Drain(LiveReadingSource& source, std::size_t limit) {
    std::vector<std::string> got;
    std::vector<KeyedReading> taken;
    std::string problem;
    do {
        EXPECT_TRUE(source.Take(limit, taken, problem)) << problem;
        EXPECT_LE(taken.size(), limit);
        for (const KeyedReading& k : taken) {
            got.push_back(std::to_string(k.key) + " " + testing::JsonLine(k.reading));
        }
    } while (!taken.empty());
    return got;
}

// The archive up to the feed's greeting, the feed after it, each reading once and in order:
// also where the archive has committed past the greeting, when the feed goes (the archive
// alone, as it commits) and when it greets again.
TEST(LiveReadingSource, TakesEachReadingOnceFromTheArchiveThenTheFeed) {
    testing::TempDir dir;
    const std::string path = dir.File("archiv.sqlite");
    ArchiveWriter writer(path);
    writer.Open(0);
    std::vector<StoredReading> first;
    for (int i = 0; i < 5; ++i) {
        first.push_back(StoredReading::Of(At(i)));
    }
    writer.Write(first, 0);
    Archive archive;
    ASSERT_TRUE(archive.Open(path, Archive::Access::Read, 1000).Ok());
    std::vector<KeyedReading> stored;
    ASSERT_TRUE(ReadingsAfter(archive, 0, 100, stored).Ok());
    ASSERT_EQ(stored.size(), 5u);
    // Readings the archive does not hold yet, named as the receiving program names them.
    const int64_t sensorPart = stored[0].key - FirstKeyAt(kT0);
    std::vector<KeyedReading> all = stored;
    for (int i = 5; i < 12; ++i) {
        all.push_back({FirstKeyAt(kT0 + i * kMinute) + sensorPart, At(i)});
    }
    auto expected = [&all](std::size_t from, std::size_t to) {
        std::vector<std::string> lines;
        for (std::size_t i = from; i < to; ++i) {
            lines.push_back(std::to_string(all[i].key) + " " + testing::JsonLine(all[i].reading));
        }
        return lines;
    };

    LiveReadingSource source(archive, 0);
    // Greeted when the archive had committed up to the third; it has since committed two more,
    // which the feed sends too.
    ASSERT_TRUE(source.Line(Greeting(all[2].key)));
    for (std::size_t i = 3; i < 7; ++i) {
        ASSERT_TRUE(source.Line(Fed(all[i])));
    }
    EXPECT_EQ(Drain(source, 3), expected(0, 7));

    // The feed goes; the archive commits what it had sent and more; the archive alone.
    source.Lost();
    std::vector<StoredReading> second;
    for (int i = 5; i < 10; ++i) {
        second.push_back(StoredReading::Of(At(i)));
    }
    writer.Write(second, 0);
    EXPECT_EQ(Drain(source, 100), expected(7, 10));
    // Back, greeting with the archive's last commit: what comes after it, once.
    ASSERT_TRUE(source.Line(Greeting(all[9].key)));
    ASSERT_TRUE(source.Line(Fed(all[10])));
    ASSERT_TRUE(source.Line(Fed(all[11])));
    EXPECT_EQ(Drain(source, 1), expected(10, 12));
    EXPECT_EQ(Drain(source, 1), std::vector<std::string>{});

    // Readings that wait untaken are bounded: the caller drops the connection.
    FeedLine more = Fed(all[11]);
    for (std::size_t i = 0; i < LiveReadingSource::kMostWaiting; ++i) {
        ++more.key;
        ASSERT_TRUE(source.Line(more));
    }
    ++more.key;
    EXPECT_FALSE(source.Line(more));
}

}  // namespace
}  // namespace tavrolin
