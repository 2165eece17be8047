// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTimer>
#include <QWidget>
#include <optional>
#include <vector>

#include "history/ChartModel.h"

class QButtonGroup;
class QComboBox;
class QCustomPlot;
class QLabel;
class QMouseEvent;

namespace tavrolin {

class History;

// "Verlauf": one sensor's quantities over a range, one plot above the other on a common time
// axis in local time. What is drawn comes from the ChartModel, and DrawChart (ChartPlot.h)
// draws it; this window holds the sensor list, the range buttons, "Zeitraum..." for a span of
// chosen dates, and the readout. The wheel zooms the time axis of all panels together and a
// drag pans it; a moment after, the archive is asked for the span shown (finer buckets for a
// closer look). The pointer's point is read out below the plot and in a tooltip, until the
// pointer leaves or another sensor or range is chosen. "Als CSV speichern..." writes the
// readings of the range shown as tavrolin-history export does, "Als PNG speichern..." the
// plot with a line that says what it shows. The window keeps its size: no text widens it.
class ChartWindow : public QWidget {
public:
    ChartWindow(History& history, QWidget* owner);

    // Shows a sensor (nothing: the one shown, or the first of the list) over a range.
    void Show(std::optional<SensorKey> sensor, ChartRange range);
    // The shown sensor over a span of dates (also where zooming and panning end).
    void ShowSpan(Instant from, Instant to);
    // A reading as it comes: drawn when the range is a live one and the sensor is shown.
    void Add(const Reading& reading);
    // Writes the plot as it is drawn; false when the file cannot be written.
    bool SavePng(const QString& path);
    // Writes the readings of the range shown as CSV; false when that failed.
    bool SaveCsv(const QString& path);

    const ChartModel& Model() const { return m_model; }
    // The sensor shown; none before a sensor with values has been heard.
    std::optional<SensorKey> ShownSensor() const;
    QCustomPlot* Plot() const { return m_plot; }
    QString ReadoutText() const;
    // Reads out the point under a time (UTC seconds), as the mouse does.
    void ReadOut(double keySeconds);

    // Keeps the window's size and place for the next time it opens (also when it goes with
    // its owner, without being closed).
    void RememberPlace() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FillSensorList();
    void Load();
    // Draws the model; a title goes on a line above the plot (for a saved picture).
    void Draw(const QString& title = {});
    // Puts the cursor line and the readout at the point under m_cursorKey.
    void PlaceCursor();
    // The time axes follow the one zoomed or panned, with ticks for what they show.
    void OnTimeAxisChanged(double lower, double upper);
    void AskForSpan();
    void AskForPng();
    void AskForCsv();
    void OnMouseMove(QMouseEvent* event);
    void ClearReadout();
    bool eventFilter(QObject* watched, QEvent* event) override;

    History& m_history;
    ChartModel m_model;
    std::vector<SensorKey> m_sensors;  // of the list's entries
    QComboBox* m_sensorList;
    QButtonGroup* m_ranges;
    QCustomPlot* m_plot;
    QLabel* m_summary;
    QLabel* m_readout;
    std::optional<double> m_cursorKey;  // where the mouse last read out, UTC seconds
    bool m_drawing = false;             // the axes' ranges are being set, not zoomed
    // After the last turn of the wheel or move of a drag: the span shown is fetched.
    QTimer m_settle;
};

}  // namespace tavrolin
