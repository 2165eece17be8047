// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Reception.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeClocks.h"
#include "FakeSerialLine.h"
#include "MemoryFileSystem.h"
#include "RecordingMessageSink.h"
#include "mux/MultiplexerLine.h"

namespace tavrolin {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kOutdoor2 = {0x02, 0x12, 0x00, 123, 67, 0x00, 0x00, 0x03};
const Bytes kIndoor1 = {0x02, 0x41, 0x01, 0x4F, 45, 0x07, 0x74, 0x03};

// The sinks of a program's own, each noting what it got in one journal.
struct Journal {
    struct Lines : ReportLineSink {
        explicit Lines(Journal& j) : journal(j) {}
        void AcceptLine(std::string_view line) override {
            // "(14:03:07.4) : (0.00s)  Außen (2)  12.3°  67%": the sensor
            const std::size_t at = line.find("s)  ") + 4;
            journal.notes.push_back("line " +
                                    std::string(line.substr(at, line.find(')', at) + 1 - at)));
        }
        Journal& journal;
    };
    struct Json : JsonSink {
        explicit Json(Journal& j) : journal(j) {}
        void AcceptJson(const Reading&, std::string_view json) override {
            const std::size_t at = json.find("\"sensor\"");
            journal.notes.push_back("json " +
                                    std::string(json.substr(at, json.find(',', at) - at)));
        }
        Journal& journal;
    };
    struct Overview : ReadingSink {
        explicit Overview(Journal& j) : journal(j) {}
        void Accept(const Reading& reading) override {
            journal.notes.push_back("overview " + std::to_string(static_cast<int>(reading.kind)));
        }
        Journal& journal;
    };
    std::vector<std::string> notes;
    Lines lines{*this};
    Json json{*this};
    Overview overview{*this};
};

TEST(Reception, EverySensorIsSeenFirstTheRecordedOnesGoOutAsJsonThenAsLineThenToTheFile) {
    testing::FakeSerialLine device;
    device.onWrite = [&device](std::span<const uint8_t>) { device.Receive({0x02, 0x06, 0x03}); };
    testing::FakeCoarseClock coarse{3};
    testing::FakeCoarseClock wall{1, 0};
    MultiplexerLine mux{coarse};
    testing::RecordingMessageSink messages;
    testing::FakeWallClock clock{{2026, 12, 7, 14, 3, 7, 456}};
    ReceiverPort port{device, mux, messages, clock, clock};
    testing::MemoryFileSystem files;
    Journal journal;
    Reception reception(
        port, messages, wall, files,
        {.lines = &journal.lines, .json = &journal.json, .overview = &journal.overview});
    ASSERT_TRUE(reception.File().OpenForAppend("protokoll.dat"));
    reception.SetRecordingMask(~(RecordingMask{1} << 11));  // indoor sensor 1 is not recorded
    ASSERT_TRUE(reception.Session().Connect(0, 0, false));

    device.Receive(kOutdoor2);
    device.Receive(kIndoor1);
    reception.Session().Tick();

    EXPECT_EQ(journal.notes,
              (std::vector<std::string>{"overview 1", "json \"sensor\":\"outdoor-2\"",
                                        "line Außen (2)", "overview 4"}));
    const std::string& file = files.files["protokoll.dat"];
    EXPECT_NE(file.find("(2)"), std::string::npos);
    EXPECT_EQ(file.find("Innen"), std::string::npos);
}

}  // namespace
}  // namespace tavrolin
