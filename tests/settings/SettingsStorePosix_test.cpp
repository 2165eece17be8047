// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store on the real file system, in a temporary folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "TempDir.h"
#include "platform/posix/PosixFileSystem.h"
#include "settings/SettingsStore.h"

namespace tavrolin {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

std::size_t EntriesIn(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
}

// A full disk, as far as this process is concerned: writes to regular files beyond the
// limit fail with EFBIG (also for root, whom a read-only folder would not stop).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        ::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    sighandler_t m_oldHandler = nullptr;
};

TEST(SettingsStoreOnDisk, WritesAreReadBackAndEditsBetweenReadsAreSeen) {
    TempDir dir;
    const std::string path = dir.File("tavrolin.INI");
    PosixFileSystem fs;
    SettingsStore store(fs, path);
    EXPECT_EQ(store.ReadInt("SYSTEM", "Regen Adr", 7), 7);
    EXPECT_TRUE(store.WriteString("SYSTEM", "Filename", "Me\xDFwerte.dat"));
    EXPECT_TRUE(store.WriteInt("SYSTEM", "Links", -20));
    EXPECT_EQ(ReadBytes(path), "[SYSTEM]\r\nFilename=Me\xDFwerte.dat\r\nLinks=-20\r\n");

    // Edited by hand while the program runs: the next read sees it, the next write keeps it.
    WriteBytes(path, "# von Hand\n[system]\nlinks = 5\n[Ports]\nCOM1=/dev/ttyUSB0\n");
    EXPECT_EQ(store.ReadInt("SYSTEM", "Links", 0), 5);
    EXPECT_EQ(store.ReadString("SYSTEM", "Filename", "protokoll.dat"), "protokoll.dat");
    EXPECT_TRUE(store.WriteInt("SYSTEM", "COM", 1));
    EXPECT_EQ(ReadBytes(path),
              "# von Hand\r\n[system]\r\nlinks = 5\r\nCOM=1\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(SettingsStoreOnDisk, AFullDiskLeavesTheOldProfile) {
    TempDir dir;
    const std::string path = dir.File("tavrolin.INI");
    const std::string old = "[SYSTEM]\r\nCOM=1\r\n";
    WriteBytes(path, old);
    PosixFileSystem fs;
    SettingsStore store(fs, path);
    {
        FileSizeLimit limit(old.size() + 8);
        EXPECT_FALSE(store.WriteString("SYSTEM", "Filename", std::string(100, 'x')));
    }
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(SettingsStoreOnDisk, SomethingUnreadableInThePlaceOfTheProfileIsLeftAlone) {
    TempDir dir;
    PosixFileSystem fs;

    // Beyond the read limit (a sparse file: the size is what counts).
    const std::string big = dir.File("big.INI");
    const std::string head = "[SYSTEM]\r\nCOM=2\r\n";
    WriteBytes(big, head);
    std::filesystem::resize_file(big, SettingsStore::MaxReadBytes + 1);
    SettingsStore bigStore(fs, big);
    EXPECT_EQ(bigStore.ReadError(), FileError::TooBig);
    EXPECT_EQ(bigStore.ReadInt("SYSTEM", "COM", 0), 0);
    EXPECT_FALSE(bigStore.WriteInt("SYSTEM", "COM", 3));
    EXPECT_EQ(std::filesystem::file_size(big), SettingsStore::MaxReadBytes + 1);

    const std::string folder = dir.File("folder.INI");
    std::filesystem::create_directory(folder);
    WriteBytes(folder + "/inside", "kept");
    SettingsStore folderStore(fs, folder);
    EXPECT_EQ(folderStore.ReadError(), FileError::Folder);
    EXPECT_EQ(folderStore.ReadString("SYSTEM", "Filename", "protokoll.dat"), "protokoll.dat");
    EXPECT_FALSE(folderStore.WriteInt("SYSTEM", "COM", 3));
    EXPECT_EQ(ReadBytes(folder + "/inside"), "kept");
}

TEST(SettingsStoreOnDisk, AProfileOfSomeMegabytesIsRead) {
    TempDir dir;
    const std::string path = dir.File("tavrolin.INI");
    WriteBytes(path, "[SYSTEM]\r\n" + std::string(3 * SettingsStore::MaxWriteBytes, ';') +
                         "\r\nCOM=3\r\n");
    PosixFileSystem fs;
    const SettingsStore store(fs, path);
    EXPECT_EQ(store.ReadError(), FileError::None);
    EXPECT_EQ(store.ReadInt("SYSTEM", "COM", 0), 3);
}

}  // namespace
}  // namespace tavrolin
