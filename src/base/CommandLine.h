// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
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

// The command line of a program whose options are all strings ("--archive DATEI") and
// switches ("--status"): each value into its string, each switch given set to true. Nothing,
// or what is wrong, in German: a value missing or empty, or an argument that no option is
// (then with "(PROGRAM --help zeigt die Aufrufe)").
struct StringOption {
    std::string_view name;
    std::string* value;
};
struct SwitchOption {
    std::string_view name;
    bool* on;
};
std::optional<std::string> ReadOptions(std::span<const std::string_view> args,
                                       std::initializer_list<StringOption> strings,
                                       std::initializer_list<SwitchOption> switches,
                                       std::string_view program);

}  // namespace tavrolin
