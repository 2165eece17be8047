// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

#include "decode/ReceivedList.h"
#include "decode/ReportLines.h"

namespace tavrolin {

// The most lines the received-data list holds.
inline constexpr int kMaxListLines = 51;

// Adds the report line (without line end) to the list, dropping the oldest beyond 51 and
// keeping the newest in view.
void PresentReport(std::string_view line, ReceivedList& list);

// The window's received-data list as a sink of report lines; none while the window is gone.
class ListSink : public ReportLineSink {
public:
    explicit ListSink(ReceivedList* list = nullptr) : m_list(list) {}
    void SetList(ReceivedList* list) { m_list = list; }
    void AcceptLine(std::string_view line) override;

private:
    ReceivedList* m_list;
};

}  // namespace tavrolin
