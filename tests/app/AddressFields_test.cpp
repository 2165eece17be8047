// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ReceiverWindowFixture.h"
#include "app/AddressEdit.h"

namespace tavrolin {
namespace {

using Key = AddressEdit::KeyAction;

TEST(AddressEdit, TheFieldTakesTabEnterAndEscForItself) {
    EXPECT_EQ(AddressEdit::OnAddressChar(9, false), Key::NextField);
    EXPECT_EQ(AddressEdit::OnAddressChar(9, true), Key::PreviousField);
    EXPECT_EQ(AddressEdit::OnAddressChar(13, false), Key::Validate);
    EXPECT_EQ(AddressEdit::OnAddressChar(13, true), Key::Validate);
    EXPECT_EQ(AddressEdit::OnAddressChar(27, false), Key::Swallow);
    for (const int other : {int{'5'}, int{'a'}, int{' '}, 8, 10, 0}) {
        EXPECT_EQ(AddressEdit::OnAddressChar(other, false), Key::Edit) << other;
    }
}

TEST(AddressEdit, TheTextIsReadLikeAtoiFromNineCharactersAndKeptWithin0To7) {
    struct Row {
        std::string text;
        int value;
    };
    const std::vector<Row> rows = {
        {"5", 5},
        {"9", 7},
        {"0", 0},
        {"", 0},
        {"a", 0},
        {"-", 0},
        {"-3", 0},
        {"+6", 6},
        {" \t4", 4},
        {"4x", 4},
        {"x4", 0},
        {"000000005", 5},
        {"0000000009", 0},  // the tenth character is beyond the buffer
        {"99999999999999", 7},
        {"        3", 3},
        {"         3", 0},
        {"ä3", 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(AddressEdit::ValidatedValue(row.text), row.value) << '"' << row.text << '"';
    }
}

TEST(AddressEdit, ALoadedValueShowsAsTheCharacterAtItsDistanceFromZero) {
    struct Row {
        int value;
        std::string text;
    };
    const std::vector<Row> rows = {
        {7, "7"},       {0, "0"},   {10, ":"}, {-1, "/"},
        {256 + 3, "3"}, {200, "ø"}, {208, ""}, {2147483647, "/"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(AddressEdit::LoadedText(row.value), row.text) << row.value;
    }
}

class AddressFields : public testing::ReceiverWindowTest {};

TEST_F(AddressFields, ANineThenTabLeavesSevenAndMovesOn) {
    Open();
    view.FocusOn(control::kRainAddress);
    view.Type('9');
    EXPECT_EQ(view.GetText(control::kRainAddress), "9");
    EXPECT_EQ(dialog.RainAddress(), 7);  // the old value: not yet validated
    view.Type(9);
    EXPECT_EQ(view.GetText(control::kRainAddress), "7");
    EXPECT_EQ(dialog.RainAddress(), 7);
    EXPECT_EQ(view.focus, control::kWindAddress);
    EXPECT_FALSE(view.result.has_value());
}

TEST_F(AddressFields, ShiftTabMovesBackAndValidatesToo) {
    Open();
    view.FocusOn(control::kWindAddress);
    view.Type('2');
    view.Type(9, true);
    EXPECT_EQ(view.focus, control::kRainAddress);
    EXPECT_EQ(dialog.WindAddress(), 2);
    EXPECT_EQ(view.GetText(control::kWindAddress), "2");
    view.Type(9, true);
    EXPECT_EQ(view.focus, 1031);  // the last indoor box comes before the fields
}

TEST_F(AddressFields, WhatIsNoAddressBecomesZero) {
    Open();
    struct Row {
        int field;
        std::vector<int> keys;  // 8 is Backspace
        std::string text;
    };
    const std::vector<Row> rows = {
        {control::kRainAddress, {'a'}, "0"},
        {control::kWindAddress, {'-'}, "0"},
        {control::kBrightnessAddress, {8}, "0"},
        {control::kPyranoAddress, {'3'}, "3"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.field);
        view.FocusOn(row.field);
        for (const int key : row.keys) {
            view.Type(key);
        }
        view.FocusOn(control::kReceivedList);  // a click elsewhere
        EXPECT_EQ(view.GetText(row.field), row.text);
    }
    EXPECT_EQ(dialog.RainAddress(), 0);
    EXPECT_EQ(dialog.WindAddress(), 0);
    EXPECT_EQ(dialog.BrightnessAddress(), 0);
    EXPECT_EQ(dialog.PyranoAddress(), 3);
    dialog.OnOkCommand();
    EXPECT_EQ(ProfileValue("Regen Adr"), "0");
    EXPECT_EQ(ProfileValue("Pyrano Adr"), "3");
}

TEST_F(AddressFields, EnterValidatesAndKeepsTheFocusAndEscDoesNotEndTheWindow) {
    Open();
    view.FocusOn(control::kBrightnessAddress);
    view.Type('8');
    view.Type(13);
    EXPECT_EQ(view.GetText(control::kBrightnessAddress), "7");
    EXPECT_EQ(view.focus, control::kBrightnessAddress);
    view.Type('1');
    view.Type(27);
    EXPECT_FALSE(view.result.has_value());
    EXPECT_EQ(files.replaceCount, 0);
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(view.GetText(control::kBrightnessAddress), "1");
    EXPECT_EQ(dialog.BrightnessAddress(), 7);
}

TEST_F(AddressFields, OutOfRangeSettingsShowAsLoadedUntilValidated) {
    SetProfile({"Regen Adr=10", "Wind Adr=-1", "Helligkeit Adr=3"});
    Open();
    EXPECT_EQ(view.GetText(control::kRainAddress), ":");
    EXPECT_EQ(view.GetText(control::kWindAddress), "/");
    EXPECT_EQ(view.GetText(control::kBrightnessAddress), "3");

    // Enter in the rain field validates it; the wind field is never touched.
    view.FocusOn(control::kRainAddress);
    view.Type(13);
    EXPECT_EQ(view.GetText(control::kRainAddress), "0");  // ":" is no number
    dialog.OnCloseRequest();
    EXPECT_EQ(ProfileValue("Regen Adr"), "0");
    EXPECT_EQ(ProfileValue("Wind Adr"), "-1");
}

TEST_F(AddressFields, ADigitNotYetValidatedIsNotWhatTheCloseWrites) {
    SetProfile({"Regen Adr=4"});
    Open();
    view.FocusOn(control::kRainAddress);
    view.Type('6');
    dialog.OnCloseRequest();  // the close box takes no focus
    EXPECT_EQ(ProfileValue("Regen Adr"), "4");
}

TEST_F(AddressFields, AnIdentifierOutsideTheFourFieldsIsLeftAlone) {
    Open();
    view.texts[control::kFileName] = "9";
    EXPECT_TRUE(dialog.OnAddressChar(control::kFileName, 13, false));
    EXPECT_EQ(view.GetText(control::kFileName), "9");
    dialog.ValidateAddressField(1034);
    EXPECT_EQ(dialog.RainAddress(), 7);
}

class AboutAndHelp : public testing::ReceiverWindowTest {};

TEST_F(AboutAndHelp, TheAboutItemOpensTheAboutBoxAndHelpThatCannotBeShownIsTold) {
    Open();
    dialog.OnAbout();
    EXPECT_EQ(view.aboutBoxRuns, 1);
    EXPECT_FALSE(view.result.has_value());

    dialog.OnHelp();
    EXPECT_EQ(help.requests, 1);
    EXPECT_TRUE(messages.messages.empty());

    help.available = false;
    dialog.OnHelp();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Tavrolin");
    EXPECT_EQ(messages.messages[0].text, "Die Hilfe konnte nicht aufgerufen werden.");
    EXPECT_EQ(messages.messages[0].icon, MessageIcon::Exclamation);
}

}  // namespace
}  // namespace tavrolin
