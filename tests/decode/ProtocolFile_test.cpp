// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ProtocolFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FakeClocks.h"
#include "Presenting.h"
#include "TempDir.h"
#include "decode/TelegramDecoder.h"
#include "platform/posix/PosixFileSystem.h"

namespace tavrolin {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

constexpr std::array<uint8_t, 7> kOutdoor = {0x11, 0, 123, 67, 0, 0, 0x03};
constexpr std::array<uint8_t, 7> kFensterHigh = {0x70, 0, 0, 0, 0, 0, 0x03};
const std::string kOutdoorLine =
    "(14:03:07.4) : (0.00s)  Au\xDF"
    "en (1)   12.3\xB0  67%";
const std::string kFensterLine = "(14:03:07.4) : ++++ Fenster High 0.00 s";

// A protocol file on a temporary folder, with the decoder that feeds it and the list.
class ProtocolFileTest : public ::testing::Test {
protected:
    TempDir dir;
    PosixFileSystem fileSystem;
    ProtocolFile file{fileSystem};
    testing::FakeWallClock clock;
    TelegramDecoder decoder{clock, clock};
    MemoryList list;
};

TEST_F(ProtocolFileTest, RecordsReachTheFileAsCrLfLinesOfWindows1252Bytes) {
    const std::string path = dir.File("protokoll.dat");
    ASSERT_TRUE(file.OpenForAppend(path));
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(testing::DecodeAndPresent(decoder, kOutdoor, list, file, kAllRecordings), 0);
    EXPECT_EQ(testing::DecodeAndPresent(decoder, kFensterHigh, list, file, 0), 0);
    // Filtered: neither listed nor written.
    EXPECT_EQ(testing::DecodeAndPresent(decoder, kOutdoor, list, file, 0), -1);
    // On disk while the file is still open.
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes, kOutdoorLine + "\r\n" + kFensterLine + "\r\n");
    // 46 and 39 characters: the degree sign and the sharp s are one byte each.
    EXPECT_EQ(bytes.size(), 46u + 2 + 39 + 2);
    EXPECT_NE(bytes.find('\xB0'), std::string::npos);
    EXPECT_NE(bytes.find('\xDF'), std::string::npos);
    file.CloseFile();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.TakeFailure());
}

TEST(ProtocolFile, AppendingKeepsTheOldContentAndStartsOnANewLine) {
    struct Case {
        const char* name;
        std::optional<std::string> existing;  // nothing: no file yet
        std::string after;
    };
    const std::vector<Case> cases = {
        {"no file", std::nullopt, "A\r\nB\r\n"},
        {"empty file", "", "A\r\nB\r\n"},
        {"ends in CR LF", "old\r\n", "old\r\nA\r\nB\r\n"},
        {"ends in LF", "old\n", "old\nA\r\nB\r\n"},
        {"no line end", "old", "old\r\nA\r\nB\r\n"},
        {"binary tail", "old\xB0",
         "old\xB0"
         "\r\nA\r\nB\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("protokoll.dat");
        if (c.existing) {
            WriteBytes(path, *c.existing);
        }
        PosixFileSystem fileSystem;
        {
            ProtocolFile file(fileSystem);
            ASSERT_TRUE(file.OpenForAppend(path));
            // Opening alone writes nothing.
            EXPECT_EQ(ReadBytes(path), c.existing.value_or(""));
            file.CloseFile();
            ASSERT_TRUE(file.OpenForAppend(path));
            file.AppendRecordLine("A");
            file.AppendRecordLine("B");
            EXPECT_FALSE(file.TakeFailure());
        }
        EXPECT_EQ(ReadBytes(path), c.after);
    }
}

TEST_F(ProtocolFileTest, TruncatingEmptiesTheFile) {
    const std::string path = dir.File("protokoll.dat");
    WriteBytes(path, "old without line end");
    ASSERT_TRUE(file.OpenTruncated(path));
    EXPECT_EQ(ReadBytes(path), "");
    file.AppendRecordLine("A");
    EXPECT_EQ(ReadBytes(path), "A\r\n");
}

TEST(ProtocolFile, OnlyOneWriterHoldsTheFile) {
    TempDir dir;
    const std::string path = dir.File("protokoll.dat");
    PosixFileSystem fileSystem;
    ProtocolFile second(fileSystem);
    {
        ProtocolFile first(fileSystem);
        ASSERT_TRUE(first.OpenForAppend(path));
        EXPECT_FALSE(second.OpenForAppend(path));
        EXPECT_FALSE(second.IsOpen());
        EXPECT_FALSE(second.OpenTruncated(path));
        second.AppendRecordLine("lost");
        first.AppendRecordLine("kept");
    }  // destroying the first closes it
    EXPECT_TRUE(second.OpenForAppend(path));
    second.AppendRecordLine("second");
    EXPECT_EQ(ReadBytes(path), "kept\r\nsecond\r\n");
    EXPECT_FALSE(second.TakeFailure());
}

TEST_F(ProtocolFileTest, UnopenableFileLeavesRecordsInTheListOnly) {
    const std::string path = dir.File("missing/protokoll.dat");
    EXPECT_FALSE(file.OpenForAppend(path));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.OpenForAppend(dir.Path().string()));  // a folder
    EXPECT_EQ(testing::DecodeAndPresent(decoder, kOutdoor, list, file, kAllRecordings), 0);
    EXPECT_EQ(testing::DecodeAndPresent(decoder, kFensterHigh, list, file, kAllRecordings), 0);
    EXPECT_EQ(list.LineCount(), 2);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(file.TakeFailure());
}

// A file system whose one file fails as the test says and records what it is given.
struct ScriptedDisk {
    std::string content;  // before opening: the existing content
    FileError writeError = FileError::None;
    FileError closeError = FileError::None;
    int writes = 0;
};

class ScriptedOutputFile : public OutputFile {
public:
    explicit ScriptedOutputFile(ScriptedDisk& disk)
        : m_disk(disk), m_initialSize(disk.content.size()) {}
    std::size_t InitialSize() const override { return m_initialSize; }
    std::optional<char> InitialLastByte() const override {
        return m_initialSize == 0 ? std::nullopt : std::optional<char>(m_disk.content.back());
    }
    FileError Write(std::string_view bytes) override {
        ++m_disk.writes;
        if (m_disk.writeError == FileError::None) {
            m_disk.content += bytes;
        }
        return m_disk.writeError;
    }
    FileError Close() override { return m_disk.closeError; }

private:
    ScriptedDisk& m_disk;
    std::size_t m_initialSize;
};

class ScriptedFileSystem : public FileSystem {
public:
    std::unique_ptr<OutputFile> OpenForWriting(const std::string&, OpenMode mode,
                                               FileError& error) override {
        if (mode == OpenMode::Truncate) {
            disk.content.clear();
        }
        error = FileError::None;
        return std::make_unique<ScriptedOutputFile>(disk);
    }
    std::optional<std::string> ReadFile(const std::string&, std::size_t,
                                        FileError& error) override {
        error = FileError::NotFound;
        return {};
    }
    FileError ReplaceFile(const std::string&, std::string_view) override {
        return FileError::Other;
    }
    ScriptedDisk disk;
};

TEST(ProtocolFile, AFailedWriteOrCloseIsKeptOnceWithTheFullPathAndClosesTheFile) {
    const std::string cwd = std::filesystem::current_path().string();
    struct Case {
        std::string name;
        FileError writeError;
        FileError closeError;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"protokoll.dat", FileError::NoSpace, FileError::None,
         "Beim Zugriff auf " + cwd + "/protokoll.dat wurde ein voller Datenträger gemeldet."},
        {"./logs/../p.dat", FileError::Other, FileError::None,
         "Beim Schreiben von " + cwd + "/p.dat ist ein Fehler aufgetreten."},
        {"/var/log/prot\xF6koll.dat", FileError::AccessDenied, FileError::None,
         "Beim Schreiben von /var/log/protökoll.dat ist ein Fehler aufgetreten."},
        {"/var/log/protökoll.dat", FileError::None, FileError::NoSpace,
         "Beim Zugriff auf /var/log/protökoll.dat wurde ein voller Datenträger gemeldet."},
        {"/var/log/p.dat", FileError::None, FileError::Other,
         "Beim Schreiben von /var/log/p.dat ist ein Fehler aufgetreten."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ScriptedFileSystem fileSystem;
        fileSystem.disk.writeError = c.writeError;
        fileSystem.disk.closeError = c.closeError;
        ProtocolFile file(fileSystem);
        ASSERT_TRUE(file.OpenForAppend(c.name));
        file.AppendRecordLine("one");
        file.AppendRecordLine("two");  // after a failure the file is closed: not tried
        if (c.writeError == FileError::None) {
            EXPECT_TRUE(file.IsOpen());
            EXPECT_FALSE(file.TakeFailure());
            file.CloseFile();
        }
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(fileSystem.disk.writes, c.writeError == FileError::None ? 2 : 1);
        const std::optional<FileFailure> failure = file.TakeFailure();
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->error, c.writeError == FileError::None ? c.closeError : c.writeError);
        EXPECT_EQ(FileFailureText(*failure), c.text);
        EXPECT_FALSE(file.TakeFailure()) << "told once";
    }
}

TEST(ProtocolFile, TheLinesOfAPollAreOneWriteIncludingTheMendedLineEnd) {
    ScriptedFileSystem fileSystem;
    fileSystem.disk.content = "unfinished";
    ProtocolFile file(fileSystem);
    ASSERT_TRUE(file.OpenForAppend("p.dat"));
    EXPECT_TRUE(file.WriteQueued()) << "nothing queued, nothing written";
    EXPECT_EQ(fileSystem.disk.writes, 0);
    for (const char* line : {"first", "second", "third"}) {
        file.QueueRecordLine(line);
    }
    EXPECT_EQ(fileSystem.disk.writes, 0);
    EXPECT_TRUE(file.WriteQueued());
    EXPECT_EQ(fileSystem.disk.writes, 1);
    EXPECT_EQ(fileSystem.disk.content, "unfinished\r\nfirst\r\nsecond\r\nthird\r\n");

    // What is queued at the close is written before the file goes.
    file.QueueRecordLine("last");
    file.CloseFile();
    EXPECT_EQ(fileSystem.disk.writes, 2);
    EXPECT_TRUE(fileSystem.disk.content.ends_with("third\r\nlast\r\n"));
}

}  // namespace
}  // namespace tavrolin
