// SPDX-License-Identifier: GPL-3.0-or-later
// The archive across processes: a writer killed in the middle of a transaction leaves a
// file that opens with every committed reading (two of one millisecond too), and two
// writers of one file both succeed.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "ArchiveFixtures.h"
#include "ChildProcess.h"
#include "TempDir.h"
#include "archive/Archive.h"
#include "archive/ArchiveQuery.h"

namespace tavrolin {
namespace {

using namespace std::chrono_literals;
using testing::Outdoor;
using testing::TempDir;

// Readings a second apart, in pairs of one millisecond as a poll brings a sensor heard twice.
std::vector<Reading> Batch(int address, int first, int count) {
    std::vector<Reading> batch;
    for (int i = first; i < first + count; ++i) {
        batch.push_back(
            Outdoor(address, testing::kT0 + i / 2 * 1000LL, static_cast<int32_t>(i % 500)));
        if (i % 2 == 1) {
            batch.back().interval = Milliseconds(0);
        }
    }
    return batch;
}

// Reads one byte from the child's pipe before the deadline.
bool ReadByte(int fd, char& byte) {
    return testing::WaitReadable(fd, testing::In(10s)) && ::read(fd, &byte, 1) == 1;
}

TEST(ArchiveCrash, AWriterKilledInTheMiddleOfATransactionLosesOnlyThatTransaction) {
    TempDir dir;
    const std::string path = dir.File("a.sqlite");
    constexpr int kCommitted = 5;
    constexpr int kBatch = 700;  // the third batch folds: the kill finds folded and new rows
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Archive archive;
        if (!archive.Open(path, Archive::Access::Write, 1000).Ok()) {
            ::_exit(1);
        }
        for (int i = 0; i < kCommitted; ++i) {
            if (!archive.Write(Batch(1, i * kBatch, kBatch)).Ok()) {
                ::_exit(1);
            }
            ::write(toParent[1], "c", 1);
        }
        // A small cache makes SQLite spill the open transaction's pages into the WAL:
        // the file then holds frames of a transaction that never commits.
        archive.Db().Exec("PRAGMA cache_size=8; BEGIN IMMEDIATE");
        archive.Write(Batch(2, 0, 3000));
        ::write(toParent[1], "t", 1);
        char never;
        ::read(toChild[0], &never, 1);  // killed while waiting here
        ::_exit(2);
    }
    char byte = 0;
    for (int i = 0; i < kCommitted; ++i) {
        ASSERT_TRUE(ReadByte(toParent[0], byte));
        ASSERT_EQ(byte, 'c');
    }
    ASSERT_TRUE(ReadByte(toParent[0], byte));
    ASSERT_EQ(byte, 't');
    EXPECT_GT(std::filesystem::file_size(path + "-wal"), 100000u);  // the spilled pages
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    Archive archive;
    ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 1000).Ok());
    CheckReport report;
    ASSERT_TRUE(CheckArchive(archive, report).Ok());
    EXPECT_TRUE(report.findings.empty()) << report.findings.front();
    EXPECT_EQ(report.readings, kCommitted * kBatch);
    EXPECT_EQ(testing::JsonLines(archive, {SensorKind::Outdoor, 2, false}).size(), 0u);
    // And it goes on being written.
    EXPECT_TRUE(archive.Write(Batch(2, 0, 10)).Ok());
    ::close(toParent[0]);
    ::close(toParent[1]);
    ::close(toChild[0]);
    ::close(toChild[1]);
}

TEST(ArchiveCrash, TwoProgramsWritingOneArchiveBothSucceed) {
    TempDir dir;
    const std::string path = dir.File("a.sqlite");
    {
        Archive archive;  // made before, so that neither child has to create it
        ASSERT_TRUE(archive.Open(path, Archive::Access::Write, 1000).Ok());
    }
    constexpr int kPolls = 300;
    constexpr int kPerPoll = 10;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            // As the sink writes: a transaction per poll, each waiting for the other's.
            Archive archive;
            if (!archive.Open(path, Archive::Access::Write, 5000).Ok()) {
                ::_exit(1);
            }
            for (int p = 0; p < kPolls; ++p) {
                if (!archive.Write(Batch(c, p * kPerPoll, kPerPoll)).Ok()) {
                    ::_exit(3);
                }
            }
            ::_exit(0);
        }
    }
    for (const pid_t child : children) {
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    Archive archive;
    ASSERT_TRUE(archive.Open(path, Archive::Access::Read, 1000).Ok());
    CheckReport report;
    ASSERT_TRUE(CheckArchive(archive, report).Ok());
    EXPECT_TRUE(report.findings.empty()) << report.findings.front();
    EXPECT_EQ(report.readings, 2 * kPolls * kPerPoll);
    EXPECT_EQ(report.sensors, 2);
}

}  // namespace
}  // namespace tavrolin
