// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ChartWindow.h"

#include <qcustomplot.h>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

#include "history/History.h"
#include "platform/qt/ChartPlot.h"
#include "platform/qt/Utf8Text.h"

namespace tavrolin {

namespace {

const QString kReadoutHint =
    QStringLiteral("Zeigen Sie auf eine Stelle der Kurve, um ihre Werte zu lesen.");

}  // namespace

ChartWindow::ChartWindow(History& history, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_history(history),
      m_model(history.Zone(), history.Weather().rain),
      m_sensorList(new QComboBox(this)),
      m_ranges(new QButtonGroup(this)),
      m_plot(new QCustomPlot(this)),
      m_summary(new QLabel(this)),
      m_readout(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Verlauf"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* top = new QHBoxLayout;
    auto* sensorLabel = new QLabel(QStringLiteral("&Sensor:"), this);
    sensorLabel->setBuddy(m_sensorList);
    top->addWidget(sensorLabel);
    top->addWidget(m_sensorList);
    top->addSpacing(12);
    for (const ChartRange range : kChartRanges) {
        auto* button = new QPushButton(FromUtf8(RangeLabel(range)), this);
        button->setCheckable(true);
        m_ranges->addButton(button, static_cast<int>(range));
        top->addWidget(button);
    }
    top->addStretch();
    auto* save = new QPushButton(QStringLiteral("Als &PNG speichern..."), this);
    top->addWidget(save);

    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_readout->setText(kReadoutHint);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_summary);
    layout->addWidget(m_plot, 1);
    layout->addWidget(m_readout);

    // Month and weekday names, and the decimal comma, in German; numbers without the
    // thousands' dot, as the readout writes them ("1015 hPa").
    QLocale german(QLocale::German, QLocale::Germany);
    german.setNumberOptions(QLocale::OmitGroupSeparator);
    m_plot->setLocale(german);
    m_plot->setNoAntialiasingOnDrag(true);
    // A legend names only what it is given: the first one made becomes the plot's own, and
    // would take every plottable of every panel.
    m_plot->setAutoAddPlottableToLegend(false);
    m_plot->setMouseTracking(true);
    connect(m_plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { OnMouseMove(e); });
    m_plot->installEventFilter(this);
    connect(m_sensorList, &QComboBox::activated, this, [this] { Load(); });
    connect(m_ranges, &QButtonGroup::idClicked, this, [this] { Load(); });
    connect(save, &QPushButton::clicked, this, [this] { AskForPng(); });
    // QCustomPlot lays its axes out in the pixels it has: squeezed below the room its
    // margins and labels take, a replot costs a quarter of a second instead of milliseconds.
    // So the plot never gets that small, and has its size before the first replot.
    m_plot->setMinimumSize(360, 240);
    resize(1000, 700);
    layout->activate();
}

void ChartWindow::FillSensorList() {
    const SensorOverview& overview = m_history.Overview();
    std::vector<SensorKey> sensors = overview.ChartableSensors();
    if (m_sensors == sensors) {
        return;
    }
    const int current = m_sensorList->currentIndex();
    const bool hasShown = current >= 0;
    const SensorKey shown = hasShown ? m_sensors[static_cast<std::size_t>(current)] : SensorKey{};
    m_sensors = std::move(sensors);
    m_sensorList->clear();
    for (const SensorKey& key : m_sensors) {
        m_sensorList->addItem(
            FromUtf8(overview.NameOf(key) + " (" + std::string(SensorIdOf(key)) + ")"));
        if (hasShown && key == shown) {
            m_sensorList->setCurrentIndex(m_sensorList->count() - 1);
        }
    }
}

void ChartWindow::Show(std::optional<SensorKey> sensor, ChartRange range) {
    FillSensorList();
    if (sensor) {
        for (std::size_t i = 0; i < m_sensors.size(); ++i) {
            if (m_sensors[i] == *sensor) {
                m_sensorList->setCurrentIndex(static_cast<int>(i));
            }
        }
    }
    m_ranges->button(static_cast<int>(range))->setChecked(true);
    Load();
}

void ChartWindow::Load() {
    const int index = m_sensorList->currentIndex();
    if (index < 0) {
        m_summary->setText(QStringLiteral("Noch kein Sensor mit Messwerten empfangen."));
        return;
    }
    const SensorKey key = m_sensors[static_cast<std::size_t>(index)];
    const auto range = static_cast<ChartRange>(std::max(m_ranges->checkedId(), 0));
    m_cursorKey.reset();
    m_history.ShowChart(m_model, key, range);
    setWindowTitle(QStringLiteral("Verlauf – ") + m_sensorList->currentText());
    Draw();
}

void ChartWindow::Add(const Reading& reading) {
    if (!QuantitiesOf(reading.kind).empty()) {
        FillSensorList();
        if (m_model.Add(reading)) {
            Draw();
        }
    }
}

void ChartWindow::Draw(const QString& title) {
    DrawChart(m_plot, m_model, title, font());
    m_summary->setText(FromUtf8(m_model.Heading()));
    if (!m_history.Problem().empty()) {
        m_summary->setText(FromUtf8(m_history.Problem()));
    }
    PlaceCursor();
    m_plot->replot();
}

void ChartWindow::ReadOut(double keySeconds) {
    m_cursorKey = keySeconds;
    PlaceCursor();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void ChartWindow::PlaceCursor() {
    const std::optional<std::size_t> point =
        m_cursorKey ? m_model.Nearest(*m_cursorKey) : std::nullopt;
    double key = 0;
    m_readout->setText(point ? FromUtf8(m_model.Readout(*point)) : kReadoutHint);
    if (point) {
        const SeriesPoint& p = m_model.Data().points[*point];
        key = (static_cast<double>(UnixMs(p.time)) +
               static_cast<double>(m_model.Data().bucketMs) / 2) /
              1000.0;
    }
    for (int i = 0; i < m_plot->itemCount(); ++i) {
        if (auto* cursor = qobject_cast<QCPItemStraightLine*>(m_plot->item(i))) {
            cursor->point1->setCoords(key, 0);
            cursor->point2->setCoords(key, 1);
            cursor->setVisible(point.has_value());
        }
    }
}

std::optional<SensorKey> ChartWindow::ShownSensor() const {
    if (m_sensorList->currentIndex() < 0) {
        return std::nullopt;
    }
    return m_model.Sensor();
}

QString ChartWindow::ReadoutText() const {
    return m_readout->text();
}

void ChartWindow::OnMouseMove(QMouseEvent* event) {
    QCPAxisRect* rect = m_plot->axisRectAt(event->position());
    if (rect == nullptr) {
        return;
    }
    ReadOut(rect->axis(QCPAxis::atBottom)->pixelToCoord(event->position().x()));
    QToolTip::showText(event->globalPosition().toPoint(),
                       m_readout->text().replace(QStringLiteral(" · "), "\n"), m_plot);
}

bool ChartWindow::eventFilter(QObject* watched, QEvent* event) {
    // The readout belongs to the pointer: it goes when the pointer leaves the plot.
    if (watched == m_plot && event->type() == QEvent::Leave) {
        ClearReadout();
    }
    return QWidget::eventFilter(watched, event);
}

void ChartWindow::ClearReadout() {
    m_cursorKey.reset();
    QToolTip::hideText();
    PlaceCursor();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

bool ChartWindow::SavePng(const QString& path) {
    // The picture says what it shows, on a line of its own above the plot.
    Draw(FromUtf8(m_model.Title(m_history.Overview().NameOf(m_model.Sensor()))));
    const bool saved = m_plot->savePng(path);
    Draw();
    return saved;
}

void ChartWindow::AskForPng() {
    const QString name = FromUtf8(m_model.FileName());
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Als PNG speichern"),
                                                QDir::home().filePath(name),
                                                QStringLiteral("PNG-Bilder (*.png)"));
    if (path.isEmpty()) {
        return;
    }
    if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
        path += QStringLiteral(".png");
    }
    if (!SavePng(path)) {
        QMessageBox::warning(this, QStringLiteral("Als PNG speichern"),
                             QStringLiteral("Das Bild läßt sich nicht als %1 speichern.")
                                 .arg(QDir::toNativeSeparators(path)));
    }
}

}  // namespace tavrolin
