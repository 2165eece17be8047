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
    view.FocusOn("rain");
    view.Type('9');
    EXPECT_EQ(view.Address(SensorAddress::Rain), "9");
    EXPECT_EQ(dialog.Settings().rainAddress, 7);  // the old value: not yet validated
    view.Type(9);
    EXPECT_EQ(view.Address(SensorAddress::Rain), "7");
    EXPECT_EQ(dialog.Settings().rainAddress, 7);
    EXPECT_EQ(view.focus, "wind");
    EXPECT_FALSE(view.result.has_value());
}

TEST_F(AddressFields, ShiftTabMovesBackAndValidatesToo) {
    Open();
    view.FocusOn("wind");
    view.Type('2');
    view.Type(9, true);
    EXPECT_EQ(view.focus, "rain");
    EXPECT_EQ(dialog.Settings().windAddress, 2);
    EXPECT_EQ(view.Address(SensorAddress::Wind), "2");
    view.Type(9, true);
    EXPECT_EQ(view.focus, "box 17");  // the last indoor box comes before the fields
}

TEST_F(AddressFields, WhatIsNoAddressBecomesZero) {
    Open();
    struct Row {
        const char* name;
        SensorAddress field;
        std::vector<int> keys;  // 8 is Backspace
        std::string text;
    };
    const std::vector<Row> rows = {
        {"rain", SensorAddress::Rain, {'a'}, "0"},
        {"wind", SensorAddress::Wind, {'-'}, "0"},
        {"brightness", SensorAddress::Brightness, {8}, "0"},
        {"pyrano", SensorAddress::Pyrano, {'3'}, "3"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        view.FocusOn(row.name);
        for (const int key : row.keys) {
            view.Type(key);
        }
        view.FocusOn("list");  // a click elsewhere
        EXPECT_EQ(view.Address(row.field), row.text);
    }
    EXPECT_EQ(dialog.Settings().rainAddress, 0);
    EXPECT_EQ(dialog.Settings().windAddress, 0);
    EXPECT_EQ(dialog.Settings().brightnessAddress, 0);
    EXPECT_EQ(dialog.Settings().pyranoAddress, 3);
    dialog.OnOkCommand();
    EXPECT_EQ(ProfileValue("Regen Adr"), "0");
    EXPECT_EQ(ProfileValue("Pyrano Adr"), "3");
}

TEST_F(AddressFields, EnterValidatesAndKeepsTheFocusAndEscDoesNotEndTheWindow) {
    Open();
    view.FocusOn("brightness");
    view.Type('8');
    view.Type(13);
    EXPECT_EQ(view.Address(SensorAddress::Brightness), "7");
    EXPECT_EQ(view.focus, "brightness");
    view.Type('1');
    view.Type(27);
    EXPECT_FALSE(view.result.has_value());
    EXPECT_EQ(files.replaceCount, 0);
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(view.Address(SensorAddress::Brightness), "1");
    EXPECT_EQ(dialog.Settings().brightnessAddress, 7);
}

TEST_F(AddressFields, OutOfRangeSettingsShowAsLoadedUntilValidated) {
    SetProfile({"Regen Adr=10", "Wind Adr=-1", "Helligkeit Adr=3"});
    Open();
    EXPECT_EQ(view.Address(SensorAddress::Rain), ":");
    EXPECT_EQ(view.Address(SensorAddress::Wind), "/");
    EXPECT_EQ(view.Address(SensorAddress::Brightness), "3");

    // Enter in the rain field validates it; the wind field is never touched.
    view.FocusOn("rain");
    view.Type(13);
    EXPECT_EQ(view.Address(SensorAddress::Rain), "0");  // ":" is no number
    dialog.OnCloseRequest();
    EXPECT_EQ(ProfileValue("Regen Adr"), "0");
    EXPECT_EQ(ProfileValue("Wind Adr"), "-1");
}

TEST_F(AddressFields, ADigitNotYetValidatedIsNotWhatTheCloseWrites) {
    SetProfile({"Regen Adr=4"});
    Open();
    view.FocusOn("rain");
    view.Type('6');
    dialog.OnCloseRequest();  // the close box takes no focus
    EXPECT_EQ(ProfileValue("Regen Adr"), "4");
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
