// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace tavrolin {

// Walks command-line arguments of the forms "--name value" and "--name=value".
class OptionReader {
public:
    explicit OptionReader(std::span<const std::string_view> args) : m_args(args) {}

    // Moves to the next argument; false when there is none.
    bool Next();
    // The option's name ("--name", without an "=value"), and the argument as it was given.
    std::string_view Name() const { return m_name; }
    std::string_view Argument() const { return m_args[m_index]; }
    bool HasInlineValue() const { return m_inlineValue.has_value(); }
    // The value given with "=", else the next argument (which is then used up); nothing when
    // there is neither.
    std::optional<std::string_view> Value();

private:
    std::span<const std::string_view> m_args;
    std::size_t m_index = 0;
    bool m_started = false;
    std::string_view m_name;
    std::optional<std::string_view> m_inlineValue;
};

}  // namespace tavrolin
