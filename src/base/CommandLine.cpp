// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/CommandLine.h"

#include <algorithm>

namespace tavrolin {

bool OptionReader::Next() {
    if (m_started) {
        ++m_index;
    }
    m_started = true;
    if (m_index >= m_args.size()) {
        return false;
    }
    m_name = m_args[m_index];
    m_inlineValue.reset();
    if (const auto eq = m_name.find('=');
        m_name.starts_with("--") && eq != std::string_view::npos) {
        m_inlineValue = m_name.substr(eq + 1);
        m_name = m_name.substr(0, eq);
    }
    return true;
}

std::optional<std::string_view> OptionReader::Value() {
    if (m_inlineValue) {
        return m_inlineValue;
    }
    if (m_index + 1 < m_args.size()) {
        return m_args[++m_index];
    }
    return std::nullopt;
}

std::optional<std::string> ReadOptions(std::span<const std::string_view> args,
                                       std::initializer_list<StringOption> strings,
                                       std::initializer_list<SwitchOption> switches,
                                       std::string_view program) {
    OptionReader reader(args);
    while (reader.Next()) {
        const std::string_view name = reader.Name();
        const auto string = std::find_if(strings.begin(), strings.end(),
                                         [name](const StringOption& o) { return o.name == name; });
        const auto flag = std::find_if(switches.begin(), switches.end(),
                                       [name](const SwitchOption& o) { return o.name == name; });
        if (string != strings.end()) {
            const std::optional<std::string_view> value = reader.Value();
            if (!value || value->empty()) {
                return std::string(name) + " braucht einen Wert";
            }
            *string->value = std::string(*value);
        } else if (flag != switches.end() && !reader.HasInlineValue()) {
            *flag->on = true;
        } else {
            return "unbekanntes Argument " + std::string(reader.Argument()) + " (" +
                   std::string(program) + " --help zeigt die Aufrufe)";
        }
    }
    return std::nullopt;
}

}  // namespace tavrolin
