// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <string>
#include <string_view>

namespace tavrolin {

// The received-data list: an unsorted list box without user selection. Lines are UTF-8,
// without a line end.
class ReceivedList {
public:
    virtual ~ReceivedList();
    virtual int GetCurSel() const = 0;  // -1 when no line is selected
    virtual int GetCount() const = 0;
    virtual void DeleteString(int index) = 0;
    virtual void AddString(std::string_view line) = 0;  // appends at the bottom
    virtual void SetCurSel(int index) = 0;              // selects and scrolls into view
    virtual void ResetContent() = 0;
};

// The list without a window: its lines in memory, with the list box's rules of selection
// (the tests, the benchmarks and the fuzz targets look at what the window would show).
class MemoryList : public ReceivedList {
public:
    int GetCurSel() const override;
    int GetCount() const override;
    void DeleteString(int index) override;
    void AddString(std::string_view line) override;
    void SetCurSel(int index) override;
    void ResetContent() override;

    const std::deque<std::string>& Lines() const { return m_lines; }

private:
    std::deque<std::string> m_lines;
    int m_curSel = -1;
};

}  // namespace tavrolin
