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
    for (const QPointer<ChartWindow>& chart : m_charts) {
        if (chart != nullptr) {
            chart->RememberPlace();
        }
        delete chart;
    }
    if (m_overview != nullptr) {
        m_overview->RememberPlace();
    }
    delete m_overview;
    for (const QPointer<ClimateWindow>& window : m_climate) {
        if (window != nullptr) {
            window->RememberPlace();
        }
        delete window;
    }
}

void HistoryWindows::AddMenuItems(QtWindowRunner& runner) {
    runner.AddMenuItem({QStringLiteral("Sensor&übersicht..."), QKeySequence(Qt::CTRL | Qt::Key_1),
                        [this](QWidget* owner) { ShowOverview(owner); }});
    runner.AddMenuItem({QStringLiteral("&Verlauf..."), QKeySequence(Qt::CTRL | Qt::Key_2),
                        [this](QWidget* owner) { ShowChart(owner, std::nullopt); }});
    runner.AddMenuItem(
        {QStringLiteral("&Heute"), QKeySequence(Qt::CTRL | Qt::Key_3),
         [this](QWidget* owner) { ShowClimate(owner, ClimateWindow::Kind::Today); }});
    runner.AddMenuItem(
        {QStringLiteral("&Monats- und Jahresbericht..."), QKeySequence(Qt::CTRL | Qt::Key_4),
         [this](QWidget* owner) { ShowClimate(owner, ClimateWindow::Kind::Report); }});
    runner.AddMenuItem(
        {QStringLiteral("&Rekorde"), QKeySequence(Qt::CTRL | Qt::Key_5),
         [this](QWidget* owner) { ShowClimate(owner, ClimateWindow::Kind::Records); }});
}

ClimateWindow* HistoryWindows::ShowClimate(QWidget* owner, ClimateWindow::Kind kind) {
    QPointer<ClimateWindow>& window = m_climate[static_cast<std::size_t>(kind)];
    if (window == nullptr) {
        window = new ClimateWindow(m_history, kind, owner);
    } else {
        window->Refresh();
    }
    Raise(window);
    return window;
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

std::vector<ChartWindow*> HistoryWindows::Charts() {
    // Closed charts delete themselves.
    std::erase_if(m_charts, [](const QPointer<ChartWindow>& chart) { return chart.isNull(); });
    std::vector<ChartWindow*> charts;
    for (const QPointer<ChartWindow>& chart : m_charts) {
        charts.push_back(chart);
    }
    return charts;
}

ChartWindow* HistoryWindows::ShowChart(QWidget* owner, std::optional<SensorKey> sensor,
                                       std::optional<ChartRange> range) {
    const std::vector<ChartWindow*> open = Charts();
    ChartWindow* chart = nullptr;
    for (ChartWindow* candidate : open) {
        if (!sensor || candidate->ShownSensor() == sensor) {
            chart = candidate;
        }
    }
    if (chart == nullptr) {
        chart = new ChartWindow(m_history, owner);
        if (!open.empty()) {
            // A little below and to the right of the last one, so that both are seen.
            chart->move(open.back()->pos() + QPoint(32, 32));
        }
        chart->Show(sensor,
                    range.value_or(open.empty() ? ChartRange::Day : open.back()->Model().Range()));
        m_charts.emplace_back(chart);
    } else {
        if (range) {
            chart->Show(sensor, *range);
        }
        // The chart used last goes to the end.
        std::erase(m_charts, QPointer<ChartWindow>(chart));
        m_charts.emplace_back(chart);
    }
    Raise(chart);
    return chart;
}

void HistoryWindows::OnReading(const Reading& reading) {
    if (m_overview != nullptr) {
        m_overview->Refresh();
    }
    for (ChartWindow* chart : Charts()) {
        chart->Add(reading);
    }
    ClimateWindow* today = m_climate[static_cast<std::size_t>(ClimateWindow::Kind::Today)];
    if (today != nullptr) {
        today->Follow();
    }
}

}  // namespace tavrolin
