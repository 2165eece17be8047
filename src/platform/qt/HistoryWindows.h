// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <optional>

#include "decode/Reading.h"
#include "history/ChartModel.h"

class QWidget;

namespace tavrolin {

class ChartWindow;
class History;
class QtWindowRunner;
class SensorOverviewWindow;

// The windows beside the receiver window: "Sensorübersicht..." and "Verlauf..." in its
// context menu. Each opens once and comes to the front when asked again; both follow the
// readings as they come. They belong to the receiver window (owner), so that its modal run
// leaves them usable, and go with it.
class HistoryWindows {
public:
    explicit HistoryWindows(History& history);
    ~HistoryWindows();
    HistoryWindows(const HistoryWindows&) = delete;
    HistoryWindows& operator=(const HistoryWindows&) = delete;

    // Puts both entries into the window's context menu.
    void AddMenuItems(QtWindowRunner& runner);

    SensorOverviewWindow* ShowOverview(QWidget* owner);
    ChartWindow* ShowChart(QWidget* owner, std::optional<SensorKey> sensor,
                           ChartRange range = ChartRange::Day);

private:
    void OnReading(const Reading& reading);

    History& m_history;
    QPointer<SensorOverviewWindow> m_overview;
    QPointer<ChartWindow> m_chart;
};

}  // namespace tavrolin
