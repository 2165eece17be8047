// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tavrolin {

// One of the receiver window's four sensor-address fields. It holds one character and, once
// validated, an address 0..7. The field takes Tab, Shift+Tab, Enter and Esc for itself, so
// that none of them reaches the window's keyboard rules: Tab must not skip the validation,
// Enter must not end the window as its OK command, Esc not as its Cancel command. The field
// keeps no state; the values live in the window's settings.
class AddressEdit {
public:
    // What a key typed into the field does.
    enum class KeyAction {
        NextField,      // Tab: the focus moves to the next tab stop (and the field validates)
        PreviousField,  // Shift+Tab: to the previous one
        Validate,       // Enter: the field validates itself and keeps the focus
        Swallow,        // Esc: nothing at all
        Edit,           // every other key: the field's own editing
    };

    static constexpr int kTab = 9;
    static constexpr int kEnter = 13;
    static constexpr int kEscape = 27;
    // The field shows one character.
    static constexpr int kMaxCharacters = 1;

    static KeyAction OnAddressChar(int character, bool shiftDown);

    // The address in the field's text: read like atoi from at most the first nine characters
    // (the field's text buffer holds ten with the terminator), then kept within 0..7.
    static int ValidatedValue(std::string_view text);
    // The text of a validated value.
    static std::string ValueText(int value);
    // The text of a value as loaded, before any validation: the one character at the
    // distance of the value's low byte from "0" (10 shows ":"), UTF-8 for the view. A value
    // whose character would be the zero byte shows as an empty field.
    static std::string LoadedText(int value);
};

}  // namespace tavrolin
