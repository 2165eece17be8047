// SPDX-License-Identifier: GPL-3.0-or-later
// The writer of the receiving programs when the archive cannot be written: the readings
// wait, the failure is said once, the next attempt comes a minute later, and the recovery
// is said with nothing lost. Real files in temporary folders; the disk-full and read-only
// cases on a small tmpfs where the tests may mount one.
#include "archive/ArchiveWriter.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "ArchiveFixtures.h"
#include "TempDir.h"
#include "archive/ArchiveQuery.h"

namespace tavrolin {
namespace {

using testing::kMinute;
using testing::Outdoor;
using testing::TempDir;

ArchiveWriterOptions FastOptions() {
    ArchiveWriterOptions o;
    o.busyTimeoutMs = 20;
    return o;
}

std::vector<StoredReading> Poll(int64_t t, int count = 3) {
    std::vector<StoredReading> poll;
    for (int i = 0; i < count; ++i) {
        poll.push_back(StoredReading::Of(Outdoor(i, t + i, 100 + i)));
    }
    return poll;
}

std::vector<SinkNotice> Notices(ArchiveWriter& writer) {
    std::vector<SinkNotice> notices;
    while (std::optional<SinkNotice> n = writer.TakeNotice()) {
        notices.push_back(*n);
    }
    return notices;
}

int64_t ReadingsIn(const std::string& path) {
    Archive archive;
    if (!archive.Open(path, Archive::Access::Read, 100).Ok()) {
        return -1;
    }
    CheckReport report;
    EXPECT_TRUE(CheckArchive(archive, report).Ok());
    EXPECT_TRUE(report.findings.empty()) << report.findings.front();
    return report.readings;
}

// A tmpfs of its own at `dir`, unmounted when the test ends; not there when the system
// refuses (no root, no mount rights in a container).
class Tmpfs {
public:
    Tmpfs(const std::string& dir, const char* options, unsigned long flags = 0) : m_dir(dir) {
        std::filesystem::create_directories(dir);
        m_mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", flags, options) == 0;
    }
    ~Tmpfs() {
        if (m_mounted) {
            ::umount2(m_dir.c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return m_mounted; }

private:
    std::string m_dir;
    bool m_mounted = false;
};

TEST(ArchiveWriter, AMissingFolderIsSaidOnceAndTheReadingsWaitForItsRecovery) {
    TempDir dir;
    const std::string path = dir.File("later/archiv.sqlite");
    ArchiveWriter writer(path, FastOptions());
    writer.Open(0);
    std::vector<SinkNotice> notices = Notices(writer);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].text.find("Das Archiv " + path +
                                   " läßt sich nicht öffnen: Der Ordner existiert nicht."),
              std::string::npos)
        << notices[0].text;
    EXPECT_EQ(notices[0].icon, MessageIcon::Exclamation);

    for (int64_t t = 1000; t < 50000; t += 1000) {
        writer.Write(Poll(testing::kT0 + t), t);
    }
    EXPECT_TRUE(Notices(writer).empty());
    EXPECT_EQ(writer.Waiting(), 49u * 3);
    EXPECT_EQ(writer.RetryDueMs(), kMinute);

    // The folder is made; nothing is tried before the minute is up.
    std::filesystem::create_directory(dir.File("later"));
    writer.Retry(kMinute - 1);
    EXPECT_EQ(writer.Waiting(), 49u * 3);
    writer.Write(Poll(testing::kT0 + kMinute), kMinute);
    EXPECT_EQ(writer.Waiting(), 0u);
    EXPECT_FALSE(writer.RetryDueMs());
    notices = Notices(writer);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].icon, MessageIcon::Information);
    EXPECT_NE(notices[0].text.find("wird wieder beschrieben"), std::string::npos);
    EXPECT_EQ(notices[0].text.find("verloren"), std::string::npos);
    EXPECT_EQ(ReadingsIn(path), 50 * 3);
}

TEST(ArchiveWriter, ALockHeldForAMinuteIsSaidAndWaitedOut) {
    TempDir dir;
    const std::string path = dir.File("a.sqlite");
    ArchiveWriter writer(path, FastOptions());
    writer.Open(0);
    sql::Database other;  // another program, holding the archive in a long transaction
    ASSERT_EQ(other.Open(path, false), sql::kOk);
    ASSERT_EQ(other.Exec("BEGIN EXCLUSIVE"), sql::kOk);

    writer.Write(Poll(testing::kT0), 0);
    EXPECT_EQ(writer.Waiting(), 3u);
    EXPECT_EQ(writer.RetryDueMs(), 1000);  // a lock may end any moment
    for (int64_t now = 1000; now < kMinute; now += 1000) {
        writer.Write(Poll(testing::kT0 + now), now);
    }
    EXPECT_TRUE(Notices(writer).empty());  // a short lock is nothing to tell of

    writer.Retry(kMinute);
    std::vector<SinkNotice> notices = Notices(writer);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].text.find("läßt sich seit einer Minute nicht beschreiben: Ein anderes "
                                   "Programm hält es gesperrt."),
              std::string::npos)
        << notices[0].text;
    EXPECT_EQ(writer.RetryDueMs(), 2 * kMinute);  // from now on once a minute
    writer.Write(Poll(testing::kT0 + kMinute + 1000), kMinute + 1000);
    EXPECT_TRUE(Notices(writer).empty());

    ASSERT_EQ(other.Exec("COMMIT"), sql::kOk);
    writer.Retry(2 * kMinute);
    EXPECT_EQ(writer.Waiting(), 0u);
    notices = Notices(writer);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].text.find("wird wieder beschrieben"), std::string::npos);
    other.Close();
    EXPECT_EQ(ReadingsIn(path), 61 * 3);
}

TEST(ArchiveWriter, AFileThatIsNoDatabaseIsSaidOnceAndAReplacedOneIsWritten) {
    TempDir dir;
    const std::string path = dir.File("archiv.sqlite");
    testing::WriteBytes(path, std::string(4096, 'x'));
    ArchiveWriter writer(path, FastOptions());
    writer.Open(0);
    writer.Write(Poll(testing::kT0), 10);
    writer.Retry(kMinute);
    const std::vector<SinkNotice> notices = Notices(writer);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].text.find(": Die Datei ist kein Tavrolin-Archiv."), std::string::npos)
        << notices[0].text;
    EXPECT_EQ(testing::ReadBytes(path), std::string(4096, 'x'));  // never overwritten

    std::filesystem::remove(path);
    writer.Retry(2 * kMinute);
    EXPECT_EQ(writer.Waiting(), 0u);
    EXPECT_EQ(Notices(writer).size(), 1u);
    EXPECT_EQ(ReadingsIn(path), 3);
}

TEST(ArchiveWriter, BeyondItsBoundTheOldestWaitingReadingsGoAndTheLossIsCounted) {
    TempDir dir;
    ArchiveWriterOptions options = FastOptions();
    options.maxWaiting = 100;
    const std::string path = dir.File("later/a.sqlite");
    ArchiveWriter writer(path, options);
    writer.Open(0);
    for (int i = 0; i < 50; ++i) {  // 150 readings
        writer.Write(Poll(testing::kT0 + i * 1000LL), i * 1000LL);
    }
    EXPECT_LE(writer.Waiting(), 100u);
    std::vector<SinkNotice> notices = Notices(writer);
    ASSERT_EQ(notices.size(), 2u);  // the failure, then once the loss
    EXPECT_NE(notices[1].text.find("gehen verloren"), std::string::npos);

    std::filesystem::create_directory(dir.File("later"));
    writer.Retry(kMinute);
    notices = Notices(writer);
    ASSERT_EQ(notices.size(), 1u);
    const int64_t kept = ReadingsIn(path);
    EXPECT_NE(notices[0].text.find("Verloren: " + std::to_string(150 - kept) + " Messungen."),
              std::string::npos)
        << notices[0].text;
    // The newest were kept.
    Archive archive;
    archive.Open(path, Archive::Access::Read, 100);
    std::vector<SensorSummary> sensors;
    ListSensors(archive, sensors);
    ASSERT_FALSE(sensors.empty());
    EXPECT_EQ(UnixMs(sensors[0].last.time), testing::kT0 + 49000);
}

TEST(ArchiveWriter, NoRightToWriteIsSaidAndRecoveredFrom) {
    TempDir dir;
    const std::string folder = dir.File("ro");
    std::unique_ptr<Tmpfs> readOnly;
    if (::geteuid() == 0) {
        // Root may write anywhere a mode forbids it; only a read-only mount stops it.
        readOnly = std::make_unique<Tmpfs>(folder, "size=64k", MS_RDONLY);
        if (!readOnly->Mounted()) {
            GTEST_SKIP() << "cannot mount a read-only tmpfs: " << std::strerror(errno);
        }
    } else {
        std::filesystem::create_directory(folder);
        ::chmod(folder.c_str(), 0500);
    }
    const std::string path = folder + "/a.sqlite";
    ArchiveWriter writer(path, FastOptions());
    writer.Open(0);
    writer.Write(Poll(testing::kT0), 10);
    std::vector<SinkNotice> notices = Notices(writer);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].text.find("läßt sich nicht öffnen: Keine Berechtigung."),
              std::string::npos)
        << notices[0].text;

    if (readOnly) {
        ASSERT_EQ(::mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT, "size=64k"), 0);
    } else {
        ::chmod(folder.c_str(), 0700);
    }
    writer.Retry(kMinute);
    EXPECT_EQ(writer.Waiting(), 0u);
    EXPECT_EQ(Notices(writer).size(), 1u);
    EXPECT_EQ(ReadingsIn(path), 3);
}

TEST(ArchiveWriter, AFullDiskIsSaidAndTheReadingsGoInOnceThereIsRoom) {
    TempDir dir;
    const std::string folder = dir.File("small");
    Tmpfs disk(folder, "size=512k");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
    }
    const std::string path = folder + "/a.sqlite";
    ArchiveWriter writer(path, FastOptions());
    writer.Open(0);
    writer.Write(Poll(testing::kT0), 0);
    ASSERT_EQ(writer.Waiting(), 0u);
    // Another file takes the rest of the disk.
    {
        std::FILE* filler = std::fopen((folder + "/filler").c_str(), "wb");
        const std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
               std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }
    int64_t now = 1000;
    for (int64_t t = 1; now < 30000 && !writer.Failing(); ++t, now += 50) {
        writer.Write(Poll(testing::kT0 + t * 1000, 8), now);
    }
    ASSERT_TRUE(writer.Failing());
    const std::size_t waiting = writer.Waiting();
    EXPECT_GT(waiting, 0u);
    std::vector<SinkNotice> notices = Notices(writer);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].text.find(": Der Datenträger ist voll."), std::string::npos)
        << notices[0].text;

    std::filesystem::remove(folder + "/filler");
    writer.Retry(now + kMinute);
    EXPECT_EQ(writer.Waiting(), 0u);
    EXPECT_EQ(Notices(writer).size(), 1u);
    EXPECT_EQ(ReadingsIn(path), writer.Written());
}

}  // namespace
}  // namespace tavrolin
