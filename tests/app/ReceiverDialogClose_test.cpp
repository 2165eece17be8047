// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ReceiverWindowFixture.h"
#include "app/ReceiverApp.h"

namespace tavrolin {
namespace {

using testing::Bytes;
using testing::kStartFrame;
using testing::kStopFrame;
using testing::Outdoor;
using Entries = std::vector<std::pair<std::string, std::string>>;

const Entries kDefaultsWritten = {
    {"Filename", "protokoll.dat"},
    {"Links", "637"},
    {"Oben", "320"},
    {"COM", "0"},
    {"Mit MUX", "0"},
    {"MUX Adresse", "0"},
    {"Protokoll", "-1"},
    {"Helligkeit Adr", "7"},
    {"Pyrano Adr", "7"},
    {"Regen Adr", "7"},
    {"Wind Adr", "7"},
};

class ReceiverWindowEnd : public testing::ReceiverWindowTest {};

TEST_F(ReceiverWindowEnd, OkAndCloseStopTheReceiverThenWriteAllSettings) {
    struct Row {
        const char* how;
        std::function<void(ReceiverDialog&)> close;
        DialogResult result;
    };
    const std::vector<Row> rows = {
        {"OK command", [](ReceiverDialog& d) { d.OnOkCommand(); }, DialogResult::Ok},
        {"close box", [](ReceiverDialog& d) { d.OnCloseRequest(); }, DialogResult::Cancel},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        testing::FakeReceiverView& w = Reopen({"Mit MUX=1", "MUX Adresse=35"});
        journal.clear();
        const std::size_t mark = device.calls.size();

        row.close(dialog);

        EXPECT_EQ(journal, (std::vector<std::string>{"protocol file closed", "stop command",
                                                     "multiplexer signalling", "port closed",
                                                     "profile written"}));
        EXPECT_EQ(w.result, row.result);
        EXPECT_FALSE(w.Ticking());
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(WordsSince(mark), testing::Words{AddressWord(0)});  // the reset word alone
        // Existing keys rewritten in place, the new ones appended in the write order.
        EXPECT_EQ(files.files[testing::kProfilePath],
                  "[SYSTEM]\r\nMit MUX=1\r\nMUX Adresse=35\r\nFilename=protokoll.dat\r\n"
                  "Links=637\r\nOben=320\r\nCOM=0\r\nProtokoll=-1\r\nHelligkeit Adr=7\r\n"
                  "Pyrano Adr=7\r\nRegen Adr=7\r\nWind Adr=7\r\n");
    }
}

TEST_F(ReceiverWindowEnd, AReceiverGoneSilentGetsTheFullWaitForEachStopAttempt) {
    using Kind = testing::LineCall::Kind;
    Open();
    ReceiveAndTick({Outdoor(1), Outdoor(2)});
    receiverAnswers = false;  // telegrams were read, and now nothing answers
    ReceiveAndTick({Outdoor(3)});
    const std::size_t mark = device.calls.size();

    dialog.OnOkCommand();

    // Each attempt waits its 200 ms for an answer; none completes on the ETX of a telegram
    // the ticks had already read, which would send the second attempt at once.
    std::vector<std::string> line;
    for (std::size_t i = mark; i < device.calls.size(); ++i) {
        const testing::LineCall& call = device.calls[i];
        if (call.kind == Kind::Write) {
            line.push_back(call.bytes == kStopFrame ? "stop" : "other write");
        } else if (call.kind == Kind::Wait) {
            line.push_back("wait " + std::to_string(call.ms) + " ms");
        }
    }
    EXPECT_EQ(line, (std::vector<std::string>{"stop", "wait 200 ms", "stop", "wait 200 ms"}));
}

TEST_F(ReceiverWindowEnd, AProtocolFileThatFailsToCloseIsToldAndTheEndGoesOn) {
    Open();
    ReceiveAndTick({Outdoor(1)});
    files.closeError = FileError::Other;
    dialog.OnOkCommand();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Beim Schreiben von " +
                                             std::filesystem::current_path().string() +
                                             "/protokoll.dat ist ein Fehler aufgetreten.");
    EXPECT_TRUE(testing::InOrder(
        journal, {"protocol file closed", "stop command", "port closed", "profile written"}));
    EXPECT_EQ(view.result, DialogResult::Ok);
}

TEST_F(ReceiverWindowEnd, AFirstCloseWritesTheElevenKeysInTheWriteOrder) {
    Open();
    dialog.OnOkCommand();
    EXPECT_EQ(ProfileEntries(), kDefaultsWritten);
    EXPECT_EQ(files.replaceCount, 11);  // one write per key
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ReceiverWindowEnd, TheWindowPositionIsSavedAsItIsAtTheEnd) {
    SetProfile({"Links=-3000", "Oben=5"});
    Open();
    view.position.left = -2999;  // moved by the user
    dialog.OnCloseRequest();
    EXPECT_EQ(ProfileValue("Links"), "-2999");
    EXPECT_EQ(ProfileValue("Oben"), "5");
}

TEST_F(ReceiverWindowEnd, EnterOnTheListRightAfterStartIsTheOkCommand) {
    Open();
    view.Type(13);
    EXPECT_EQ(view.result, DialogResult::Ok);
    EXPECT_EQ(device.Writes(), (std::vector<Bytes>{kStartFrame, kStopFrame}));
    EXPECT_EQ(ProfileEntries().size(), 11u);
}

TEST_F(ReceiverWindowEnd, EscEndsTheWindowWithoutWritingOrStopping) {
    SetProfile({"COM=1"});
    Open();
    view.SelectPort(2);  // a change that Esc throws away
    const int writes = static_cast<int>(device.Writes().size());
    view.Type(27);
    EXPECT_EQ(view.result, DialogResult::Cancel);
    EXPECT_EQ(Profile(), "[SYSTEM]\r\nCOM=1\r\n");
    EXPECT_EQ(files.replaceCount, 0);
    EXPECT_EQ(static_cast<int>(device.Writes().size()), writes);  // no stop command
    EXPECT_TRUE(device.IsOpen());  // the port goes when the link object does
    EXPECT_TRUE(dialog.File().IsOpen());
}

TEST_F(ReceiverWindowEnd, AProfileThatCannotBeWrittenIsToldOnceAndKeepsWhatItHad) {
    SetProfile({"COM=1", "Wind Adr=3"});
    const std::string before = Profile();
    files.replaceError = FileError::AccessDenied;
    Open();
    view.SelectPort(2);
    dialog.OnCloseRequest();

    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Tavrolin");
    EXPECT_EQ(messages.messages[0].text,
              "Die Einstellungen konnten nicht gespeichert werden.\n"
              "/home/tester/.config/tavrolin.INI");
    EXPECT_EQ(messages.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(Profile(), before);
    // The receiver is stopped and the window ends all the same.
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(view.result, DialogResult::Cancel);
}

TEST_F(ReceiverWindowEnd, AnUnreadableProfileIsToldAtTheStartAndNeverOverwritten) {
    SetProfile({"COM=1"});
    files.readError = FileError::AccessDenied;
    Open();
    EXPECT_EQ(OpenedPort(), "COM1");  // the defaults
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Tavrolin");
    EXPECT_EQ(messages.messages[0].text,
              "Das Profil /home/tester/.config/tavrolin.INI läßt sich nicht lesen: Keine "
              "Berechtigung.\nTavrolin arbeitet mit den Voreinstellungen und speichert die "
              "Einstellungen beim Beenden nicht.");
    EXPECT_EQ(messages.messages[0].icon, MessageIcon::Exclamation);
    // Readable again by the end (the user mended the permissions): the defaults the window
    // ran on must still not replace what the user has in there.
    files.readError = FileError::None;
    view.SelectPort(2);
    dialog.OnOkCommand();
    EXPECT_EQ(Profile(), "[SYSTEM]\r\nCOM=1\r\n");
    EXPECT_EQ(files.replaceCount, 0);
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(view.result, DialogResult::Ok);
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(ReceiverWindowEnd, AKeyRefusedForItsValueDoesNotKeepTheOthersFromBeingSaved) {
    Open();
    // A file name with a line end (Linux allows it) cannot stand on a profile line.
    chooser.answer = "/data/a\nb.dat";
    view.Click(". . .");
    view.SelectPort(1);
    dialog.OnOkCommand();
    EXPECT_EQ(ProfileValue("Filename"), "<missing>");
    EXPECT_EQ(ProfileValue("COM"), "1");
    EXPECT_EQ(ProfileEntries().size(), 10u);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text.find("Die Einstellungen konnten nicht gespeichert"), 0u);
}

// A window runner that plays a whole run: the window appears, initialises, the user acts.
class ScriptedRunner : public WindowRunner {
public:
    explicit ScriptedRunner(std::function<void(ReceiverDialog&, testing::FakeReceiverView&)> user)
        : m_user(std::move(user)) {}
    DialogResult RunReceiverWindow(ReceiverDialog& dialog) override {
        testing::FakeReceiverView view;
        view.Bind(dialog);
        dialog.AttachView(&view);
        dialog.InitializeWindow();
        m_user(dialog, view);
        dialog.AttachView(nullptr);
        ++runs;
        return view.result.value_or(DialogResult::Cancel);
    }
    int runs = 0;

private:
    std::function<void(ReceiverDialog&, testing::FakeReceiverView&)> m_user;
};

TEST_F(ReceiverWindowEnd, TheApplicationRunsTheWindowOnceAndEndsWithIt) {
    ReceiverApp app(port, mux, env);
    ScriptedRunner esc([](ReceiverDialog&, testing::FakeReceiverView& v) { v.Type(27); });
    EXPECT_EQ(app.StartApplication(esc), 0);
    EXPECT_EQ(esc.runs, 1);
    // The window object is gone, and with it the open protocol file: another writer may
    // open it now. Nothing was saved.
    FileError error = FileError::None;
    EXPECT_NE(files.OpenForWriting("protokoll.dat", OpenMode::Append, error), nullptr);
    EXPECT_EQ(files.replaceCount, 0);

    ReceiverApp again(port, mux, env);
    ScriptedRunner ok([](ReceiverDialog&, testing::FakeReceiverView& v) { v.Type(13); });
    EXPECT_EQ(again.StartApplication(ok), 0);
    EXPECT_EQ(ProfileEntries().size(), 11u);
}

}  // namespace
}  // namespace tavrolin
