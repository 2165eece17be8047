// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/PresentReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempDir.h"
#include "decode/ProtocolFileSink.h"
#include "platform/posix/PosixFileSystem.h"

namespace tavrolin {
namespace {

struct Window {
    void Present(int number) { PresentReport("line " + std::to_string(number), list); }

    MemoryList list;
};

TEST(PresentReport, ListGrowsToFiftyOneLinesThenDropsTheOldest) {
    Window w;
    for (int i = 1; i <= 50; ++i) {
        w.Present(i);
    }
    EXPECT_EQ(w.list.LineCount(), 50);
    EXPECT_EQ(w.list.CurrentLine(), 49);
    w.Present(51);
    EXPECT_EQ(w.list.LineCount(), 51);
    EXPECT_EQ(w.list.Lines().front(), "line 1");
    EXPECT_EQ(w.list.CurrentLine(), 50);
    w.Present(52);
    EXPECT_EQ(w.list.LineCount(), 51);
    EXPECT_EQ(w.list.Lines().front(), "line 2");
    EXPECT_EQ(w.list.Lines().back(), "line 52");
    EXPECT_EQ(w.list.CurrentLine(), 50);
    for (int i = 53; i <= 500; ++i) {
        w.Present(i);
        ASSERT_LE(w.list.LineCount(), kMaxListLines);
    }
    ASSERT_EQ(w.list.LineCount(), 51);
    for (int i = 0; i < 51; ++i) {
        EXPECT_EQ(w.list.Lines()[static_cast<std::size_t>(i)], "line " + std::to_string(450 + i));
    }
    EXPECT_EQ(w.list.CurrentLine(), 50);
}

TEST(PresentReport, AfterClearingTheNextRecordIsLineZeroAndSelected) {
    Window w;
    for (int i = 1; i <= 60; ++i) {
        w.Present(i);
    }
    w.list.Clear();
    EXPECT_EQ(w.list.CurrentLine(), -1);
    w.Present(61);
    ASSERT_EQ(w.list.LineCount(), 1);
    EXPECT_EQ(w.list.Lines().front(), "line 61");
    EXPECT_EQ(w.list.CurrentLine(), 0);
}

TEST(PresentReport, ViewFollowsTheEndOnlyFromTheLastLine) {
    Window w;
    for (int i = 1; i <= 20; ++i) {
        w.Present(i);
    }
    w.list.SetCurrentLine(18);  // one above the bottom: stays
    w.Present(21);
    EXPECT_EQ(w.list.CurrentLine(), 18);
    w.list.SetCurrentLine(20);  // the bottom: follows
    w.Present(22);
    EXPECT_EQ(w.list.CurrentLine(), 21);

    for (int i = 23; i <= 60; ++i) {
        w.Present(i);
    }
    // At the cap the dropped top line takes the selection's index one up with it.
    w.list.SetCurrentLine(10);
    const std::string selected = w.list.Lines()[10];
    w.Present(61);
    EXPECT_EQ(w.list.CurrentLine(), 9);
    EXPECT_EQ(w.list.Lines()[9], selected);
}

TEST(PresentReport, TheListAndAnOpenFileGetTheLineTheFileWithCrLfWhenThePollEnds) {
    testing::TempDir dir;
    PosixFileSystem fileSystem;
    ProtocolFile file{fileSystem};
    MemoryList list;
    ListSink listSink(&list);
    ProtocolFileSink fileSink(file);
    ReportLines lines;
    lines.Add(listSink);
    lines.Add(fileSink);
    const std::string path = dir.File("protokoll.dat");
    listSink.AcceptLine("before");
    fileSink.AcceptLine("before");  // closed: list only
    fileSink.EndOfPoll();
    ASSERT_TRUE(file.OpenForAppend(path));
    Reading fenster;
    fenster.time = InstantOf({2026, 12, 7, 14, 3, 7, 456});
    fenster.kind = SensorKind::Special;
    fenster.event = FensterEvent::High;
    fenster.interval = Milliseconds(60'000);
    lines.Accept(fenster);
    EXPECT_EQ(testing::ReadBytes(path), "") << "queued until the poll ends";
    lines.EndOfPoll();
    EXPECT_EQ(testing::ReadBytes(path), "(14:03:07.4) : ++++ Fenster High 60.00 s\r\n");
    EXPECT_EQ(list.Lines(),
              (std::deque<std::string>{"before", "(14:03:07.4) : ++++ Fenster High 60.00 s"}));
    EXPECT_FALSE(lines.TakeNotice());
}

}  // namespace
}  // namespace tavrolin
