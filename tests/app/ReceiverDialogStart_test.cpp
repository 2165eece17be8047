// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "AddressWordDecoder.h"
#include "ReceiverWindowFixture.h"

namespace tavrolin {
namespace {

using testing::kStartFrame;
using testing::LineCall;

class ReceiverWindowStart : public testing::ReceiverWindowTest {};

TEST_F(ReceiverWindowStart, AFirstStartWithoutProfileRunsOnTheDefaults) {
    Open();

    // Connected on COM1 and started: one start frame, acknowledged, and the timer runs.
    EXPECT_EQ(OpenedPort(), "COM1");
    EXPECT_EQ(device.Writes(), std::vector<testing::Bytes>{kStartFrame});
    EXPECT_EQ(dialog.Connected(), 1);
    EXPECT_EQ(view.tickMs, 50);
    EXPECT_EQ(view.port, 0);
    EXPECT_TRUE(device.changes.empty());  // no multiplexer

    // Multiplexer off: its address "0", and it cannot be chosen.
    EXPECT_FALSE(view.useMultiplexer);
    EXPECT_EQ(view.muxAddress, "0");
    EXPECT_FALSE(view.IsEnabled("Auswählen"));

    EXPECT_EQ(view.recording, kAllRecordings);
    for (const SensorAddress field : {SensorAddress::Rain, SensorAddress::Wind,
                                      SensorAddress::Brightness, SensorAddress::Pyrano}) {
        EXPECT_EQ(view.Address(field), "7");
    }

    // The protocol file is open for appending: what it held stays.
    EXPECT_EQ(view.fileName, "protokoll.dat");
    EXPECT_TRUE(dialog.File().IsOpen());
    EXPECT_EQ(files.files.count("protokoll.dat"), 1u);

    // Centred on the screen.
    EXPECT_EQ(view.position.left, (view.kScreenWidth - view.kWidth) / 2);
    EXPECT_EQ(view.position.top, (view.kScreenHeight - view.kHeight) / 2);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(files.replaceCount, 0);  // nothing is written at start
    EXPECT_EQ(view.focus, "list");
}

TEST_F(ReceiverWindowStart, TheSavedPositionIsAppliedAsItIsUnlessItIsTheScreensOrigin) {
    struct Row {
        std::vector<std::string> lines;
        int left;
        int top;
        bool centred;
    };
    const std::vector<Row> rows = {
        {{"Links=100", "Oben=-20"}, 100, -20, false},
        {{"Links=0", "Oben=0"}, 0, 0, true},
        {{"Links=0", "Oben=5"}, 0, 5, false},
        {{"Links=99999999999", "Oben=-99999999999"}, 2147483647, -2147483647 - 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.lines));
        const testing::FakeReceiverView& fresh = Reopen(row.lines);
        const ScreenPoint centre = {(fresh.kScreenWidth - fresh.kWidth) / 2,
                                    (fresh.kScreenHeight - fresh.kHeight) / 2};
        const ScreenPoint expected = row.centred ? centre : ScreenPoint{row.left, row.top};
        EXPECT_EQ(fresh.position.left, expected.left);
        EXPECT_EQ(fresh.position.top, expected.top);
        dialog.OnCancelCommand();
    }
}

TEST_F(ReceiverWindowStart, AStoredMultiplexerIsSelectedBeforeTheStartCommand) {
    SetProfile({"COM=2", "Mit MUX=1", "MUX Adresse=35"});
    Open();
    EXPECT_EQ(OpenedPort(), "COM3");
    EXPECT_EQ(view.port, 2);
    EXPECT_EQ(view.useMultiplexer, 1);
    EXPECT_EQ(view.muxAddress, "35");
    EXPECT_TRUE(view.IsEnabled("Auswählen"));
    EXPECT_EQ(mux.Stage1Port(), 3);
    EXPECT_EQ(mux.Stage2Port(), 5);

    // The address words went out before the start frame.
    std::vector<testing::LineChange> before;
    for (const LineCall& call : device.calls) {
        if (call.kind == LineCall::Kind::Write) {
            break;
        }
        if (call.kind == LineCall::Kind::Dtr || call.kind == LineCall::Kind::Rts) {
            before.push_back({call.kind == LineCall::Kind::Dtr ? testing::LineChange::Line::Dtr
                                                               : testing::LineChange::Line::Rts,
                              call.high});
        }
    }
    EXPECT_EQ(testing::DecodeAddressWords(before).value_or(std::vector<uint16_t>{}),
              (std::vector<uint16_t>{AddressWord(3), AddressWord(5 | 8)}));
    EXPECT_EQ(device.Writes(), std::vector<testing::Bytes>{kStartFrame});
}

TEST_F(ReceiverWindowStart, AMultiplexerAddressBeyondItsRangeBecomesZero) {
    for (const char* stored : {"70", "-5", "67", "2147483648"}) {
        SCOPED_TRACE(stored);
        mux.SetAddress(35);
        const testing::FakeReceiverView& fresh =
            Reopen({"Mit MUX=1", std::string("MUX Adresse=") + stored});
        EXPECT_EQ(fresh.muxAddress, "0");
        EXPECT_EQ(dialog.Settings().muxAddress, 0);
        // The connect selects address 0: the reset word alone.
        EXPECT_EQ(WordsSince(0), testing::Words{AddressWord(0)});
        dialog.OnCloseRequest();
        EXPECT_EQ(ProfileValue("MUX Adresse"), "0");
    }
}

TEST_F(ReceiverWindowStart, AnInvalidPortLeavesNoSelectionAndNoTimer) {
    SetProfile({"COM=7"});
    Open();
    EXPECT_EQ(view.port, -1);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Fehler beim Öffnen der Schnittstelle");
    EXPECT_EQ(messages.messages[0].text, "Ungültiger COM-Port");
    EXPECT_EQ(dialog.Connected(), 0);
    EXPECT_FALSE(view.Ticking());
    EXPECT_EQ(Opens(), 0);

    // Without a timer nothing polls; the window stays usable and a port choice connects.
    view.SelectPort(0);
    EXPECT_EQ(OpenedPort(), "COM1");
    EXPECT_TRUE(view.Ticking());
    EXPECT_EQ(dialog.Settings().comPort, 0);
    EXPECT_EQ(messages.messages.size(), 1u);
}

TEST_F(ReceiverWindowStart, AFailedConnectLeavesTheProgramIdleUntilAnotherPortIsChosen) {
    device.openError = LineError::InUse;
    Open();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Die Schnittstelle ist bereits geöffnet");
    EXPECT_FALSE(view.Ticking());
    EXPECT_TRUE(device.Writes().empty());

    // Another try on the same port fails the same way and starts nothing.
    view.SelectPort(0);
    EXPECT_EQ(messages.messages.size(), 2u);
    EXPECT_FALSE(view.Ticking());
    EXPECT_TRUE(device.Writes().empty());

    device.openError = LineError::None;
    view.SelectPort(1);
    EXPECT_EQ(OpenedPort(), "COM2");
    EXPECT_EQ(device.Writes(), std::vector<testing::Bytes>{kStartFrame});
    EXPECT_TRUE(view.Ticking());

    device.Receive(testing::Outdoor(4));
    dialog.OnTick();
    EXPECT_EQ(view.list.LineCount(), 1);
}

TEST_F(ReceiverWindowStart, AReceiverThatDoesNotAcknowledgeIsPolledAllTheSame) {
    receiverAnswers = false;
    Open();
    // Two attempts of the start frame, then the timer anyway.
    EXPECT_EQ(device.Writes().size(), 2u);
    EXPECT_TRUE(view.Ticking());
}

TEST_F(ReceiverWindowStart, WrongProfileValuesGiveTheirRulesNeverACrash) {
    struct Row {
        std::vector<std::string> lines;
        std::string port;    // opened port, "" for none
        bool useMux;         // the check box
        int recordingBoxes;  // how many are ticked
        std::string fileName;
        bool fileOpen;
    };
    const std::vector<Row> rows = {
        {{"COM=abc", "Mit MUX=yes", "Protokoll=all"}, "COM1", 0, 0, "protokoll.dat", true},
        {{"COM=99999999999999999999"}, "", 0, 21, "protokoll.dat", true},
        {{"COM=-1", "Mit MUX=-7"}, "", 1, 21, "protokoll.dat", true},
        {{"Protokoll=5"}, "COM1", 0, 2, "protokoll.dat", true},
        {{"Protokoll=-2097152"}, "COM1", 0, 0, "protokoll.dat", true},  // bits 21..31 only
        {{"Filename="}, "COM1", 0, 21, "", false},
        {{"Filename=\"\""}, "COM1", 0, 21, "", false},
        {{"Filename=log.dat", "Regen Adr=x", "Wind Adr=-99999999999"},
         "COM1",
         0,
         21,
         "log.dat",
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.lines));
        const testing::FakeReceiverView& fresh = Reopen(row.lines);
        EXPECT_EQ(OpenedPort(), row.port);
        EXPECT_EQ(messages.messages.size(), row.port.empty() ? 1u : 0u);
        EXPECT_EQ(fresh.useMultiplexer, row.useMux);
        EXPECT_EQ(std::popcount(fresh.recording), row.recordingBoxes);
        EXPECT_EQ(fresh.fileName, row.fileName);
        EXPECT_EQ(dialog.File().IsOpen(), row.fileOpen);

        // The numbers go back as they were read, however odd.
        std::map<std::string, std::string> asRead;
        for (const char* key : {"COM", "Mit MUX", "Protokoll", "Wind Adr"}) {
            asRead[key] = std::to_string(settings.ReadInt("SYSTEM", key, -12345));
        }
        dialog.OnCloseRequest();
        for (const auto& [key, value] : asRead) {
            if (value != "-12345") {
                EXPECT_EQ(ProfileValue(key), value) << key;
            }
        }
    }
}

TEST_F(ReceiverWindowStart, AProfileFileNameInWindowsBytesIsShownReadable) {
    SetProfile({"Filename=Me\xDFwerte.dat"});
    Open();
    EXPECT_EQ(view.fileName, "Meßwerte.dat");
    EXPECT_EQ(dialog.Settings().protocolFileName,
              "Me\xDFwerte.dat");  // the name itself stays bytes
    EXPECT_EQ(files.files.count("Me\xDFwerte.dat"), 1u);
}

TEST_F(ReceiverWindowStart, AProtocolFileThatCannotBeOpenedAtStartIsSilent) {
    files.openError = FileError::AccessDenied;
    Open();
    EXPECT_FALSE(dialog.File().IsOpen());
    EXPECT_TRUE(messages.messages.empty());
    ReceiveAndTick({testing::Outdoor(2)});
    EXPECT_EQ(view.list.LineCount(), 1);
    EXPECT_EQ(files.files.count("protokoll.dat"), 0u);
}

}  // namespace
}  // namespace tavrolin
