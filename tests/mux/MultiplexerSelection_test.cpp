// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "FakeClocks.h"
#include "FakeMultiplexerView.h"
#include "mux/MultiplexerDialog.h"

namespace tavrolin {
namespace {

using testing::FakeMultiplexerView;

class MultiplexerSelection : public ::testing::Test {
protected:
    // A showing of the dialog after the window controller handed over the stored address.
    void Show(uint8_t storedAddress) {
        mux.SetAddress(storedAddress);
        view = FakeMultiplexerView();
        mux.AttachView(&view);
        EXPECT_TRUE(mux.OnInitDialog());  // the focus goes to "&OK"
    }
    // stage * 10 + port for a port button, 0 for "Zweistufig".
    void Click(int click) {
        if (click == 0) {
            view.ClickTwoStage(mux);
        } else {
            view.ClickPort(mux, click / 10, click % 10);
        }
    }

    testing::FakeCoarseClock clock;
    MultiplexerLine line{clock};
    MultiplexerDialog mux{line};
    FakeMultiplexerView view;
};

TEST_F(MultiplexerSelection, TheDialogOpensOnTheStoredAddress) {
    struct Row {
        uint8_t stored;
        int stage1;  // the port checked, 0 for none
        int stage2;
        bool twoStage;
    };
    const std::vector<Row> rows = {
        {35, 3, 5, true},
        {4, 4, 0, false},
        {0, 0, 0, false},
        {60, 6, 0, false},  // the tens digit alone: stage 1, no second stage
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.stored));
        Show(row.stored);
        EXPECT_EQ(view.CheckedPort(1), row.stage1);
        EXPECT_EQ(view.CheckedPort(2), row.stage2);
        EXPECT_EQ(view.twoStage, row.twoStage);
        EXPECT_EQ(mux.TwoStage(), row.twoStage);
        EXPECT_EQ(view.stage2Enabled, row.twoStage);

        view.ClickOk(mux);
        EXPECT_EQ(view.result, DialogResult::Ok);
        mux.AttachView(nullptr);
        EXPECT_EQ(mux.GetAddress(), row.stored == 60 ? 6 : row.stored);
    }
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
            Click(click);
        }
        view.ClickOk(mux);
        mux.AttachView(nullptr);
        EXPECT_EQ(mux.GetAddress(), row.address);
    }
}

TEST_F(MultiplexerSelection, UncheckingTwoStagesGreysStageTwoButKeepsItsChoice) {
    Show(0);
    Click(0);
    Click(25);
    Click(12);
    EXPECT_EQ(mux.GetAddress(), 25);

    Click(0);
    EXPECT_FALSE(mux.TwoStage());
    EXPECT_FALSE(view.stage2Enabled);
    EXPECT_EQ(view.CheckedPort(2), 5);  // grey, but still checked
    EXPECT_EQ(mux.Stage2Port(), 5);
    EXPECT_EQ(mux.GetAddress(), 2);

    Click(0);  // and back: the old choice counts again
    EXPECT_EQ(mux.GetAddress(), 25);
}

TEST_F(MultiplexerSelection, CancelKeepsTheClicksAndNothingIsRestored) {
    Show(35);
    Click(11);
    view.ClickCancel(mux);
    EXPECT_EQ(view.result, DialogResult::Cancel);
    mux.AttachView(nullptr);
    EXPECT_EQ(mux.GetAddress(), 15);
}

TEST_F(MultiplexerSelection, AnAddressWithoutStageTwoReadsBackAsStageOneAlone) {
    // Stage-2 checked without a stage-2 port gives 40; decoded again that is port 4 of the
    // first stage alone, and the next showing offers one stage.
    Show(4);
    Click(0);
    view.ClickOk(mux);
    mux.AttachView(nullptr);
    ASSERT_EQ(mux.GetAddress(), 40);

    Show(static_cast<uint8_t>(mux.GetAddress()));
    EXPECT_EQ(view.CheckedPort(1), 4);
    EXPECT_FALSE(view.twoStage);
    EXPECT_EQ(mux.GetAddress(), 4);
}

TEST_F(MultiplexerSelection, ANewAddressWhileShownRefreshesTheWindow) {
    Show(35);
    mux.SetAddress(62);
    EXPECT_EQ(view.CheckedPort(1), 6);
    EXPECT_EQ(view.CheckedPort(2), 2);
    // A stage without a port leaves its buttons alone: only the check box follows.
    mux.SetAddress(0);
    EXPECT_EQ(view.CheckedPort(1), 6);
    EXPECT_FALSE(view.twoStage);
    EXPECT_FALSE(view.stage2Enabled);
    EXPECT_EQ(mux.GetAddress(), 0);
}

TEST_F(MultiplexerSelection, WithoutAWindowNothingIsShownAndTheTwoStageFlagStays) {
    // A fresh object offers two stages with port 1 each.
    EXPECT_EQ(mux.GetAddress(), 11);
    mux.SetAddress(4);
    EXPECT_TRUE(mux.TwoStage());  // only the window's check box changes it
    EXPECT_EQ(mux.GetAddress(), 40);
}

}  // namespace
}  // namespace tavrolin
