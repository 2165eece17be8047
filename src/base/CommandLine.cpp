// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/CommandLine.h"

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

}  // namespace tavrolin
