// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/HistoryWindows.h"

#include "history/History.h"
#include "platform/qt/ChartWindow.h"
#include "platform/qt/QtWindowRunner.h"
#include "platform/qt/SensorOverviewWindow.h"

namespace tavrolin {

namespace {

void Raise(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

HistoryWindows::HistoryWindows(History& history) : m_history(history) {
    m_history.OnReading([this](const Reading& reading) { OnReading(reading); });
}

HistoryWindows::~HistoryWindows() {
    m_history.OnReading(nullptr);
    delete m_chart;
    delete m_overview;
}

void HistoryWindows::AddMenuItems(QtWindowRunner& runner) {
    runner.AddMenuItem(QStringLiteral("Sensor&übersicht..."),
                       [this](QWidget* owner) { ShowOverview(owner); });
    runner.AddMenuItem(QStringLiteral("&Verlauf..."),
                       [this](QWidget* owner) { ShowChart(owner, std::nullopt); });
}

SensorOverviewWindow* HistoryWindows::ShowOverview(QWidget* owner) {
    if (m_overview == nullptr) {
        m_overview = new SensorOverviewWindow(m_history, owner);
        m_overview->onChart = [this](std::optional<SensorKey> sensor) {
            ShowChart(m_overview->parentWidget(), sensor);
        };
    }
    Raise(m_overview);
    return m_overview;
}

ChartWindow* HistoryWindows::ShowChart(QWidget* owner, std::optional<SensorKey> sensor,
                                       ChartRange range) {
    if (m_chart == nullptr) {
        m_chart = new ChartWindow(m_history, owner);
        m_chart->Show(sensor, range);
    } else if (sensor) {
        m_chart->Show(sensor, m_chart->Model().Range());
    }
    Raise(m_chart);
    return m_chart;
}

void HistoryWindows::OnReading(const Reading& reading) {
    if (m_overview != nullptr) {
        m_overview->Refresh();
    }
    if (m_chart != nullptr) {
        m_chart->Add(reading);
    }
}

}  // namespace tavrolin
