// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/OverdueNotices.h"

#include <string>

#include "decode/ReadingText.h"

namespace tavrolin {

void OverdueNotices::Accept(const Reading& reading) {
    m_watched.set(static_cast<std::size_t>(IndexOf(reading.Key())));
}

void OverdueNotices::EndOfPoll() {
    const int64_t steady = m_steadyClock.ReadMs();
    if (m_nextCheckMs && steady < *m_nextCheckMs) {
        return;
    }
    m_nextCheckMs = steady + kCheckEveryMs;
    const Instant now = m_wallClock.Now();
    m_overdue.Update(m_tracker, now, [&](const SensorKey& key, bool overdue) {
        const auto index = static_cast<std::size_t>(IndexOf(key));
        // Only a silence said is followed by its end: a sensor the archive knew as silent
        // before this run is simply heard, when it is.
        if (!m_watched.test(index) || (!overdue && !m_said.test(index))) {
            return;
        }
        m_said.set(index, overdue);
        std::string text =
            "Sensor " + m_names.NameOf(key) + " (" + std::string(SensorIdOf(key)) + ")";
        if (overdue) {
            const Reading& last = m_tracker.At(key).last;
            const bool today = last.LocalDay() == LocalDayIn(m_zone, now);
            text += " seit " + (today ? ClockText(last.Local()) : DateTimeText(last.Local())) +
                    " nicht empfangen.";
        } else {
            text += " wieder empfangen.";
        }
        m_notices.push_back({kCaption, std::move(text),
                             overdue ? MessageIcon::Exclamation : MessageIcon::Information});
    });
}

std::optional<SinkNotice> OverdueNotices::TakeNotice() {
    return TakeFirst(m_notices);
}

}  // namespace tavrolin
