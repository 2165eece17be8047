// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PosixFileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SmallDisk.h"
#include "TempDir.h"

namespace tavrolin {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

TEST(PosixFileSystem, AppendKeepsContentAndReportsTheLastByte) {
    TempDir dir;
    const std::string path = dir.File("log.dat");
    WriteBytes(path, "old\r\nunfinished");
    PosixFileSystem fs;
    FileError error = FileError::Other;
    auto file = fs.OpenForWriting(path, OpenMode::Append, error);
    ASSERT_TRUE(file);
    EXPECT_EQ(error, FileError::None);
    EXPECT_EQ(file->InitialSize(), 15u);
    EXPECT_EQ(file->InitialLastByte(), 'd');
    EXPECT_EQ(file->Write("new"), FileError::None);
    // Written straight through: visible before the file is closed.
    EXPECT_EQ(ReadBytes(path), "old\r\nunfinishednew");
    EXPECT_EQ(file->Close(), FileError::None);

    auto truncated = fs.OpenForWriting(path, OpenMode::Truncate, error);
    ASSERT_TRUE(truncated);
    EXPECT_EQ(ReadBytes(path), "");
    EXPECT_FALSE(truncated->InitialLastByte().has_value());
}

TEST(PosixFileSystem, SecondWriterIsRefusedUntilTheFirstCloses) {
    TempDir dir;
    const std::string path = dir.File("log.dat");
    PosixFileSystem fs;
    FileError error = FileError::None;
    auto first = fs.OpenForWriting(path, OpenMode::Append, error);
    ASSERT_TRUE(first);
    first->Write("kept");
    // Truncating must not touch the content the first writer holds.
    EXPECT_FALSE(fs.OpenForWriting(path, OpenMode::Truncate, error));
    EXPECT_EQ(error, FileError::Busy);
    EXPECT_EQ(ReadBytes(path), "kept");
    first->Close();
    EXPECT_TRUE(fs.OpenForWriting(path, OpenMode::Append, error));
}

TEST(PosixFileSystem, OnlyARegularFileIsOpenedAndNothingWaits) {
    TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        FileError error;
    };
    const std::vector<Case> cases = {
        {dir.File("no/such/folder.dat"), FileError::NotFound},
        {dir.Path().string(), FileError::Folder},
        {fifo, FileError::NotAFile},  // nobody reads it: opening it would wait for ever
        {"/dev/null", FileError::NotAFile},
        {"/dev/full", FileError::NotAFile},
    };
    PosixFileSystem fs;
    for (const Case& c : cases) {
        FileError error = FileError::None;
        EXPECT_FALSE(fs.OpenForWriting(c.path, OpenMode::Append, error)) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
    }
    // With a reader it would open, but the records would pass by and be gone.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    FileError error = FileError::None;
    EXPECT_FALSE(fs.OpenForWriting(fifo, OpenMode::Truncate, error));
    EXPECT_EQ(error, FileError::NotAFile);
    ::close(reader);
}

TEST(PosixFileSystem, AWriteAFullDiskCutsShortLeavesTheFileAsItWas) {
    testing::SmallDisk disk(64 * 1024);
    if (!disk.Mounted()) {
        GTEST_SKIP() << disk.Why();
    }
    const std::string path = disk.File("log.dat");
    PosixFileSystem fs;
    FileError error = FileError::None;
    auto file = fs.OpenForWriting(path, OpenMode::Append, error);
    ASSERT_TRUE(file);
    // Ten lines a write, 630 bytes: the last page of the disk takes only a part of one.
    std::string lines;
    for (int i = 0; i < 10; ++i) {
        lines += "(14:03:07.4) : (1.50s)  Pyranometer V1.2 (7)  1234 * 1  .....\r\n";
    }
    std::size_t whole = 0;
    FileError failed = FileError::None;
    while (failed == FileError::None && whole < 1024 * 1024) {
        failed = file->Write(lines);
        whole += failed == FileError::None ? lines.size() : 0;
    }
    EXPECT_EQ(failed, FileError::NoSpace);
    EXPECT_GT(whole, 0u);
    EXPECT_EQ(std::filesystem::file_size(path), whole);
    const std::string content = ReadBytes(path);
    EXPECT_TRUE(content.ends_with("\r\n"));
    EXPECT_EQ(file->Write(lines), FileError::NoSpace);
    EXPECT_EQ(std::filesystem::file_size(path), whole);
}

TEST(PosixFileSystem, ReplaceIsWhole) {
    TempDir dir;
    const std::string path = dir.File("p.INI");
    PosixFileSystem fs;
    FileError error = FileError::None;
    EXPECT_EQ(fs.ReplaceFile(path, "[SYSTEM]\r\nCOM=1\r\n"), FileError::None);
    EXPECT_EQ(fs.ReadFile(path, 100, error), "[SYSTEM]\r\nCOM=1\r\n");
    ::chmod(path.c_str(), 0600);
    EXPECT_EQ(fs.ReplaceFile(path, "x"), FileError::None);
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Only the file itself remains: no temporary left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_NE(fs.ReplaceFile(dir.File("missing/p.INI"), "x"), FileError::None);
}

// A reader can tell a missing file from one that is there but cannot be read, and a
// device or a FIFO is never opened (a FIFO without writer would block, a port would see
// its modem lines change).
TEST(PosixFileSystem, ReadTellsMissingFromUnreadable) {
    TempDir dir;
    PosixFileSystem fs;
    const std::string file = dir.File("p.INI");
    WriteBytes(file, "[SYSTEM]\r\n");
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string locked = dir.File("locked.INI");
    WriteBytes(locked, "x");
    ::chmod(locked.c_str(), 0);
    struct Case {
        std::string path;
        std::size_t limit;
        FileError expected;
    };
    std::vector<Case> cases = {
        {file, 100, FileError::None},
        {file, 9, FileError::TooBig},
        {dir.File("missing.INI"), 100, FileError::NotFound},
        {file + "/p.INI", 100, FileError::NotFound},
        {dir.Path().string(), 100, FileError::Folder},
        {fifo, 100, FileError::NotAFile},
        {"/dev/null", 100, FileError::NotAFile},
    };
    // Root reads whatever the permissions say.
    if (::geteuid() != 0) {
        cases.push_back({locked, 100, FileError::AccessDenied});
    }
    for (const Case& c : cases) {
        FileError error = FileError::Other;
        const std::optional<std::string> content = fs.ReadFile(c.path, c.limit, error);
        EXPECT_EQ(error, c.expected) << c.path;
        EXPECT_EQ(content.has_value(), c.expected == FileError::None) << c.path;
    }
}

}  // namespace
}  // namespace tavrolin
