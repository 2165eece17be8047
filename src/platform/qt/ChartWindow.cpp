// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ChartWindow.h"

#include <qcustomplot.h>
#include <QButtonGroup>
#include <QComboBox>
#include <QDateTime>
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
#include <cmath>

#include "history/History.h"
#include "platform/qt/Utf8Text.h"

namespace tavrolin {

namespace {

const QString kReadoutHint =
    QStringLiteral("Zeigen Sie auf eine Stelle der Kurve, um ihre Werte zu lesen.");

int OffsetAt(int64_t utcMs) {
    return QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc();
}

// One colour per quantity of a sensor, in its order: temperature, humidity, pressure.
const QColor kColours[] = {QColor(0xB0, 0x30, 0x20), QColor(0x20, 0x60, 0xB0),
                           QColor(0x20, 0x80, 0x40)};
// The dew point beside the temperature, and the rain.
const QColor kDewPointColour(0x20, 0x90, 0x90);
const QColor kRainColour(0x20, 0x60, 0xB0);

// The value range of a line and the one beside it, NaN gaps left out, with a little room
// above and below.
QCPRange ValueRange(const ChartLine& line) {
    double low = INFINITY, high = -INFINITY;
    for (std::size_t i = 0; i < line.keys.size(); ++i) {
        if (!std::isnan(line.min[i])) {
            low = std::min(low, line.min[i]);
            high = std::max(high, line.max[i]);
        }
        if (i < line.beside.size() && !std::isnan(line.beside[i])) {
            low = std::min(low, line.beside[i]);
            high = std::max(high, line.beside[i]);
        }
    }
    if (!std::isfinite(low)) {
        return {0, 1};
    }
    const double room = std::max((high - low) * 0.08, 0.5);
    return {low - room, high + room};
}

// A logarithmic axis from the decade below the smallest positive value to the decade above
// the largest.
QCPRange DecadeRange(const ChartLine& line) {
    double low = INFINITY, high = 0;
    for (std::size_t i = 0; i < line.keys.size(); ++i) {
        if (line.min[i] > 0) {
            low = std::min(low, line.min[i]);
        }
        if (line.max[i] > 0) {
            high = std::max(high, line.max[i]);
        }
    }
    if (!std::isfinite(low)) {
        return {1, 10};
    }
    return {std::pow(10.0, std::floor(std::log10(low))),
            std::pow(10.0, std::ceil(std::log10(high * 1.0001)))};
}

// Ticks on whole units of the quantity, 1, 2 or 5 times a power of ten apart: 1015, 1016,
// 1017 hPa, never 1017,5.
class WholeTicker : public QCPAxisTicker {
protected:
    double getTickStep(const QCPRange& range) override {
        return WholeTickStep(range.size(), tickCount());
    }
};

// A text in the middle of all the room it is given; QCPTextElement keeps to its text's
// height, at the top.
class CentredText : public QCPTextElement {
public:
    CentredText(QCustomPlot* plot, const QString& text) : QCPTextElement(plot, text) {}

protected:
    QSize maximumOuterSizeHint() const override { return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX}; }
};

// The wind direction's axis: the compass points at 0, 90, 180, 270 and 360°.
QSharedPointer<QCPAxisTicker> CompassTicker() {
    QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
    ticker->addTick(0, QStringLiteral("N"));
    ticker->addTick(90, QStringLiteral("O"));
    ticker->addTick(180, QStringLiteral("S"));
    ticker->addTick(270, QStringLiteral("W"));
    ticker->addTick(360, QStringLiteral("N"));
    ticker->setSubTickCount(1);
    return ticker;
}

}  // namespace

ChartWindow::ChartWindow(History& history, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_history(history),
      m_model(OffsetAt, history.Weather().rain),
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
    m_plot->clearItems();
    m_plot->clearPlottables();
    m_plot->plotLayout()->clear();

    int row = 0;
    if (!title.isEmpty()) {
        QFont bold = font();
        bold.setBold(true);
        m_plot->plotLayout()->addElement(row++, 0, new QCPTextElement(m_plot, title, bold));
    }
    const std::vector<ChartLine> lines = m_model.Lines();
    const double from = static_cast<double>(m_model.FromMs()) / 1000.0;
    const double to = static_cast<double>(m_model.ToMs()) / 1000.0;
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeFormat(FromUtf8(TimeTickFormat(m_model.ToMs() - m_model.FromMs())));
    ticker->setTickCount(7);
    QSharedPointer<QCPAxisTicker> whole(new WholeTicker);
    const bool buckets = m_model.Data().bucketMs > 0;
    auto* margins = new QCPMarginGroup(m_plot);

    for (std::size_t i = 0; i < lines.size() && !m_model.Data().points.empty(); ++i) {
        const ChartLine& line = lines[i];
        auto* rect = new QCPAxisRect(m_plot);
        m_plot->plotLayout()->addElement(row + static_cast<int>(i), 0, rect);
        rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
        QCPAxis* x = rect->axis(QCPAxis::atBottom);
        QCPAxis* y = rect->axis(QCPAxis::atLeft);
        x->setTicker(ticker);
        x->setTickLabels(i + 1 == lines.size());
        x->setRange(from, to);
        x->grid()->setPen(QPen(QColor(0xE0, 0xE0, 0xE0), 0));
        y->setLabel(FromUtf8(line.label));
        y->setNumberFormat(QStringLiteral("f"));
        y->setNumberPrecision(0);
        // What lies below a logarithmic axis (a dark night's 0) is drawn on its floor.
        double floor = -INFINITY;
        switch (line.scale) {
            case ChartLine::Scale::Compass:
                y->setTicker(CompassTicker());
                y->setRange(0, 360);
                break;
            case ChartLine::Scale::Logarithmic:
                y->setScaleType(QCPAxis::stLogarithmic);
                y->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTickerLog));
                y->setRange(DecadeRange(line));
                floor = y->range().lower;
                break;
            case ChartLine::Scale::Linear:
                y->setTicker(whole);
                y->setRange(ValueRange(line));
                break;
            case ChartLine::Scale::Bars:
                // From 0 up, to the highest bar and a little more; 1 where nothing fell.
                y->setTicker(whole);
                y->setRange(0, std::max(ValueRange(line).upper, 1.0));
                break;
        }
        const auto drawn = [floor](const std::vector<double>& values) {
            QVector<double> out(values.begin(), values.end());
            for (double& v : out) {
                v = std::isnan(v) ? v : std::max(v, floor);
            }
            return out;
        };

        // The cursor: a thin line at the time read out.
        auto* cursor = new QCPItemStraightLine(m_plot);
        cursor->setClipAxisRect(rect);
        cursor->point1->setAxes(x, y);
        cursor->point2->setAxes(x, y);
        cursor->setPen(QPen(QColor(0x60, 0x60, 0x60), 0, Qt::DashLine));
        cursor->setVisible(false);

        const QColor colour = kColours[i % std::size(kColours)];
        const QVector<double> keys(line.keys.begin(), line.keys.end());
        if (line.scale == ChartLine::Scale::Bars) {
            auto* bars = new QCPBars(x, y);
            bars->setName(FromUtf8(line.name));
            bars->setPen(Qt::NoPen);
            bars->setBrush(kRainColour);
            // A bar as wide as most of its bucket; where buckets are narrower than two
            // pixels (the days of years), a pixel each, so that none vanishes.
            const double bucket = static_cast<double>(m_model.Data().bucketMs) / 1000.0;
            const double pixels = bucket *
                                  static_cast<double>(std::max(m_plot->width() - 100, 100)) /
                                  std::max(to - from, 1.0);
            if (pixels < 2) {
                bars->setWidthType(QCPBars::wtAbsolute);
                bars->setWidth(1);
            } else {
                bars->setWidth(bucket * 0.8);
            }
            bars->setData(keys, QVector<double>(line.avg.begin(), line.avg.end()), true);
            continue;
        }
        const QVector<double> avg = drawn(line.avg);
        // Pens one pixel wide: QPainter strokes wider lines through noisy data (a zigzag of
        // hundreds of joins) a hundred times slower, a quarter of a second per replot.
        QCPGraph* mean = m_plot->addGraph(x, y);
        mean->setPen(QPen(colour, 1));
        mean->setName(QStringLiteral("Mittel"));
        if (line.scale == ChartLine::Scale::Compass) {
            // Points, not a line: from 350° to 10° is a step of 20°, not across the plot.
            mean->setLineStyle(QCPGraph::lsNone);
            mean->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, colour, 3));
        }
        mean->setData(keys, avg, true);
        // A direction has no minimum and maximum: around north they would span the circle.
        if (buckets && line.scale != ChartLine::Scale::Compass) {
            // Minimum to maximum as a bar per bucket behind the mean: at a bucket a pixel
            // or narrower the bars make a band. (A filled band between two graphs costs
            // half a second per replot for a year of noisy data, the bars a few ms.)
            auto* spread = new QCPErrorBars(x, y);
            spread->setLayer(QStringLiteral("grid"));
            spread->setDataPlottable(mean);
            const QVector<double> low = drawn(line.min);
            const QVector<double> high = drawn(line.max);
            QVector<double> below, above;
            below.reserve(keys.size());
            above.reserve(keys.size());
            for (qsizetype k = 0; k < keys.size(); ++k) {
                below.push_back(avg[k] - low[k]);
                above.push_back(high[k] - avg[k]);
            }
            spread->setData(below, above);
            spread->setWhiskerWidth(0);
            spread->setSymbolGap(0);
            // As wide as a bucket is on the screen, so that neighbours touch: a band.
            const double across = static_cast<double>(std::max(m_plot->width() - 100, 100)) /
                                  static_cast<double>(std::max<std::size_t>(line.keys.size(), 1));
            // A pale tint of the line's colour, so that the mean stays the thing one sees.
            const auto tint = [](int c) { return 255 - (255 - c) * 3 / 10; };
            const QColor pale(tint(colour.red()), tint(colour.green()), tint(colour.blue()));
            spread->setPen(
                QPen(pale, std::clamp(std::ceil(across), 1.0, 12.0), Qt::SolidLine, Qt::FlatCap));
            spread->setName(QStringLiteral("Minimum bis Maximum"));
        }
        if (!line.beside.empty()) {
            // The dew point in the temperature's plot, named in a legend in its corner.
            QCPGraph* beside = m_plot->addGraph(x, y);
            beside->setPen(QPen(kDewPointColour, 1));
            beside->setName(FromUtf8(line.besideName));
            beside->setData(keys, QVector<double>(line.beside.begin(), line.beside.end()), true);
            mean->setName(FromUtf8(line.name));
            auto* legend = new QCPLegend;
            rect->insetLayout()->addElement(legend, Qt::AlignTop | Qt::AlignRight);
            legend->setLayer(QStringLiteral("legend"));
            legend->setBrush(QColor(255, 255, 255, 200));
            legend->setBorderPen(QPen(QColor(0xC0, 0xC0, 0xC0)));
            for (QCPGraph* graph : {mean, beside}) {
                legend->addItem(new QCPPlottableLegendItem(legend, graph));
            }
        }
    }
    if (m_model.Data().points.empty()) {
        // No empty axis: the plot says when the sensor was last heard.
        m_plot->plotLayout()->addElement(row, 0,
                                         new CentredText(m_plot, FromUtf8(m_model.EmptyText())));
    }
    const QDateTime end = QDateTime::fromMSecsSinceEpoch(m_model.ToMs());
    m_summary->setText(FromUtf8(RangeLabel(m_model.Range())) + QStringLiteral(" bis ") +
                       end.toString(QStringLiteral("dd.MM.yyyy HH:mm")) + QStringLiteral(" · ") +
                       FromUtf8(m_model.Summary()));
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
        key = (static_cast<double>(p.timeMs) + static_cast<double>(m_model.Data().bucketMs) / 2) /
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
