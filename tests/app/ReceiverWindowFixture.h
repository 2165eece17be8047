// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AddressWordDecoder.h"
#include "FakeClocks.h"
#include "FakeFileChooser.h"
#include "FakeHelpViewer.h"
#include "FakeReceiverView.h"
#include "FakeSerialLine.h"
#include "MemoryFileSystem.h"
#include "RecordingMessageSink.h"
#include "app/ReceiverDialog.h"
#include "mux/MultiplexerDialog.h"
#include "serial/ReceiverPort.h"
#include "settings/SettingsStore.h"

namespace tavrolin::testing {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;

// The command frames as they go out on the line.
inline const Bytes kStartFrame = {0x01, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x04};
inline const Bytes kStopFrame = {0x01, 0xFE, 0, 0, 0, 0, 0, 0x81, 0x04};

inline constexpr const char* kProfilePath = "/home/tester/.config/tavrolin.INI";

// An outdoor sensor telegram at address a.
inline Bytes Outdoor(uint8_t a) {
    return {0x02, static_cast<uint8_t>(0x10 | a), 0, 123, 67, 0, 0, 0x03};
}

// A protocol file whose closing is noted in a journal.
class JournalOutputFile : public OutputFile {
public:
    JournalOutputFile(std::unique_ptr<OutputFile> file, std::vector<std::string>& journal)
        : m_file(std::move(file)), m_journal(journal) {}
    std::size_t InitialSize() const override { return m_file->InitialSize(); }
    std::optional<char> InitialLastByte() const override { return m_file->InitialLastByte(); }
    FileError Write(std::string_view bytes) override { return m_file->Write(bytes); }
    FileError Close() override {
        m_journal.push_back("protocol file closed");
        return m_file->Close();
    }

private:
    std::unique_ptr<OutputFile> m_file;
    std::vector<std::string>& m_journal;
};

// A file system that notes its protocol-file closes and profile replaces in the journal.
class JournalFileSystem : public MemoryFileSystem {
public:
    explicit JournalFileSystem(std::vector<std::string>& journal) : m_journal(journal) {}
    std::unique_ptr<OutputFile> OpenForWriting(const std::string& path, OpenMode mode,
                                               FileError& error) override {
        auto file = MemoryFileSystem::OpenForWriting(path, mode, error);
        if (!file) {
            return file;
        }
        return std::make_unique<JournalOutputFile>(std::move(file), m_journal);
    }
    FileError ReplaceFile(const std::string& path, std::string_view content) override {
        if (m_journal.empty() || m_journal.back() != "profile written") {
            m_journal.push_back("profile written");
        }
        return MemoryFileSystem::ReplaceFile(path, content);
    }

private:
    std::vector<std::string>& m_journal;
};

// A port that notes the multiplexer signalling and its closing in the journal.
class JournalDevice : public FakeSerialLine {
public:
    explicit JournalDevice(std::vector<std::string>& journal) : m_journal(journal) {}
    bool Write(std::span<const uint8_t> bytes) override {
        const Bytes frame(bytes.begin(), bytes.end());
        Note(frame == kStopFrame    ? "stop command"
             : frame == kStartFrame ? "start command"
                                    : "other write");
        return FakeSerialLine::Write(bytes);
    }
    bool SetDtr(bool high) override {
        Note("multiplexer signalling");
        return FakeSerialLine::SetDtr(high);
    }
    bool SetRts(bool high) override {
        Note("multiplexer signalling");
        return FakeSerialLine::SetRts(high);
    }
    void Close() override {
        Note("port closed");
        FakeSerialLine::Close();
    }

private:
    void Note(const std::string& line) {
        if (m_journal.empty() || m_journal.back() != line) {
            m_journal.push_back(line);
        }
    }
    std::vector<std::string>& m_journal;
};

// The receiver window with every collaborator faked: a receiver that acknowledges each
// command frame, a profile in memory, and a view that plays the user.
class ReceiverWindowTest : public ::testing::Test {
protected:
    ReceiverWindowTest() {
        device.onWrite = [this](std::span<const uint8_t>) {
            if (receiverAnswers) {
                device.Receive({0x02, 0x06, 0x03});
            }
        };
        view.Bind(dialog);
    }

    // The profile's SYSTEM section with these "key=value" lines.
    void SetProfile(const std::vector<std::string>& lines) {
        std::string text = "[SYSTEM]\r\n";
        for (const std::string& line : lines) {
            text += line + "\r\n";
        }
        files.files[kProfilePath] = text;
    }
    std::string Profile() const {
        const auto it = files.files.find(kProfilePath);
        return it == files.files.end() ? std::string() : it->second;
    }
    // The values of the profile's SYSTEM section in the order they stand.
    std::vector<std::pair<std::string, std::string>> ProfileEntries() const {
        std::vector<std::pair<std::string, std::string>> entries;
        const std::string text = Profile();
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t end = text.find("\r\n", at);
            const std::string line = text.substr(at, end - at);
            at = end == std::string::npos ? text.size() : end + 2;
            const std::size_t equals = line.find('=');
            if (equals != std::string::npos) {
                entries.emplace_back(line.substr(0, equals), line.substr(equals + 1));
            }
        }
        return entries;
    }
    std::string ProfileValue(const std::string& key) const {
        for (const auto& [k, v] : ProfileEntries()) {
            if (k == key) {
                return v;
            }
        }
        return "<missing>";
    }

    // The window is created and initialises.
    void Open() {
        dialog.AttachView(&view);
        ASSERT_TRUE(dialog.InitializeWindow());
    }
    // The window shown anew on a new view, with a profile of these lines (none without
    // lines) and no other file; the record of the line and the messages start anew.
    FakeReceiverView& Reopen(const std::vector<std::string>& lines) {
        files.files.clear();
        if (!lines.empty()) {
            SetProfile(lines);
        }
        device.ClearRecord();
        messages.messages.clear();
        FakeReceiverView& fresh = *views.emplace_back(std::make_unique<FakeReceiverView>());
        fresh.Bind(dialog);
        dialog.AttachView(&fresh);
        dialog.InitializeWindow();
        return fresh;
    }
    // A telegram on the line, and the next tick.
    void ReceiveAndTick(std::initializer_list<Bytes> telegrams) {
        for (const Bytes& t : telegrams) {
            device.Receive(t);
        }
        dialog.OnTick();
    }
    // The multiplexer address words on the line from the given call of the port on.
    Words WordsSince(std::size_t call) const {
        return DecodeAddressWords(device.ChangesSince(call)).value_or(Words{});
    }
    int Opens() const { return static_cast<int>(device.CallsOf(LineCall::Kind::Open).size()); }
    std::string OpenedPort() const {
        const auto opens = device.CallsOf(LineCall::Kind::Open);
        return opens.empty() ? std::string() : opens.back().name;
    }

    bool receiverAnswers = true;
    // The protocol file's closing, the profile's writes, the port's frames, line changes and
    // closing.
    std::vector<std::string> journal;
    JournalDevice device{journal};
    FakeCoarseClock coarse;
    MultiplexerLine muxLine{coarse};
    MultiplexerDialog mux{muxLine};
    RecordingMessageSink messages;
    FakeWallClock clock;
    ReceiverPort port{device, muxLine, messages, clock, clock};
    JournalFileSystem files{journal};
    SettingsStore settings{files, kProfilePath};
    FakeFileChooser chooser;
    FakeHelpViewer help;
    FakeCoarseClock wall{1, 0};  // moves only when the test says
    AppEnvironment env{settings, files, messages, chooser, help, wall};
    ReceiverDialog dialog{port, mux, env};
    FakeReceiverView view;
    std::vector<std::unique_ptr<FakeReceiverView>> views;  // those of Reopen
};

// Whether `part` occurs in `whole` in this order, not necessarily side by side.
inline bool InOrder(const std::vector<std::string>& whole, const std::vector<std::string>& part) {
    auto at = whole.begin();
    for (const std::string& wanted : part) {
        at = std::find(at, whole.end(), wanted);
        if (at == whole.end()) {
            return false;
        }
        ++at;
    }
    return true;
}

}  // namespace tavrolin::testing
