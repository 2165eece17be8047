// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ChartPlot.h"

#include <qcustomplot.h>
#include <algorithm>
#include <cmath>

#include "history/ChartModel.h"
#include "platform/qt/Utf8Text.h"

namespace tavrolin {

namespace {

// One colour per panel of a sensor, in its order: temperature, humidity, pressure, the
// pressure at sea level.
const QColor kColours[] = {QColor(0xB0, 0x30, 0x20), QColor(0x20, 0x60, 0xB0),
                           QColor(0x20, 0x80, 0x40), QColor(0x70, 0x40, 0xA0)};
// The dew point beside the temperature, and the rain.
const QColor kDewPointColour(0x20, 0x90, 0x90);
const QColor kRainColour(0x20, 0x60, 0xB0);

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

// The wind direction's axis: the compass points the line says.
QSharedPointer<QCPAxisTicker> CompassTicker(const ChartLine& line) {
    QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
    for (const AxisTick& tick : line.CompassTicks()) {
        ticker->addTick(tick.at, FromUtf8(tick.label));
    }
    ticker->setSubTickCount(1);
    return ticker;
}

}  // namespace

void DrawChart(QCustomPlot* plot, const ChartModel& model, const QString& title,
               const QFont& titleFont) {
    plot->clearItems();
    plot->clearPlottables();
    plot->plotLayout()->clear();

    int row = 0;
    if (!title.isEmpty()) {
        QFont bold = titleFont;
        bold.setBold(true);
        plot->plotLayout()->addElement(row++, 0, new QCPTextElement(plot, title, bold));
    }
    const std::vector<ChartLine> lines = model.Lines();
    const double from = static_cast<double>(UnixMs(model.From())) / 1000.0;
    const double to = static_cast<double>(UnixMs(model.To())) / 1000.0;
    QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
    for (const AxisTick& tick : TimeTicks(model.Zone(), model.From(), model.To())) {
        ticker->addTick(tick.at, FromUtf8(tick.label));
    }
    QSharedPointer<QCPAxisTicker> whole(new WholeTicker);
    const bool buckets = model.Data().bucketMs > 0;
    auto* margins = new QCPMarginGroup(plot);
    // About the pixels a panel's time axis spans: the plot's width less its value axis's room.
    const double panelPixels = static_cast<double>(std::max(plot->width() - 100, 100));

    for (std::size_t i = 0; i < lines.size() && !model.Data().points.empty(); ++i) {
        const ChartLine& line = lines[i];
        // A legend of a panel with two lines goes on a row of its own above it, so that it
        // covers none of the data.
        QCPLegend* legend = nullptr;
        if (!line.beside.empty()) {
            legend = new QCPLegend;
            plot->plotLayout()->addElement(row++, 0, legend);
            legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
            legend->setBorderPen(Qt::NoPen);
            legend->setMargins(QMargins(0, 0, 0, 0));
        }
        auto* rect = new QCPAxisRect(plot);
        plot->plotLayout()->addElement(row++, 0, rect);
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
        switch (line.scale) {
            case ChartLine::Scale::Compass:
                y->setTicker(CompassTicker(line));
                break;
            case ChartLine::Scale::Logarithmic:
                y->setScaleType(QCPAxis::stLogarithmic);
                y->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTickerLog));
                break;
            case ChartLine::Scale::Linear:
            case ChartLine::Scale::Bars:
                y->setTicker(whole);
                break;
        }
        const ValueAxis axis = line.Axis();
        y->setRange(axis.lower, axis.upper);
        const double floor = line.Floor().value_or(-INFINITY);
        const auto drawn = [floor](const std::vector<double>& values) {
            QVector<double> out(values.begin(), values.end());
            for (double& v : out) {
                v = std::isnan(v) ? v : std::max(v, floor);
            }
            return out;
        };

        // The cursor: a thin line at the time read out.
        auto* cursor = new QCPItemStraightLine(plot);
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
            const double bucket = static_cast<double>(model.Data().bucketMs) / 1000.0;
            const double pixels = bucket * panelPixels / std::max(to - from, 1.0);
            if (pixels < 2) {
                bars->setWidthType(QCPBars::wtAbsolute);
                bars->setWidth(1);
            } else {
                bars->setWidth(bucket * 0.8);
            }
            bars->setData(keys, QVector<double>(line.avg.begin(), line.avg.end()), true);
            // A bar stands in the middle of its bucket: the axis takes in the whole of the
            // first and the last bucket, so that the hour begun shows the rain fallen so far.
            if (!keys.isEmpty()) {
                x->setRange(std::min(from, keys.front() - bucket / 2),
                            std::max(to, keys.back() + bucket / 2));
            }
            continue;
        }
        const QVector<double> avg = drawn(line.avg);
        // Pens one pixel wide: QPainter strokes wider lines through noisy data (a zigzag of
        // hundreds of joins) a hundred times slower, a quarter of a second per replot.
        QCPGraph* mean = plot->addGraph(x, y);
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
            const double across =
                panelPixels / static_cast<double>(std::max<std::size_t>(line.keys.size(), 1));
            // A pale tint of the line's colour, so that the mean stays the thing one sees.
            const auto tint = [](int c) { return 255 - (255 - c) * 3 / 10; };
            const QColor pale(tint(colour.red()), tint(colour.green()), tint(colour.blue()));
            spread->setPen(
                QPen(pale, std::clamp(std::ceil(across), 1.0, 12.0), Qt::SolidLine, Qt::FlatCap));
            spread->setName(QStringLiteral("Minimum bis Maximum"));
        }
        if (legend != nullptr) {
            // The dew point in the temperature's plot, named in the legend above it.
            QCPGraph* beside = plot->addGraph(x, y);
            beside->setPen(QPen(kDewPointColour, 1));
            beside->setName(FromUtf8(line.besideName));
            beside->setData(keys, QVector<double>(line.beside.begin(), line.beside.end()), true);
            mean->setName(FromUtf8(line.name));
            for (QCPGraph* graph : {mean, beside}) {
                legend->addItem(new QCPPlottableLegendItem(legend, graph));
            }
        }
    }
    if (model.Data().points.empty()) {
        // No empty axis: the plot says when the sensor was last heard.
        plot->plotLayout()->addElement(row, 0, new CentredText(plot, FromUtf8(model.EmptyText())));
    }
    // The panels share the height; a legend's row takes only what it needs.
    QCPLayoutGrid* layout = plot->plotLayout();
    for (int r = 0; r < layout->rowCount(); ++r) {
        const bool legendRow = qobject_cast<QCPLegend*>(layout->element(r, 0)) != nullptr;
        layout->setRowStretchFactor(r, legendRow ? 0.001 : 1);
    }
}

}  // namespace tavrolin
