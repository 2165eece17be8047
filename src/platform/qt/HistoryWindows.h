// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <array>
#include <optional>
#include <vector>

#include "decode/Reading.h"
#include "history/ChartModel.h"
#include "platform/qt/ClimateWindow.h"

class QWidget;

namespace tavrolin {

class ChartWindow;
class History;
class QtWindowRunner;
class SensorOverviewWindow;

// The windows beside the receiver window: "Sensorübersicht...", "Verlauf...", "Heute",
// "Monats- und Jahresbericht..." and "Rekorde" in its menu "Ansicht". The overview opens once and
// comes to the front when asked again; a chart opens for each sensor asked for, so that two can be
// compared side by side, and the chart already showing a sensor comes to the front instead of a
// second one. All follow the readings as they come. They belong to the receiver window (owner), so
// that its modal run leaves them usable, and go with it.
class HistoryWindows {
public:
    explicit HistoryWindows(History& history);
    ~HistoryWindows();
    HistoryWindows(const HistoryWindows&) = delete;
    HistoryWindows& operator=(const HistoryWindows&) = delete;

    // Puts the entries into the window's menu "Ansicht" (and its context menu), with the
    // keys Ctrl+1 to Ctrl+5.
    void AddMenuItems(QtWindowRunner& runner);

    SensorOverviewWindow* ShowOverview(QWidget* owner);
    // The chart of a sensor: the open one that shows it, else a new one over the range
    // given (or that of the chart used last, or a day). Without a sensor: the chart used
    // last, or a new one of the first sensor.
    ChartWindow* ShowChart(QWidget* owner, std::optional<SensorKey> sensor,
                           std::optional<ChartRange> range = std::nullopt);
    // "Heute", the report or the records: each opens once and comes to the front when asked
    // again ("Heute" follows the readings).
    ClimateWindow* ShowClimate(QWidget* owner, ClimateWindow::Kind kind);
    // The open charts, the one used last at the end.
    std::vector<ChartWindow*> Charts();

private:
    void OnReading(const Reading& reading);

    History& m_history;
    QPointer<SensorOverviewWindow> m_overview;
    std::vector<QPointer<ChartWindow>> m_charts;
    std::array<QPointer<ClimateWindow>, 3> m_climate;  // by Kind
};

}  // namespace tavrolin
