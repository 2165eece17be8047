// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/SensorOverviewWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "history/History.h"

namespace tavrolin {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

SensorOverviewWindow::SensorOverviewWindow(History& history, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_history(history),
      m_table(new QTableWidget(0, kColumns, this)),
      m_problem(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Sensorübersicht"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Sensor"), QStringLiteral("Name"), QStringLiteral("Letzte Werte"),
         QStringLiteral("Zuletzt empfangen"), QStringLiteral("Übliche Periode"),
         QStringLiteral("Zustand")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setAlternatingRowColors(true);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this] { OpenChart(); });

    m_problem->setWordWrap(true);
    m_problem->hide();
    auto* chart = new QPushButton(QStringLiteral("&Verlauf..."), this);
    connect(chart, &QPushButton::clicked, this, [this] { OpenChart(); });
    auto* close = new QPushButton(QStringLiteral("&Schließen"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_problem, 1);
    buttons->addStretch();
    buttons->addWidget(chart);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);

    // The marks follow the clock, not only the readings: a silent sensor sends none.
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_history.Overview().Check(m_history.NowMs())) {
            Refresh();
        }
    });
    m_timer.start(1000);
    Refresh();
    m_table->resizeColumnsToContents();
    // Room for every row of a large station without scrolling, and for every column.
    const int rows = std::clamp(m_table->rowCount(), 6, 20);
    resize(std::max(760, m_table->horizontalHeader()->length() + 40),
           m_table->horizontalHeader()->height() +
               rows * m_table->verticalHeader()->defaultSectionSize() + 70);
}

void SensorOverviewWindow::Refresh() {
    SensorOverview& overview = m_history.Overview();
    overview.Check(m_history.NowMs());
    const std::vector<OverviewRow> rows = overview.Rows();
    const int selected = m_table->currentRow();
    const SensorKey selectedKey = selected >= 0 && selected < static_cast<int>(m_keys.size())
                                      ? m_keys[selected]
                                      : SensorKey{};
    m_table->setRowCount(static_cast<int>(rows.size()));
    m_keys.clear();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const OverviewRow& row = rows[r];
        m_keys.push_back(row.key);
        const std::string* cells[kColumns] = {&row.id,       &row.name,   &row.values,
                                              &row.lastSeen, &row.period, &row.state};
        for (int c = 0; c < kColumns; ++c) {
            QTableWidgetItem* item = m_table->item(static_cast<int>(r), c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                m_table->setItem(static_cast<int>(r), c, item);
            }
            item->setText(FromUtf8(*cells[c]));
            item->setForeground(row.overdue ? QBrush(QColor(0xC0, 0x00, 0x00)) : QBrush());
            QFont font = item->font();
            font.setBold(row.overdue && c == kState);
            item->setFont(font);
        }
        if (selected >= 0 && row.key == selectedKey) {
            m_table->setCurrentCell(static_cast<int>(r), m_table->currentColumn());
        }
    }
    const std::string& problem = m_history.Problem();
    m_problem->setText(FromUtf8(problem));
    m_problem->setVisible(!problem.empty());
}

void SensorOverviewWindow::OpenChart() {
    if (!onChart) {
        return;
    }
    const int row = m_table->currentRow();
    std::optional<SensorKey> key;
    if (row >= 0 && row < static_cast<int>(m_keys.size()) &&
        !QuantitiesOf(m_keys[static_cast<std::size_t>(row)].kind).empty()) {
        key = m_keys[static_cast<std::size_t>(row)];
    }
    onChart(key);
}

}  // namespace tavrolin
