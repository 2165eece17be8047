// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PosixFileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(PosixFileSystem, FailuresAreMapped) {
    TempDir dir;
    PosixFileSystem fs;
    FileError error = FileError::None;
    EXPECT_FALSE(fs.OpenForWriting(dir.File("no/such/folder.dat"), OpenMode::Append, error));
    EXPECT_EQ(error, FileError::NotFound);
    EXPECT_FALSE(fs.OpenForWriting(dir.Path().string(), OpenMode::Append, error));
    EXPECT_EQ(error, FileError::AccessDenied);

    auto full = fs.OpenForWriting("/dev/full", OpenMode::Append, error);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->Write("x"), FileError::NoSpace);
}

TEST(PosixFileSystem, ReplaceIsWholeAndReadIsBounded) {
    TempDir dir;
    const std::string path = dir.File("p.INI");
    PosixFileSystem fs;
    EXPECT_FALSE(fs.ReadFile(path, 100).has_value());
    EXPECT_EQ(fs.ReplaceFile(path, "[SYSTEM]\r\nCOM=1\r\n"), FileError::None);
    EXPECT_EQ(fs.ReadFile(path, 100), "[SYSTEM]\r\nCOM=1\r\n");
    EXPECT_FALSE(fs.ReadFile(path, 5).has_value());
    EXPECT_FALSE(fs.ReadFile(dir.Path().string(), 100).has_value());
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

}  // namespace
}  // namespace tavrolin
