// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeClocks.h"
#include "FakeMultiplexerView.h"
#include "mux/MultiplexerDialog.h"

namespace tavrolin {
namespace {

using testing::FakeMultiplexerView;
using Ports = std::vector<int>;

class MultiplexerSelection : public ::testing::Test {
protected:
    // A showing of the dialog after the window controller handed over the stored address.
    void Show(uint8_t storedAddress) {
        mux.SetAddress(storedAddress);
        view = FakeMultiplexerView();
        mux.AttachView(&view);
        EXPECT_TRUE(mux.OnInitDialog());  // the focus goes to "&OK"
    }
    void Click(int id) { view.Click(mux, id); }
    int Button(int stage, int port) const {
        return (stage == 1 ? muxcontrol::kStage1First : muxcontrol::kStage2First) + port - 1;
    }
    // Whether the group box and the six port buttons of stage 2 are enabled, all alike.
    bool Stage2Enabled() const {
        bool on = view.IsEnabled(muxcontrol::kStage2Group);
        for (int port = 1; port <= 6; ++port) {
            EXPECT_EQ(view.IsEnabled(Button(2, port)), on) << "port " << port;
        }
        return on;
    }

    testing::FakeCoarseClock clock;
    MultiplexerLine line{clock};
    MultiplexerDialog mux{line};
    FakeMultiplexerView view;
};

TEST_F(MultiplexerSelection, TheDialogOpensOnTheStoredAddress) {
    struct Row {
        uint8_t stored;
        Ports stage1;
        Ports stage2;
        bool twoStage;
    };
    const std::vector<Row> rows = {
        {35, {3}, {5}, true},
        {4, {4}, {}, false},
        {0, {}, {}, false},
        {60, {6}, {}, false},  // the tens digit alone: stage 1, no second stage
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.stored));
        Show(row.stored);
        EXPECT_EQ(view.CheckedPorts(1), row.stage1);
        EXPECT_EQ(view.CheckedPorts(2), row.stage2);
        EXPECT_EQ(view.GetCheck(muxcontrol::kTwoStage), row.twoStage);
        EXPECT_EQ(mux.TwoStage(), row.twoStage);
        EXPECT_EQ(Stage2Enabled(), row.twoStage);
        EXPECT_TRUE(view.IsEnabled(Button(1, 1)));  // stage 1 is never disabled

        Click(muxcontrol::kOk);
        EXPECT_EQ(view.result, DialogResult::Ok);
        mux.AttachView(nullptr);
        EXPECT_EQ(mux.GetAddress(), row.stored == 60 ? 6 : row.stored);
    }
}

TEST_F(MultiplexerSelection, ControlsAreSetOneByOneAndStageTwoEnabledInItsOrder) {
    Show(35);
    const std::vector<std::string> expected = {
        "SetCheck 1000 0", "SetCheck 1001 0", "SetCheck 1002 1", "SetCheck 1003 0",
        "SetCheck 1004 0", "SetCheck 1005 0", "SetCheck 1006 0", "SetCheck 1007 0",
        "SetCheck 1008 0", "SetCheck 1009 0", "SetCheck 1010 1", "SetCheck 1011 0",
        "SetCheck 1012 1", "Enable 1013 1",   "Enable 1006 1",   "Enable 1007 1",
        "Enable 1008 1",   "Enable 1009 1",   "Enable 1010 1",   "Enable 1011 1",
    };
    EXPECT_EQ(view.log, expected);
}

TEST_F(MultiplexerSelection, ClicksGiveTheAddressesOfTheSelectionTable) {
    struct Row {
        const char* story;
        uint8_t stored;
        std::vector<int> clicks;  // stage * 10 + port for a port button, 0 for "Zweistufig"
        int address;
    };
    const std::vector<Row> rows = {
        {"one stage, another port", 4, {12}, 2},
        {"one stage ignores a greyed stage-2 selection", 35, {0}, 3},
        {"two stages", 4, {0, 26}, 46},
        {"two stages, stage 2 without a port", 4, {0}, 40},
        {"two stages, stage 1 without a port", 0, {0, 25}, 5},
        {"both stages changed", 35, {16, 21}, 61},
        {"a greyed stage-2 button does not react", 4, {25}, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.story);
        Show(row.stored);
        for (const int click : row.clicks) {
            Click(click == 0 ? muxcontrol::kTwoStage : Button(click / 10, click % 10));
        }
        Click(muxcontrol::kOk);
        mux.AttachView(nullptr);
        EXPECT_EQ(mux.GetAddress(), row.address);
    }
}

TEST_F(MultiplexerSelection, UncheckingTwoStagesGreysStageTwoButKeepsItsChoice) {
    Show(0);
    Click(muxcontrol::kTwoStage);
    Click(Button(2, 5));
    Click(Button(1, 2));
    EXPECT_EQ(mux.GetAddress(), 25);

    Click(muxcontrol::kTwoStage);
    EXPECT_FALSE(mux.TwoStage());
    EXPECT_FALSE(Stage2Enabled());
    EXPECT_EQ(view.CheckedPorts(2), Ports{5});  // grey, but still checked
    EXPECT_EQ(mux.Stage2Port(), 5);
    EXPECT_EQ(mux.GetAddress(), 2);

    Click(muxcontrol::kTwoStage);  // and back: the old choice counts again
    EXPECT_EQ(mux.GetAddress(), 25);
}

TEST_F(MultiplexerSelection, CancelKeepsTheClicksAndNothingIsRestored) {
    Show(35);
    Click(Button(1, 1));
    Click(muxcontrol::kCancel);
    EXPECT_EQ(view.result, DialogResult::Cancel);
    mux.AttachView(nullptr);
    EXPECT_EQ(mux.GetAddress(), 15);
}

TEST_F(MultiplexerSelection, AnAddressWithoutStageTwoReadsBackAsStageOneAlone) {
    // Stage-2 checked without a stage-2 port gives 40; decoded again that is port 4 of the
    // first stage alone, and the next showing offers one stage.
    Show(4);
    Click(muxcontrol::kTwoStage);
    Click(muxcontrol::kOk);
    mux.AttachView(nullptr);
    ASSERT_EQ(mux.GetAddress(), 40);

    Show(static_cast<uint8_t>(mux.GetAddress()));
    EXPECT_EQ(view.CheckedPorts(1), Ports{4});
    EXPECT_EQ(view.GetCheck(muxcontrol::kTwoStage), 0);
    EXPECT_EQ(mux.GetAddress(), 4);
}

TEST_F(MultiplexerSelection, ANewAddressWhileShownRefreshesTheWindow) {
    Show(35);
    mux.SetAddress(62);
    EXPECT_EQ(view.CheckedPorts(1), Ports{6});
    EXPECT_EQ(view.CheckedPorts(2), Ports{2});
    // A stage without a port leaves its buttons alone: only the check box follows.
    mux.SetAddress(0);
    EXPECT_EQ(view.CheckedPorts(1), Ports{6});
    EXPECT_EQ(view.GetCheck(muxcontrol::kTwoStage), 0);
    EXPECT_FALSE(Stage2Enabled());
    EXPECT_EQ(mux.GetAddress(), 0);
}

TEST_F(MultiplexerSelection, WithoutAWindowNothingIsShownAndTheTwoStageFlagStays) {
    // A fresh object offers two stages with port 1 each.
    EXPECT_EQ(mux.GetAddress(), 11);
    mux.SetAddress(4);
    EXPECT_TRUE(mux.TwoStage());  // only the window's check box changes it
    EXPECT_EQ(mux.GetAddress(), 40);

    // Handlers that come when the window is gone change nothing.
    mux.OnStage1Port();
    mux.OnStage2Port();
    mux.OnTwoStage();
    mux.OnOk();
    mux.OnCancel();
    EXPECT_EQ(mux.Stage1Port(), 4);
    EXPECT_TRUE(mux.TwoStage());
    EXPECT_TRUE(view.log.empty());
}

}  // namespace
}  // namespace tavrolin
