// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <string>
#include <string_view>

namespace tavrolin {

// The received-data list: lines in the order they came, which the user cannot select. One
// line may be the current one, which the list keeps in view; the list policy (PresentReport)
// moves it to the newest line while it stands on the last. Lines are UTF-8, without a line
// end.
class ReceivedList {
public:
    virtual ~ReceivedList();
    virtual int CurrentLine() const = 0;  // -1 when there is none
    virtual int LineCount() const = 0;
    // A line removed: a current line below it moves up with it, the current line itself is
    // gone with it.
    virtual void RemoveLine(int index) = 0;
    virtual void AppendLine(std::string_view line) = 0;  // at the bottom
    virtual void SetCurrentLine(int index) = 0;          // and brings it into view
    virtual void Clear() = 0;
};

// The list without a window: its lines in memory, with the rules of the current line (the
// tests, the benchmarks and the fuzz targets look at what the window would show).
class MemoryList : public ReceivedList {
public:
    int CurrentLine() const override;
    int LineCount() const override;
    void RemoveLine(int index) override;
    void AppendLine(std::string_view line) override;
    void SetCurrentLine(int index) override;
    void Clear() override;

    const std::deque<std::string>& Lines() const { return m_lines; }

private:
    std::deque<std::string> m_lines;
    int m_current = -1;
};

}  // namespace tavrolin
