// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/ProtocolFileChoice.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FakeClocks.h"
#include "FakeFileChooser.h"
#include "MemoryFileSystem.h"
#include "Presenting.h"
#include "TempDir.h"
#include "decode/TelegramDecoder.h"
#include "platform/posix/PosixFileSystem.h"

namespace tavrolin {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

constexpr std::array<uint8_t, 7> kFensterLow = {0x71, 0, 0, 0, 0, 0, 0x03};
const std::string kFensterLine = "(14:03:07.4) : ---- Fenster Low 0.00 s\r\n";

// The window's side of ". . .": the name in its field, the list, the file, the decoder that
// keeps running on the timer.
struct Window {
    Window() : name(dir.File("protokoll.dat")) {}
    void Receive() { testing::DecodeAndPresent(decoder, kFensterLow, list, file, kAllRecordings); }
    bool Choose() { return ChooseProtocolFile(chooser, name, file); }

    testing::TempDir dir;
    std::string name;
    PosixFileSystem fileSystem;
    ProtocolFile file{fileSystem};
    testing::FakeWallClock clock;
    TelegramDecoder decoder{clock, clock};
    MemoryList list;
    testing::FakeFileChooser chooser;
};

TEST(ChooseProtocolFile, ShowsTheDatAndAllFilesFilters) {
    Window w;
    w.Choose();
    const std::vector<FileFilter> expected = {{"*.dat", "*.dat"}, {"Alle Dateien (*.*)", "*.*"}};
    ASSERT_EQ(w.chooser.shownFilters.size(), 1u);
    EXPECT_EQ(w.chooser.shownFilters[0], expected);
}

TEST(ChooseProtocolFile, CancelChangesNeitherNameNorFile) {
    for (const std::optional<std::string>& answer :
         {std::optional<std::string>(), std::optional<std::string>("")}) {
        Window w;
        const std::string before = w.name;
        ASSERT_TRUE(w.file.OpenForAppend(w.name));
        w.Receive();
        w.chooser.answer = answer;
        EXPECT_FALSE(w.Choose());
        EXPECT_EQ(w.name, before);
        EXPECT_TRUE(w.file.IsOpen());
        w.Receive();
        EXPECT_EQ(ReadBytes(w.name), kFensterLine + kFensterLine);
    }
}

TEST(ChooseProtocolFile, ChosenFileIsAppendedToAndTheOldOneReleased) {
    Window w;
    const std::string old = w.name;
    const std::string chosen = w.dir.File("other.dat");
    WriteBytes(chosen, "earlier run\r\n");
    ASSERT_TRUE(w.file.OpenForAppend(old));
    w.chooser.answer = chosen;
    // What the timer decodes while the dialog is open still goes to the old file.
    w.chooser.whileOpen = [&] { w.Receive(); };
    EXPECT_TRUE(w.Choose());
    EXPECT_EQ(w.name, chosen);
    EXPECT_TRUE(w.file.IsOpen());
    w.Receive();
    EXPECT_EQ(ReadBytes(old), kFensterLine);
    EXPECT_EQ(ReadBytes(chosen), "earlier run\r\n" + kFensterLine);
    // The old file is free again.
    ProtocolFile other(w.fileSystem);
    EXPECT_TRUE(other.OpenForAppend(old));
}

TEST(ChooseProtocolFile, ChoosingTheOpenFileKeepsItsContent) {
    Window w;
    ASSERT_TRUE(w.file.OpenForAppend(w.name));
    w.Receive();
    w.chooser.answer = w.name;
    EXPECT_TRUE(w.Choose());
    EXPECT_TRUE(w.file.IsOpen());
    w.Receive();
    EXPECT_EQ(ReadBytes(w.name), kFensterLine + kFensterLine);
}

TEST(ChooseProtocolFile, NewNameIsCreatedAndAClosedFileIsOpened) {
    Window w;
    const std::string chosen = w.dir.File("neu.dat");
    w.chooser.answer = chosen;
    EXPECT_TRUE(w.Choose());
    w.Receive();
    EXPECT_EQ(ReadBytes(chosen), kFensterLine);
}

TEST(ChooseProtocolFile, UnopenableChoiceKeepsTheNameAndTheListGoesOn) {
    Window w;
    ASSERT_TRUE(w.file.OpenForAppend(w.name));
    const std::string chosen = w.dir.File("missing/neu.dat");
    w.chooser.answer = chosen;
    EXPECT_TRUE(w.Choose());
    EXPECT_EQ(w.name, chosen);
    EXPECT_FALSE(w.file.IsOpen());
    w.Receive();
    EXPECT_EQ(w.list.LineCount(), 1);
    EXPECT_EQ(ReadBytes(w.dir.File("protokoll.dat")), "");
    EXPECT_FALSE(w.file.TakeFailure());
}

TEST(ChooseProtocolFile, WritingResumesAfterAFullDisk) {
    testing::MemoryFileSystem disk;
    ProtocolFile file(disk);
    testing::FakeWallClock clock;
    TelegramDecoder decoder(clock, clock);
    MemoryList list;
    testing::FakeFileChooser chooser;
    std::string name = "/voll/protokoll.dat";
    const auto receive = [&] {
        testing::DecodeAndPresent(decoder, kFensterLow, list, file, kAllRecordings);
    };
    ASSERT_TRUE(file.OpenForAppend(name));
    disk.writeError = FileError::NoSpace;
    receive();
    receive();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.TakeFailure());
    disk.writeError = FileError::None;
    chooser.answer = "/frei/protokoll.dat";
    EXPECT_TRUE(ChooseProtocolFile(chooser, name, file));
    receive();
    receive();
    EXPECT_EQ(disk.files["/frei/protokoll.dat"], kFensterLine + kFensterLine);
    EXPECT_EQ(disk.files["/voll/protokoll.dat"], "");
    EXPECT_EQ(list.LineCount(), 4);
    EXPECT_FALSE(file.TakeFailure());
}

}  // namespace
}  // namespace tavrolin
