// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/SensorOverviewWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "history/History.h"
#include "platform/qt/Utf8Text.h"
#include "platform/qt/WindowPlace.h"

namespace tavrolin {

namespace {

const QString kPlaceName = QStringLiteral("Sensoruebersicht");

// The sensor of a row (in its first cell).
constexpr int kSensorRole = Qt::UserRole + 1;
static_assert(SensorOverviewWindow::kColumns == kOverviewColumns);

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
    // The overview sorts its rows itself; the header shows by what.
    QHeaderView* header = m_table->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSectionsClickable(true);
    header->setSortIndicator(kId, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, [this] { Refresh(); });
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
        if (m_history.Overview().Check(m_history.Now())) {
            Refresh();
        }
    });
    m_timer.start(1000);
    Refresh();
    m_table->resizeColumnsToContents();
    // The state's column has room for its mark in bold, which comes later, with the clock.
    QFont bold = font();
    bold.setBold(true);
    int columns = header->sectionSizeHint(kState);
    columns = std::max(
        columns,
        QFontMetrics(bold).horizontalAdvance(QString::fromUtf8(SensorOverview::kOverdueText)) + 24);
    for (int c = 0; c < kState; ++c) {
        columns += header->sectionSize(c);
    }
    // Room for every row of a large station without scrolling, and for every column: the
    // table's frame, a scroll bar and the layout's margins beside the columns.
    const int rows = std::clamp(m_table->rowCount(), 6, 20);
    const QMargins margins = layout->contentsMargins();
    const int frame = 2 * m_table->frameWidth();
    const int scrollBar = m_table->verticalScrollBar()->sizeHint().width();
    const QSize wanted(columns + frame + scrollBar + margins.left() + margins.right(),
                       header->height() + rows * m_table->verticalHeader()->defaultSectionSize() +
                           frame + margins.top() + margins.bottom() + 60);
    RestorePlace(this, kPlaceName, wanted);
}

void SensorOverviewWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // What the styles still add once the window is shown shows as a scroll bar across: the
    // window takes that too, as far as the screen has room.
    QTimer::singleShot(0, this, [this] {
        const int missing = m_table->horizontalHeader()->length() - m_table->viewport()->width();
        const QScreen* shown = screen();
        if (missing > 0 && shown != nullptr) {
            resize(std::min(width() + missing + 2, shown->availableGeometry().width() - 16),
                   height());
        }
    });
}

void SensorOverviewWindow::RememberPlace() const {
    KeepPlace(this, kPlaceName);
}

void SensorOverviewWindow::closeEvent(QCloseEvent* event) {
    RememberPlace();
    event->accept();
}

void SensorOverviewWindow::Refresh() {
    SensorOverview& overview = m_history.Overview();
    overview.Check(m_history.Now());
    std::vector<OverviewRow> rows = overview.Rows();
    const QHeaderView* header = m_table->horizontalHeader();
    OverviewSort(rows, static_cast<OverviewColumn>(header->sortIndicatorSection()),
                 header->sortIndicatorOrder() == Qt::AscendingOrder);
    const std::optional<SensorKey> selected = KeyAt(m_table->currentRow());
    m_table->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const OverviewRow& row = rows[r];
        for (int c = 0; c < kColumns; ++c) {
            QTableWidgetItem* item = m_table->item(static_cast<int>(r), c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                m_table->setItem(static_cast<int>(r), c, item);
            }
            item->setText(FromUtf8(row.Cell(static_cast<OverviewColumn>(c))));
            item->setForeground(row.overdue ? QBrush(QColor(0xC0, 0x00, 0x00)) : QBrush());
            QFont font = item->font();
            font.setBold(row.overdue && c == kState);
            item->setFont(font);
        }
        m_table->item(static_cast<int>(r), kId)->setData(kSensorRole, IndexOf(row.key));
    }
    for (int r = 0; selected && r < m_table->rowCount(); ++r) {
        if (KeyAt(r) == selected) {
            m_table->setCurrentCell(r, std::max(m_table->currentColumn(), 0));
        }
    }
    const std::string& problem = m_history.Problem();
    m_problem->setText(FromUtf8(problem));
    m_problem->setVisible(!problem.empty());
}

std::optional<SensorKey> SensorOverviewWindow::KeyAt(int row) const {
    const QTableWidgetItem* item = row >= 0 ? m_table->item(row, kId) : nullptr;
    if (item == nullptr) {
        return std::nullopt;
    }
    return SensorAt(item->data(kSensorRole).toInt());
}

void SensorOverviewWindow::OpenChart() {
    if (!onChart) {
        return;
    }
    std::optional<SensorKey> key = KeyAt(m_table->currentRow());
    if (key && QuantitiesOf(key->kind).empty()) {
        key.reset();
    }
    onChart(key);
}

}  // namespace tavrolin
