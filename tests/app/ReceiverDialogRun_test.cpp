// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AddressWordDecoder.h"
#include "ReceiverWindowFixture.h"

namespace tavrolin {
namespace {

using testing::Bytes;
using testing::FakeMultiplexerView;
using testing::FakeReceiverView;
using testing::kStartFrame;
using testing::kStopFrame;
using testing::LineCall;
using testing::Outdoor;
using testing::Words;

class ReceiverWindowRun : public testing::ReceiverWindowTest {
protected:
    // The outdoor addresses of the listed records, in list order ("Außen (3) ...").
    std::string ListedAddresses() const {
        std::string out;
        for (const std::string& line : view.list.Lines()) {
            const std::size_t at = line.find('(', line.find("Außen"));
            out += line.at(at + 1);
        }
        return out;
    }
    std::size_t FileLines() const {
        const std::string& content = files.files.at("protokoll.dat");
        return static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n'));
    }
};

TEST_F(ReceiverWindowRun, EachTickPollsAndRecordsGoToListAndFile) {
    Open();
    ReceiveAndTick({Outdoor(1), Outdoor(2)});
    EXPECT_EQ(ListedAddresses(), "12");
    EXPECT_EQ(FileLines(), 2u);
    dialog.OnTick();  // nothing new
    EXPECT_EQ(ListedAddresses(), "12");
    EXPECT_FALSE(dialog.PollBusy());
}

TEST_F(ReceiverWindowRun, ARecordingBoxFiltersFromTheNextTickWithoutReconnecting) {
    Open();
    device.ClearRecord();
    view.Click("box 1");  // outdoor sensor 1 off
    EXPECT_EQ(dialog.Settings().recordingMask, 0x1FFFFF & ~0x2);
    EXPECT_TRUE(device.calls.empty());  // no stop, no close, no open
    EXPECT_TRUE(view.Ticking());

    ReceiveAndTick({Outdoor(1), Outdoor(2), Outdoor(1)});
    EXPECT_EQ(ListedAddresses(), "2");
    EXPECT_EQ(FileLines(), 1u);

    view.Click("box 1");  // and on again
    ReceiveAndTick({Outdoor(1)});
    EXPECT_EQ(ListedAddresses(), "21");
}

TEST_F(ReceiverWindowRun, TheMaskIsWrittenBackAsReadUntilABoxIsClicked) {
    struct Row {
        std::vector<std::string> profile;
        int clicks;  // clicks on box 1014
        const char* written;
    };
    const std::vector<Row> rows = {
        {{}, 0, "-1"},
        {{}, 2, "2097151"},                       // all 21 ticked again: only bits 0..20
        {{"Protokoll=-2097147"}, 0, "-2097147"},  // bits above 20 stay while nothing is clicked
        {{"Protokoll=-2097147"}, 1, "4"},         // bits 0 and 2; box 0 clicked off
        {{"Protokoll=0"}, 1, "1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.profile));
        FakeReceiverView& fresh = Reopen(row.profile);
        for (int i = 0; i < row.clicks; ++i) {
            fresh.Click("box 0");
        }
        dialog.OnOkCommand();
        EXPECT_EQ(ProfileValue("Protokoll"), row.written);
    }
}

TEST_F(ReceiverWindowRun, UsingTheMultiplexerReconnectsEveryTime) {
    SetProfile({"MUX Adresse=23"});
    Open();
    EXPECT_FALSE(view.IsEnabled("Auswählen"));

    std::size_t mark = device.calls.size();
    view.Click("verwenden");
    EXPECT_EQ(dialog.Settings().useMultiplexer, 1);
    EXPECT_TRUE(view.IsEnabled("Auswählen"));
    EXPECT_TRUE(view.IsEnabled("Auswählen"));
    EXPECT_EQ(device.Writes(), (std::vector<Bytes>{kStartFrame, kStopFrame, kStartFrame}));
    EXPECT_EQ(Opens(), 2);
    // The old connection had no multiplexer, so no reset word; the new one selects 23.
    EXPECT_EQ(WordsSince(mark), (Words{AddressWord(2), AddressWord(3 | 8)}));
    EXPECT_TRUE(view.Ticking());

    mark = device.calls.size();
    view.Click("verwenden");
    EXPECT_EQ(dialog.Settings().useMultiplexer, 0);
    EXPECT_FALSE(view.IsEnabled("Auswählen"));
    EXPECT_EQ(Opens(), 3);
    EXPECT_EQ(WordsSince(mark), Words{AddressWord(0)});  // the reset as it ends
    EXPECT_EQ(view.muxAddress, "23");
}

TEST_F(ReceiverWindowRun, ChoosingAPortReconnectsOnIt) {
    Open();
    view.SelectPort(3);
    EXPECT_EQ(OpenedPort(), "COM4");
    EXPECT_EQ(device.Writes(), (std::vector<Bytes>{kStartFrame, kStopFrame, kStartFrame}));
    EXPECT_EQ(dialog.Settings().comPort, 3);
    dialog.OnOkCommand();
    EXPECT_EQ(ProfileValue("COM"), "3");
}

TEST_F(ReceiverWindowRun, ClearingTheListLeavesTheProtocolFileAlone) {
    files.files["protokoll.dat"] = "old line\r\n";
    Open();
    ReceiveAndTick({Outdoor(1), Outdoor(2)});
    const std::string written = files.files["protokoll.dat"];

    view.Click("Liste löschen");
    EXPECT_EQ(view.list.LineCount(), 0);
    EXPECT_EQ(files.files["protokoll.dat"], written);
    EXPECT_TRUE(dialog.File().IsOpen());

    ReceiveAndTick({Outdoor(3)});
    EXPECT_EQ(ListedAddresses(), "3");
    EXPECT_EQ(view.list.CurrentLine(), 0);
    EXPECT_EQ(FileLines(), 4u);
    EXPECT_EQ(files.files["protokoll.dat"].rfind("old line\r\n", 0), 0u);
}

TEST_F(ReceiverWindowRun, TheMultiplexerDialogShowsTheStoredAddressAndItsChoiceReconnects) {
    struct Row {
        const char* stored;
        int stage1;  // the ports shown, 0 for none
        int stage2;
        bool twoStage;
        std::vector<int> clicks;  // stage * 10 + port for a port button, 0 for "Zweistufig"
        bool ok;
        int address;
    };
    const std::vector<Row> rows = {
        {"35", 3, 5, true, {}, true, 35},
        {"4", 4, 0, false, {}, true, 4},
        {"0", 0, 0, false, {}, true, 0},
        {"35", 3, 5, true, {12}, false, 25},  // "&Abbruch" still applies the change
        {"4", 4, 0, false, {0}, true, 40},
        {"0", 0, 0, false, {0, 25}, false, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.stored) + (row.ok ? " OK" : " Abbruch"));
        FakeReceiverView& fresh = Reopen({"Mit MUX=1", std::string("MUX Adresse=") + row.stored});

        int shown1 = -1;
        int shown2 = -1;
        bool shownTwoStage = !row.twoStage;
        fresh.runMultiplexer =
            FakeReceiverView::MultiplexerRun([&](FakeMultiplexerView& v, MultiplexerDialog& d) {
                shown1 = v.CheckedPort(1);
                shown2 = v.CheckedPort(2);
                shownTwoStage = v.twoStage;
                for (const int click : row.clicks) {
                    if (click == 0) {
                        v.ClickTwoStage(d);
                    } else {
                        v.ClickPort(d, click / 10, click % 10);
                    }
                }
                if (row.ok) {
                    v.ClickOk(d);
                } else {
                    v.ClickCancel(d);
                }
            });
        const std::size_t mark = device.calls.size();
        const int opensBefore = Opens();
        fresh.Click("Auswählen");

        EXPECT_EQ(fresh.multiplexerRuns, 1);
        EXPECT_EQ(shown1, row.stage1);
        EXPECT_EQ(shown2, row.stage2);
        EXPECT_EQ(shownTwoStage, row.twoStage);
        EXPECT_EQ(dialog.Settings().muxAddress, row.address);
        EXPECT_EQ(fresh.muxAddress, std::to_string(row.address));
        // Reconnected: the reset word of the old connection, then the new address.
        EXPECT_EQ(Opens(), opensBefore + 1);
        Words expected = {AddressWord(0)};
        const int tens = row.address / 10;
        const int units = row.address % 10;
        expected.push_back(AddressWord(static_cast<uint8_t>(tens == 0 ? units : tens)));
        if (tens != 0 && units != 0) {
            expected.push_back(AddressWord(static_cast<uint8_t>(units | 8)));
        }
        EXPECT_EQ(WordsSince(mark), expected);
        dialog.OnOkCommand();
        EXPECT_EQ(ProfileValue("MUX Adresse"), std::to_string(row.address));
    }
}

TEST_F(ReceiverWindowRun, ReceptionGoesOnWhileTheMultiplexerDialogIsShown) {
    SetProfile({"Mit MUX=1", "MUX Adresse=2"});
    Open();
    view.runMultiplexer =
        FakeReceiverView::MultiplexerRun([this](FakeMultiplexerView& v, MultiplexerDialog& d) {
            ReceiveAndTick({Outdoor(5)});
            EXPECT_EQ(ListedAddresses(), "5");
            v.ClickOk(d);
        });
    view.Click("Auswählen");
    EXPECT_EQ(ListedAddresses(), "5");
    EXPECT_EQ(FileLines(), 1u);
}

TEST_F(ReceiverWindowRun, TheDialogOpensOnTheShownAddressAfterAFailedReconnect) {
    SetProfile({"Mit MUX=1", "MUX Adresse=35"});
    Open();
    // Another program holds the next port: the disconnect reset the multiplexer, the
    // connect failed before it could select 35 again.
    device.openError = LineError::InUse;
    view.SelectPort(1);
    ASSERT_EQ(dialog.Connected(), 0);
    EXPECT_EQ(view.muxAddress, "35");

    int shown = 0;
    view.runMultiplexer =
        FakeReceiverView::MultiplexerRun([&](FakeMultiplexerView& v, MultiplexerDialog& d) {
            shown = v.CheckedPort(1);
            v.ClickCancel(d);
        });
    view.Click("Auswählen");
    EXPECT_EQ(shown, 3);
    EXPECT_EQ(dialog.Settings().muxAddress, 35);
}

TEST_F(ReceiverWindowRun, AFullDiskIsToldOnceAfterThePollWithoutHoldingUpTheTicks) {
    Open();
    files.writeError = FileError::NoSpace;
    ReceiveAndTick({Outdoor(1), Outdoor(2)});
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_FALSE(messages.messages[0].waited) << "the next tick must not wait for the user";
    EXPECT_EQ(messages.messages[0].caption, "Tavrolin");
    EXPECT_EQ(messages.messages[0].text,
              "Beim Zugriff auf " + std::filesystem::current_path().string() +
                  "/protokoll.dat wurde ein voller Datenträger gemeldet.");
    EXPECT_EQ(files.writeCount, 1) << "one write for the poll, then the file is closed";
    EXPECT_FALSE(dialog.File().IsOpen());

    ReceiveAndTick({Outdoor(6)});
    ReceiveAndTick({Outdoor(3)});
    EXPECT_EQ(ListedAddresses(), "1263");
    EXPECT_EQ(messages.messages.size(), 1u);
}

TEST_F(ReceiverWindowRun, AChosenProtocolFileTakesTheRecordsFromThenOn) {
    Open();
    ReceiveAndTick({Outdoor(1)});
    chooser.answer = "/data/wetter.dat";
    chooser.whileOpen = [this] { ReceiveAndTick({Outdoor(2)}); };  // still the old file
    view.Click(". . .");
    EXPECT_EQ(view.fileName, "/data/wetter.dat");
    EXPECT_EQ(dialog.Settings().protocolFileName, "/data/wetter.dat");
    ReceiveAndTick({Outdoor(3)});
    EXPECT_EQ(FileLines(), 2u);
    EXPECT_NE(files.files["/data/wetter.dat"].find("(3)"), std::string::npos);
    EXPECT_TRUE(messages.messages.empty());

    dialog.OnOkCommand();
    EXPECT_EQ(ProfileValue("Filename"), "/data/wetter.dat");
}

TEST_F(ReceiverWindowRun, CancellingTheFileChoiceChangesNothing) {
    Open();
    chooser.answer.reset();
    view.Click(". . .");
    EXPECT_EQ(view.fileName, "protokoll.dat");
    EXPECT_TRUE(dialog.File().IsOpen());
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ReceiverWindowRun, AChosenFileThatCannotBeOpenedIsToldAndRecordsGoToTheListOnly) {
    Open();
    files.openError = FileError::AccessDenied;
    chooser.answer = "/readonly/wetter.dat";
    view.Click(". . .");

    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Tavrolin");
    EXPECT_EQ(messages.messages[0].text,
              "Die Protokolldatei /readonly/wetter.dat läßt sich nicht öffnen.");
    EXPECT_EQ(messages.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_FALSE(dialog.File().IsOpen());
    EXPECT_EQ(view.fileName, "/readonly/wetter.dat");

    const std::string before = files.files["protokoll.dat"];
    ReceiveAndTick({Outdoor(4)});
    EXPECT_EQ(ListedAddresses(), "4");
    EXPECT_EQ(files.files["protokoll.dat"], before);
    EXPECT_EQ(files.files.count("/readonly/wetter.dat"), 0u);

    // A working choice resumes writing.
    files.openError = FileError::None;
    chooser.answer = "/data/wetter.dat";
    view.Click(". . .");
    EXPECT_EQ(messages.messages.size(), 1u);
    ReceiveAndTick({Outdoor(5)});
    EXPECT_NE(files.files["/data/wetter.dat"].find("(5)"), std::string::npos);
}

}  // namespace
}  // namespace tavrolin

namespace tavrolin {
namespace {

TEST_F(ReceiverWindowRun, ALostPortShowsInTheTitleAndComesBackInTheBackgroundWithoutABox) {
    Open();
    // Pulled: the poll finds the device gone, and its node with it.
    device.gone = true;
    device.openError = LineError::CannotOpen;
    dialog.OnTick();
    EXPECT_EQ(view.title, "Tavrolin – keine Verbindung (COM 1)");
    EXPECT_TRUE(view.Ticking()) << "the timer drives the retries";
    // Ticks for 65 s: the retries are quiet, the title is set once.
    for (int tick = 0; tick < 1300; ++tick) {
        wall.AdvanceMs(50);
        dialog.OnTick();
    }
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(view.titlesShown, 1);
    EXPECT_EQ(Opens(), 1 + 6) << "after 1, 2, 4, 8, 16 and 30 s";

    // Plugged in again: reconnected with the start command, the title back, records flow.
    device.openError = LineError::None;
    device.ClearRecord();
    wall.AdvanceMs(30000);
    dialog.OnTick();
    EXPECT_EQ(view.title, "Tavrolin");
    EXPECT_EQ(device.Writes(), std::vector<Bytes>{kStartFrame});
    ReceiveAndTick({Outdoor(3)});
    EXPECT_EQ(ListedAddresses(), "3");

    // Lost again, and the user picks another port meanwhile, which cannot be opened: one
    // box, then the window idles as after any failed connect, with its plain title.
    device.gone = true;
    dialog.OnTick();
    EXPECT_EQ(view.title, "Tavrolin – keine Verbindung (COM 1)");
    device.openError = LineError::CannotOpen;
    view.SelectPort(2);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Die Schnittstelle läßt sich nicht öffnen");
    EXPECT_EQ(view.title, "Tavrolin");
    EXPECT_FALSE(view.Ticking());
    const int opens = Opens();
    wall.AdvanceMs(600000);
    dialog.OnTick();
    EXPECT_EQ(Opens(), opens) << "no retry of a port the user chose";
}

}  // namespace
}  // namespace tavrolin
