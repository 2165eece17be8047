// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AddressEdit.h"

#include <algorithm>

#include "base/Win1252.h"
#include "settings/DecimalText.h"

namespace tavrolin {

namespace {

// The field's text is read into ten bytes, one of them the terminator.
constexpr std::size_t kTextBufferChars = 9;

}  // namespace

AddressEdit::KeyAction AddressEdit::OnAddressChar(int character, bool shiftDown) {
    switch (character) {
        case kTab:
            return shiftDown ? KeyAction::PreviousField : KeyAction::NextField;
        case kEnter:
            return KeyAction::Validate;
        case kEscape:
            return KeyAction::Swallow;
        default:
            return KeyAction::Edit;
    }
}

int AddressEdit::ValidatedValue(std::string_view text) {
    // The window's texts are single bytes; count the nine characters in them.
    const std::string bytes = Utf8ToWin1252(text);
    const std::string_view kept = std::string_view(bytes).substr(0, kTextBufferChars);
    // Nine characters hold at most nine digits, which an int holds.
    return std::clamp(ParseDecimal(kept), 0, 7);
}

std::string AddressEdit::ValueText(int value) {
    return std::to_string(value);
}

std::string AddressEdit::LoadedText(int value) {
    const auto byte = static_cast<unsigned char>('0' + static_cast<unsigned char>(value & 0xFF));
    if (byte == 0) {
        return std::string();
    }
    return Win1252ToUtf8(std::string(1, static_cast<char>(byte)));
}

}  // namespace tavrolin
