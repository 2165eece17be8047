// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

#include "decode/Reading.h"

class QLabel;
class QTableWidget;

namespace tavrolin {

class History;

// "Sensorübersicht": a table of every sensor heard (SensorOverview's rows), refreshed with
// every reading and once a second for the overdue marks, which it shows in red. A click on
// a column's header sorts by it (OverviewSort), a second click the other way. A double
// click on a sensor, or "Verlauf...", opens its chart.
class SensorOverviewWindow : public QWidget {
public:
    // OverviewColumn's, in its order.
    enum Column { kId, kName, kValues, kLastSeen, kPeriod, kState, kColumns };

    SensorOverviewWindow(History& history, QWidget* owner);

    // Takes the overview's rows and marks as they are now.
    void Refresh();
    QTableWidget* Table() const { return m_table; }

    // The sensor of the chosen row, or nothing when none with quantities is chosen.
    std::function<void(std::optional<SensorKey>)> onChart;

    // Keeps the window's size and place for the next time it opens (also when it goes with
    // its owner, without being closed).
    void RememberPlace() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OpenChart();
    // The sensor of a row of the table, as it is sorted now.
    std::optional<SensorKey> KeyAt(int row) const;

    History& m_history;
    QTableWidget* m_table;
    QLabel* m_problem;
    QTimer m_timer;
};

}  // namespace tavrolin
