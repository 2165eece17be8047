// SPDX-License-Identifier: GPL-3.0-or-later
// The window's further sinks (the archive) keep to the recording mask the list keeps to.
#include <gtest/gtest.h>

#include <vector>

#include "ReceiverWindowFixture.h"

namespace tavrolin {
namespace {

class ReceiverWindowSinks : public testing::ReceiverWindowTest {};

TEST_F(ReceiverWindowSinks, TheEnvironmentHearsEveryRecordingMaskTheWindowSets) {
    std::vector<RecordingMask> told;
    AppEnvironment listening = env;
    listening.recordingMaskChanged = [&told](RecordingMask mask) { told.push_back(mask); };
    ReceiverDialog window(port, mux, listening);
    testing::FakeReceiverView shown;
    shown.Bind(window);
    SetProfile({"Protokoll=5"});
    window.AttachView(&shown);
    ASSERT_TRUE(window.InitializeWindow());
    EXPECT_EQ(told, std::vector<RecordingMask>{5});
    shown.Click(control::kRecordingFirst + 1);
    shown.Click(control::kRecordingFirst);
    EXPECT_EQ(told, (std::vector<RecordingMask>{5, 7, 6}));
    window.AttachView(nullptr);
}

}  // namespace
}  // namespace tavrolin
