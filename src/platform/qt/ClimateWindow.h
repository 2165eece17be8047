// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "archive/ArchiveQuery.h"
#include "base/Clock.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QSpinBox;

namespace tavrolin {

class History;

// The windows "Heute", "Monats- und Jahresbericht..." and "Rekorde" of the menu "Ansicht":
// what tavrolin-history report and records write as their German table, in a fixed-width
// font, of the archive as it is now. "Heute" shows each main sensor's value now and today's
// figures and follows the readings; the report chooses a sensor, a year and a month (or the
// whole year) and saves its CSV as the command line writes it; the records choose a sensor.
class ClimateWindow : public QWidget {
public:
    enum class Kind { Today, Report, Records };

    ClimateWindow(History& history, Kind kind, QWidget* owner);

    Kind WindowKind() const { return m_kind; }
    // Reads the archive again and shows what it gives now.
    void Refresh();
    // After a reading: Refresh, at most every kFollowEvery (a month's report of each main
    // sensor takes some milliseconds, and the archive has a reading only after its commit).
    void Follow();
    static constexpr Milliseconds kFollowEvery{10000};
    QString Shown() const;
    // The report's choices: a sensor of the list, a year, a month 1..12 or 0 for the year.
    void Choose(int sensorIndex, int year, int month);
    QComboBox* Sensors() const { return m_sensor; }
    // The report shown, as tavrolin-history report --format csv writes it, into `path`;
    // false when it cannot be written.
    bool SaveCsv(const QString& path);

    void RememberPlace() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void AskForCsv();
    const SensorSummary* ChosenSensor() const;

    History& m_history;
    const Kind m_kind;
    std::vector<SensorSummary> m_sensors;
    QComboBox* m_sensor = nullptr;
    QSpinBox* m_year = nullptr;
    QComboBox* m_month = nullptr;
    QPlainTextEdit* m_text;
    std::string m_csv;  // of the report shown
    Instant m_shownAt;
    QLabel* m_problem;
};

}  // namespace tavrolin
