// SPDX-License-Identifier: GPL-3.0-or-later
// The sensor overview and the chart window on the real widgets, over a small archive in a
// temporary folder with known readings, the time from a fake clock.
#include <qcustomplot.h>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QTableWidget>
#include <QtTest>
#include <cmath>
#include <optional>
#include <vector>

#include "ArchiveFixtures.h"
#include "FakeClocks.h"
#include "TempDir.h"
#include "archive/Archive.h"
#include "history/ArchiveSeed.h"
#include "history/History.h"
#include "platform/qt/ChartWindow.h"
#include "platform/qt/ClimateWindow.h"
#include "platform/qt/HistoryWindows.h"
#include "platform/qt/SensorOverviewWindow.h"

using namespace tavrolin;
using namespace tavrolin::testing;

namespace {

constexpr int64_t kNow = kT0;

// The test's zone: CET all year, as the fake clock keeps it.
Reading OutdoorHere(int address, int64_t t, int32_t tenths, int32_t humidity = 60) {
    return testing::Outdoor(address, t, tenths, humidity, kCet);
}

// What the program does at its start with the archive on.
void Seed(const std::string& path, SensorTracker& tracker) {
    Archive archive;
    QVERIFY(archive.Open(path, Archive::Access::Read, 1000).Ok());
    WeatherDerivation derivation({});
    QVERIFY(SeedFromArchive(archive, derivation, tracker).Ok());
}

// Outdoor 1: every three minutes over the last two days, 10.0 °C at even and 20.0 °C at odd
// readings; before that 5.0 °C every two hours for two years. Outdoor 3: the last day only, then
// silent for an hour.
void WriteArchive(const std::string& path) {
    Archive archive;
    QVERIFY(archive.Open(path, Archive::Access::Write, 1000).Ok());
    std::vector<Reading> readings;
    for (int64_t hours = 730 * 24; hours > 48; hours -= 2) {
        readings.push_back(OutdoorHere(1, kNow - hours * 3600000, 50, 80));
    }
    for (int64_t i = 2 * 480; i > 0; --i) {
        readings.push_back(OutdoorHere(1, kNow - i * 3 * kMinute, i % 2 == 0 ? 100 : 200));
    }
    for (int64_t i = 480; i > 20; --i) {
        readings.push_back(OutdoorHere(3, kNow - i * 3 * kMinute, 55));
    }
    QVERIFY(archive.Write(readings).Ok());
}

}  // namespace

class HistoryWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Each test opens its windows as for the first time.
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("tavrolin"),
                  QStringLiteral("fenster"))
            .clear();
    }

    // On the smallest screen the windows are made for (1280 × 800), each opens with all its
    // content in view, keeps its size while the pointer reads out, names every sensor whole,
    // and draws the legend where it covers no data. The wheel zooms the time axis of every
    // panel at once, and the archive is asked for the span then shown; what is shown can be
    // saved as CSV, as tavrolin-history export writes it.
    void WindowsFitTheScreenKeepTheirSizeZoomAndSaveWhatTheyShow() {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(screen.size(), QSize(1280, 800));
        TempDir dir;
        WriteArchive(dir.File("archiv.sqlite"));
        FakeWallClock clock(LocalTimeAt(FromUnixMs(kNow), kCet));
        SensorTracker tracker;
        Seed(dir.File("archiv.sqlite"), tracker);
        SensorNames names;
        names.Set(kGarden, "Gartenhaus am Teich");
        History history(names, tracker, dir.File("archiv.sqlite"), clock, clock, {});
        HistoryWindows windows(history);
        const auto allInView = [](QWidget* window) {
            for (QWidget* child : window->findChildren<QWidget*>()) {
                if (child->isVisible() && child->isWindow() == false) {
                    const QRect r(child->mapTo(window, QPoint(0, 0)), child->size());
                    QVERIFY2(window->rect().contains(r),
                             qPrintable(child->metaObject()->className()));
                }
            }
        };

        SensorOverviewWindow* overview = windows.ShowOverview(nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(overview));
        QTRY_VERIFY(overview->Table()->horizontalHeader()->length() <=
                    overview->Table()->viewport()->width());
        QVERIFY(overview->frameGeometry().width() <= screen.width());
        QVERIFY(overview->frameGeometry().height() <= screen.height());
        allInView(overview);

        ChartWindow* chart = windows.ShowChart(nullptr, kGarden, ChartRange::Week);
        QVERIFY(QTest::qWaitForWindowExposed(chart));
        QVERIFY(chart->frameGeometry().width() <= screen.width());
        QVERIFY(chart->frameGeometry().height() <= screen.height());
        allInView(chart);
        auto* sensors = chart->findChild<QComboBox*>();
        QVERIFY(sensors->width() >=
                sensors->fontMetrics().horizontalAdvance(sensors->currentText()));
        // The legend stands above the temperature's panel, apart from its data.
        QCustomPlot* plot = chart->Plot();
        QCPLegend* legend = nullptr;
        for (int i = 0; i < plot->plotLayout()->elementCount() && legend == nullptr; ++i) {
            legend = qobject_cast<QCPLegend*>(plot->plotLayout()->elementAt(i));
        }
        QVERIFY(legend != nullptr);
        QVERIFY(!legend->outerRect().intersects(plot->axisRect(0)->rect()));

        // The pointer across the plot, over readings and over the gap before them: the
        // window keeps its size, even as narrow as it goes, and the readout says where there
        // is no reading.
        chart->resize(chart->minimumSizeHint());
        QApplication::processEvents();
        const QSize size = chart->size();
        QCPAxisRect* rect = plot->axisRect(0);
        QStringList readouts;
        for (int x = rect->left() + 2; x < rect->right(); x += 40) {
            QMouseEvent move(QEvent::MouseMove, QPointF(x, rect->center().y()),
                             plot->mapToGlobal(QPointF(x, rect->center().y())), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(plot, &move);
            QApplication::processEvents();
            readouts << chart->ReadoutText();
            QCOMPARE(chart->size(), size);
        }
        // Nor does a readout longer than any: it wraps.
        for (QLabel* label : chart->findChildren<QLabel*>()) {
            if (label->text() == chart->ReadoutText()) {
                label->setText(readouts.back().repeated(8));
            }
        }
        QApplication::processEvents();
        QCOMPARE(chart->size(), size);
        QVERIFY(chart->minimumSizeHint().width() <= size.width());
        QVERIFY2(readouts.front().endsWith(QStringLiteral(" · keine Messung")),
                 qPrintable(readouts.front()));  // a week back: the readings of 2 days only
        QVERIFY2(readouts.back().contains(QStringLiteral("Temperatur")),
                 qPrintable(readouts.back()));

        // The wheel over the plot zooms every panel's time axis alike; a moment later the
        // span shown comes from the archive, in finer buckets.
        const QCPRange before = rect->axis(QCPAxis::atBottom)->range();
        const QPointF centre = rect->center();
        QWheelEvent wheel(centre, plot->mapToGlobal(centre), QPoint(), QPoint(0, 960), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot, &wheel);
        const QCPRange zoomed = plot->axisRect(0)->axis(QCPAxis::atBottom)->range();
        QVERIFY(zoomed.size() < before.size() / 2);
        QCOMPARE(plot->axisRect(1)->axis(QCPAxis::atBottom)->range(), zoomed);
        QTRY_COMPARE(chart->Model().Range(), ChartRange::Chosen);
        QCOMPARE(UnixMs(chart->Model().From()), std::llround(zoomed.lower * 1000));
        QCOMPARE(UnixMs(chart->Model().To()), std::llround(zoomed.upper * 1000));

        // What is shown, as CSV: the export's header and a line per reading of the span.
        const QString csv = QString::fromStdString(dir.File("gezeigt.csv"));
        QVERIFY(chart->SaveCsv(csv));
        QFile saved(csv);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = saved.readAll().split('\n');
        QCOMPARE(lines.front(),
                 QByteArray("time,sensor,v12,interval,temperature,humidity,dew_point\r"));
        QCOMPARE(lines.size() - 2, static_cast<qsizetype>(chart->Model().Data().points.size()));
        chart->close();
        overview->close();
    }

    void ChartShowsTheReadingsOfADayAndBucketsOfAYear() {
        TempDir dir;
        WriteArchive(dir.File("archiv.sqlite"));
        FakeWallClock clock(LocalTimeAt(FromUnixMs(kNow), kCet));
        SensorTracker tracker;
        Seed(dir.File("archiv.sqlite"), tracker);
        History history(SensorNames(), tracker, dir.File("archiv.sqlite"), clock, clock, {});
        HistoryWindows windows(history);
        ChartWindow* chart = windows.ShowChart(nullptr, kGarden, ChartRange::Day);
        QCustomPlot* plot = chart->Plot();

        // A day: the readings themselves, one line per quantity, the dew point beside the
        // temperature in its plot.
        QCOMPARE(chart->Model().Data().bucketMs, 0);
        QCOMPARE(plot->graphCount(), 3);
        QCOMPARE(plot->graph(0)->data()->size(), 479);
        QCOMPARE(plot->graph(0)->data()->at(0)->key, (kNow - 479 * 3 * kMinute) / 1000.0);
        QCOMPARE(plot->graph(0)->data()->at(0)->value, 20.0);
        QCOMPARE(plot->graph(2)->valueAxis()->label(), QStringLiteral("Feuchte (%)"));
        QCOMPARE(plot->graph(0)->valueAxis()->label(), QStringLiteral("Temperatur (°C)"));
        QCOMPARE(plot->graph(1)->valueAxis(), plot->graph(0)->valueAxis());
        QCOMPARE(plot->graph(1)->name(), QStringLiteral("Taupunkt"));
        QCOMPARE(plot->graph(1)->data()->at(0)->value, 12.0);  // 20,0 °C at 60 %
        QVERIFY(plot->legend != nullptr);
        QCOMPARE(plot->legend->itemCount(), 2);  // the temperature and the dew point alone
        const QCPRange x = plot->graph(0)->keyAxis()->range();
        QCOMPARE(x.upper - x.lower, 86400.0);
        QCOMPARE(x.upper, (kNow + 1) / 1000.0);

        // A reading while it is open: drawn at once.
        clock.SetInstant(FromUnixMs(kNow + kMinute));
        for (const Reading& heard : {OutdoorHere(1, kNow + kMinute, 123)}) {
            tracker.Accept(heard);
            history.Sink().Accept(heard);
        }
        QCOMPARE(plot->graph(0)->data()->size(), 480);
        chart->ReadOut((kNow + kMinute) / 1000.0);
        QVERIFY2(chart->ReadoutText().contains(QStringLiteral("Temperatur 12,3 °C")),
                 qPrintable(chart->ReadoutText()));

        // A year: the mean per bucket, and minimum to maximum behind it, from the summaries.
        chart->Show(kGarden, ChartRange::Year);
        const Series& year = chart->Model().Data();
        QCOMPARE(year.bucketMs, kMsPerDay);
        QCOMPARE(plot->graphCount(), 3);
        QCOMPARE(plot->plottableCount(), 5);
        QCPGraph* mean = plot->graph(0);
        QCPErrorBars* spread = nullptr;
        for (int i = 0; i < plot->plottableCount() && spread == nullptr; ++i) {
            spread = qobject_cast<QCPErrorBars*>(plot->plottable(i));
        }
        QVERIFY(spread != nullptr);
        QCOMPARE(spread->dataPlottable(), mean);
        // Yesterday holds both 10.0 and 20.0.
        const auto& points = year.points;
        const std::size_t busy = points.size() - 2;
        QVERIFY(points[busy].count > 100);
        QCOMPARE(points[busy].min[0], 10.0);
        QCOMPARE(points[busy].max[0], 20.0);
        QVERIFY(std::abs(points[busy].avg[0] - 15.0) < 0.1);
        QCOMPARE(mean->data()->at(static_cast<int>(busy))->value, points[busy].avg[0]);
        QCOMPARE(spread->data()->at(static_cast<int>(busy)).errorMinus, points[busy].avg[0] - 10.0);
        QCOMPARE(spread->data()->at(static_cast<int>(busy)).errorPlus, 20.0 - points[busy].avg[0]);
        // Older buckets hold 5.0 alone; the line breaks nowhere in them.
        QCOMPARE(points.front().avg[0], 5.0);
        QVERIFY(mean->data()->size() >= static_cast<int>(points.size()));
        QVERIFY(std::isfinite(mean->data()->at(1)->value));

        // The whole archive begins with the first reading, two years back.
        chart->Show(kGarden, ChartRange::All);
        QCOMPARE(UnixMs(chart->Model().From()), kNow - 730 * kMsPerDay);
        QVERIFY(chart->Model().Data().bucketMs > 0);

        const QString png = QString::fromStdString(dir.File("verlauf.png"));
        QVERIFY(chart->SavePng(png));
        QCOMPARE(QImage(png).isNull(), false);
        QVERIFY(!chart->SavePng(QString::fromStdString(dir.File("no/folder.png"))));
    }

    void OverviewMarksASilentSensorOverdueUntilItIsHeardAgain() {
        TempDir dir;
        WriteArchive(dir.File("archiv.sqlite"));
        FakeWallClock clock(LocalTimeAt(FromUnixMs(kNow), kCet));
        SensorNames names;
        names.Set(kGarden, "Garten");
        SensorTracker tracker;
        Seed(dir.File("archiv.sqlite"), tracker);
        History history(names, tracker, dir.File("archiv.sqlite"), clock, clock, {});
        HistoryWindows windows(history);
        SensorOverviewWindow* overview = windows.ShowOverview(nullptr);
        QTableWidget* table = overview->Table();

        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(0, SensorOverviewWindow::kName)->text(), QStringLiteral("Garten"));
        QCOMPARE(table->item(0, SensorOverviewWindow::kPeriod)->text(), QStringLiteral("00:03:00"));
        QCOMPARE(table->item(0, SensorOverviewWindow::kState)->text(), QString());
        // Outdoor 3 has been silent for an hour, twenty periods.
        QTableWidgetItem* state = table->item(1, SensorOverviewWindow::kState);
        QCOMPARE(table->item(1, SensorOverviewWindow::kId)->text(), QStringLiteral("outdoor-3"));
        QCOMPARE(state->text(), QStringLiteral("überfällig"));
        QCOMPARE(state->foreground().color(), QColor(0xC0, 0x00, 0x00));

        // Ten minutes on, the garden sensor is overdue too: the window's clock tick finds it.
        clock.SetInstant(FromUnixMs(kNow + 10 * kMinute));
        QTRY_COMPARE_WITH_TIMEOUT(table->item(0, SensorOverviewWindow::kState)->text(),
                                  QStringLiteral("überfällig"), 3000);

        // Heard again: the mark goes with the reading.
        for (const Reading& heard : {OutdoorHere(3, kNow + 10 * kMinute, 66)}) {
            tracker.Accept(heard);
            history.Sink().Accept(heard);
        }
        QCOMPARE(table->item(1, SensorOverviewWindow::kState)->text(), QString());
        QCOMPARE(table->item(1, SensorOverviewWindow::kValues)->text(),
                 QStringLiteral("6,6 °C, 60 %"));
        QCOMPARE(table->item(1, SensorOverviewWindow::kValues)->foreground().color(),
                 QBrush().color());

        // A click on a column's header sorts by it, by number: the lower temperature first
        // (6,6 before 10,0), or last when clicked again; readings keep the order, and a
        // double click opens the chart of the sensor in that row.
        QHeaderView* header = table->horizontalHeader();
        const auto clickHeader = [header](int column) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 10, 5));
        };
        const auto ids = [table] {
            QStringList list;
            for (int r = 0; r < table->rowCount(); ++r) {
                list << table->item(r, SensorOverviewWindow::kId)->text();
            }
            return list;
        };
        const QStringList lowFirst = {QStringLiteral("outdoor-3"), QStringLiteral("outdoor-1")};
        const QStringList highFirst = {QStringLiteral("outdoor-1"), QStringLiteral("outdoor-3")};
        clickHeader(SensorOverviewWindow::kValues);
        QCOMPARE(ids(), header->sortIndicatorOrder() == Qt::AscendingOrder ? lowFirst : highFirst);
        clickHeader(SensorOverviewWindow::kValues);
        QCOMPARE(ids(), header->sortIndicatorOrder() == Qt::AscendingOrder ? lowFirst : highFirst);
        const QStringList sorted = ids();
        for (const Reading& heard : {OutdoorHere(3, kNow + 11 * kMinute, 67)}) {
            tracker.Accept(heard);
            history.Sink().Accept(heard);
        }
        QCOMPARE(ids(), sorted);
        std::optional<SensorKey> opened;
        overview->onChart = [&opened](std::optional<SensorKey> key) { opened = key; };
        table->setCurrentCell(0, SensorOverviewWindow::kName);
        emit table->cellDoubleClicked(0, SensorOverviewWindow::kName);
        QVERIFY(opened.has_value());
        QCOMPARE(QString::fromUtf8(SensorIdOf(*opened).data()), sorted.front());
    }

    void EachSensorHasItsChartAndEachChartReadsOutOnlyItsOwn() {
        TempDir dir;
        WriteArchive(dir.File("archiv.sqlite"));
        FakeWallClock clock(LocalTimeAt(FromUnixMs(kNow), kCet));
        SensorTracker tracker;
        Seed(dir.File("archiv.sqlite"), tracker);
        History history(SensorNames(), tracker, dir.File("archiv.sqlite"), clock, clock, {});
        HistoryWindows windows(history);
        ChartWindow* garden = windows.ShowChart(nullptr, kGarden, ChartRange::Day);
        const QString hint = garden->ReadoutText();

        // The readout goes with a change of range, and when the pointer leaves the plot.
        garden->ReadOut(kNow / 1000.0);
        QVERIFY(garden->ReadoutText().contains(QStringLiteral("Temperatur")));
        garden->Show(kGarden, ChartRange::Week);
        QCOMPARE(garden->ReadoutText(), hint);
        garden->ReadOut(kNow / 1000.0);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(garden->Plot(), &leave);
        QCOMPARE(garden->ReadoutText(), hint);

        // Another sensor opens a window of its own, over the range used last; asked again,
        // the garden's chart comes to the front rather than a third.
        const SensorKey other{SensorKind::Outdoor, 3, false};
        ChartWindow* second = windows.ShowChart(nullptr, other);
        QVERIFY(second != garden);
        QCOMPARE(second->Model().Range(), ChartRange::Week);
        QCOMPARE(windows.ShowChart(nullptr, kGarden), garden);
        QCOMPARE(windows.Charts(), (std::vector<ChartWindow*>{second, garden}));

        // A reading goes to the chart of its sensor alone.
        garden->ReadOut(kNow / 1000.0);
        const QString gardenReadout = garden->ReadoutText();
        const std::size_t gardenPoints = garden->Model().Data().points.size();
        const std::size_t otherPoints = second->Model().Data().points.size();
        clock.SetInstant(FromUnixMs(kNow + kMinute));
        for (const Reading& heard : {OutdoorHere(3, kNow + kMinute, 66)}) {
            tracker.Accept(heard);
            history.Sink().Accept(heard);
        }
        QCOMPARE(second->Model().Data().points.size(), otherPoints + 1);
        QCOMPARE(second->Model().Data().points.back().avg[0], 6.6);
        QCOMPARE(garden->Model().Data().points.size(), gardenPoints);
        QCOMPARE(garden->ReadoutText(), gardenReadout);

        second->close();  // deletes itself
        QTRY_COMPARE(windows.Charts(), std::vector<ChartWindow*>{garden});
    }

    void WindOnACompassLightAsOneNumberAndAnEmptyRangeSaysWhenItWasLastHeard() {
        TempDir dir;
        const std::string path = dir.File("archiv.sqlite");
        const SensorKey mast{SensorKind::Wind, 3, false};
        const SensorKey roof{SensorKind::Brightness, 0, false};
        const SensorKey quiet{SensorKind::TempOnly, 2, false};
        {
            // Two days of wind either side of north, of light from dark to bright, and a
            // thermometer heard last ten days ago.
            Archive archive;
            QVERIFY(archive.Open(path, Archive::Access::Write, 1000).Ok());
            std::vector<Reading> readings;
            for (int64_t i = 2 * 480; i > 0; --i) {
                const int64_t t = kNow - i * 3 * kMinute;
                Reading wind = OutdoorHere(3, t, 0);
                wind.kind = SensorKind::Wind;
                wind.values[0] = {Quantity::WindSpeed, 80};
                wind.values[1] = {Quantity::WindDirection, i % 2 == 0 ? 350 : 10};
                wind.values[2] = {Quantity::WindB, 2};
                wind.valueCount = 3;
                Reading light = OutdoorHere(0, t + 1000, 0);
                light.kind = SensorKind::Brightness;
                light.values[0] = {Quantity::Value, static_cast<int32_t>(i % 100) * 80};
                light.values[1] = {Quantity::Factor, i % 3 == 0 ? 10 : 1};
                readings.push_back(wind);
                readings.push_back(light);
            }
            Reading old = OutdoorHere(2, kNow - 10 * kMsPerDay, 55);
            old.kind = SensorKind::TempOnly;
            old.valueCount = 1;
            readings.push_back(old);
            QVERIFY(archive.Write(readings).Ok());
        }
        FakeWallClock clock(LocalTimeAt(FromUnixMs(kNow), kCet));
        SensorTracker tracker;
        Seed(path, tracker);
        History history(SensorNames(), tracker, path, clock, clock, {});
        HistoryWindows windows(history);

        ChartWindow* wind = windows.ShowChart(nullptr, mast, ChartRange::Year);
        QCustomPlot* plot = wind->Plot();
        QCOMPARE(plot->axisRectCount(), 3);
        QCPAxis* direction = plot->axisRect(1)->axis(QCPAxis::atLeft);
        QCOMPARE(direction->label(), QStringLiteral("Windrichtung"));
        // The wind blew from the north: north is in the middle, not split at the edges.
        QCOMPARE(direction->range(), QCPRange(-180, 180));
        auto* compass = dynamic_cast<QCPAxisTickerText*>(direction->ticker().data());
        QVERIFY(compass != nullptr);
        QCOMPARE(compass->ticks().values(), (QList<QString>{"S", "W", "N", "O", "S"}));
        // The days' means lie at north, and no band spans the circle behind them.
        QCPGraph* directions = plot->axisRect(1)->graphs().front();
        const double first = directions->data()->at(0)->value;
        QVERIFY2(std::abs(first) < 1, qPrintable(QString::number(first)));
        for (int i = 0; i < plot->plottableCount(); ++i) {
            if (auto* bars = qobject_cast<QCPErrorBars*>(plot->plottable(i))) {
                QVERIFY(bars->dataPlottable() != directions);
            }
        }

        ChartWindow* light = windows.ShowChart(nullptr, roof, ChartRange::Day);
        QCOMPARE(light->Plot()->axisRectCount(), 1);
        QCPAxis* scaled = light->Plot()->axisRect(0)->axis(QCPAxis::atLeft);
        QCOMPARE(scaled->label(), QStringLiteral("Helligkeit\n(Wert × Faktor)"));
        QCOMPARE(scaled->scaleType(), QCPAxis::stLogarithmic);
        QCOMPARE(light->Plot()->graph(0)->data()->at(0)->value, 64000.0);  // 6400 × 10

        // No empty axis where the range holds nothing: when the sensor was last heard.
        ChartWindow* empty = windows.ShowChart(nullptr, quiet, ChartRange::Day);
        QCOMPARE(empty->Plot()->axisRectCount(), 0);
        auto* text = qobject_cast<QCPTextElement*>(empty->Plot()->plotLayout()->elementAt(0));
        QVERIFY(text != nullptr);
        QCOMPARE(text->text(),
                 QStringLiteral("Keine Messungen in diesem Zeitraum; zuletzt empfangen am ") +
                     QDateTime::fromMSecsSinceEpoch(kNow - 10 * kMsPerDay, Qt::OffsetFromUTC, kCet)
                         .toString(QStringLiteral("dd.MM.yyyy 'um' HH:mm")));

        // The picture has a title line above the plot; the window does not keep it.
        const QString png = QString::fromStdString(dir.File("wind.png"));
        QVERIFY(wind->SavePng(png));
        QCOMPARE(plot->plotLayout()->elementCount(), 3);
        const QImage saved(png);
        const QImage drawn = plot->toPixmap().toImage();
        const auto darkAtTop = [](const QImage& image) {
            int dark = 0;
            for (int y = 0; y < 20; ++y) {
                for (int x = image.width() / 4; x < image.width() * 3 / 4; ++x) {
                    dark += qGray(image.pixel(x, y)) < 100 ? 1 : 0;
                }
            }
            return dark;
        };
        QVERIFY(darkAtTop(saved) > 50);
        QCOMPARE(darkAtTop(drawn), 0);
    }

    void RainIsABarPerHourWithTheSumOfTheRangeAbove() {
        TempDir dir;
        const std::string path = dir.File("archiv.sqlite");
        const SensorKey gauge{SensorKind::Rain, 0, false};
        const auto rain = [](int64_t t, int32_t counter) {
            Reading r = OutdoorHere(0, t, 0);
            r.kind = SensorKind::Rain;
            r.values[0] = {Quantity::RainCounter, counter};
            r.valueCount = 1;
            return r;
        };
        // Two days every three minutes, a step at every fourth reading: 5 steps an hour.
        int32_t counter = 100;
        {
            Archive archive;
            QVERIFY(archive.Open(path, Archive::Access::Write, 1000).Ok());
            std::vector<Reading> readings;
            for (int64_t i = 2 * 480; i > 0; --i) {
                counter += i % 4 == 0 ? 1 : 0;
                readings.push_back(rain(kNow - i * 3 * kMinute, counter));
            }
            QVERIFY(archive.Write(readings).Ok());
        }
        WeatherSettings weather;
        weather.rain.mmPerStep[0] = Decimal{5, 1};
        FakeWallClock clock(LocalTimeAt(FromUnixMs(kNow), kCet));
        SensorTracker tracker;
        Seed(path, tracker);
        History history(SensorNames(), tracker, path, clock, clock, weather);
        HistoryWindows windows(history);
        ChartWindow* chart = windows.ShowChart(nullptr, gauge, ChartRange::Day);
        QCustomPlot* plot = chart->Plot();
        // Every drawing makes its plottables anew.
        const auto barsOf = [plot] {
            QCPBars* bars = nullptr;
            for (int i = 0; i < plot->plottableCount() && bars == nullptr; ++i) {
                bars = qobject_cast<QCPBars*>(plot->plottable(i));
            }
            return bars;
        };
        QCPBars* bars = barsOf();
        QVERIFY(bars != nullptr);
        QCOMPARE(bars->valueAxis()->label(), QStringLiteral("Regen (mm)"));
        QCOMPARE(bars->data()->size(), 25);  // the hour begun and the 24 before
        // Each bar whole within the time axis, the hour begun too.
        const QCPRange shown = bars->keyAxis()->range();
        for (int i = 0; i < bars->data()->size(); ++i) {
            const double key = bars->data()->at(i)->key;
            QVERIFY2(
                shown.lower <= key - bars->width() / 2 && key + bars->width() / 2 <= shown.upper,
                qPrintable(QString::number(i)));
        }
        double sum = 0;
        for (int i = 0; i < bars->data()->size(); ++i) {
            sum += bars->data()->at(i)->value;
        }
        QVERIFY2(sum > 55 && sum < 65, qPrintable(QString::number(sum)));  // 24 h of 2,5 mm
        const auto header = [chart] {
            for (QLabel* label : chart->findChildren<QLabel*>()) {
                if (label->text().contains(QStringLiteral("Summe"))) {
                    return label->text();
                }
            }
            return QString();
        };
        QVERIFY2(header().endsWith(
                     QStringLiteral(" · Summe ") + QLocale(QLocale::German).toString(sum, 'f', 1) +
                     QStringLiteral(" mm seit 06.12.2026 14:00, ein Balken je Stunde")),
                 qPrintable(header()));

        // A reading as it comes adds its steps to its hour's bar, and to the sum.
        const double last = bars->data()->at(bars->data()->size() - 1)->value;
        clock.SetInstant(FromUnixMs(kNow + kMinute));
        for (const Reading& heard : {rain(kNow + kMinute, counter + 4)}) {
            tracker.Accept(heard);
            history.Sink().Accept(heard);
        }
        bars = barsOf();
        QCOMPARE(bars->data()->size(), 25);
        QCOMPARE(bars->data()->at(bars->data()->size() - 1)->value, last + 2.0);
        QVERIFY2(header().contains(QLocale(QLocale::German).toString(sum + 2, 'f', 1)),
                 qPrintable(header()));

        // A year: a bar per day.
        chart->Show(gauge, ChartRange::Year);
        QCOMPARE(chart->Model().Data().bucketMs, kMsPerDay);
        QVERIFY(chart->Model().Data().points.size() >= 2);
        QVERIFY2(header().contains(QStringLiteral(" mm seit ")) &&
                     header().endsWith(QStringLiteral(", ein Balken je Tag")),
                 qPrintable(header()));
    }

    // "Heute", the month's report and the records of a December: what the rows say of a known
    // day (its low and high with their times), a day with a five-hour gap marked incomplete,
    // the CSV as the command line writes it; each window in view on 1280 × 800.
    void TodayTheReportAndTheRecordsShowTheDaysWithTheirTimes() {
        TempDir dir;
        const std::string path = dir.File("dezember.sqlite");
        constexpr int64_t kDecember = 1796079600000;  // 2026-12-01 00:00 CET
        constexpr int64_t kStep = 10 * kMinute;
        const auto at = [](int day, int hour, int minute) {
            return kDecember + ((day - 1) * 24 + hour) * 3600000 + minute * kMinute;
        };
        {
            Archive archive;
            QVERIFY(archive.Open(path, Archive::Access::Write, 1000).Ok());
            std::vector<Reading> readings;
            for (int64_t t = kDecember; t <= kNow; t += kStep) {
                if (t > at(5, 8, 0) && t < at(5, 13, 0)) {
                    continue;  // the receiver was off
                }
                const int32_t tenths = t == at(3, 5, 20)    ? -42
                                       : t == at(3, 14, 10) ? 97
                                       : t == at(7, 7, 0)   ? -15
                                       : t == at(7, 13, 0)  ? 63
                                                            : 20;
                readings.push_back(OutdoorHere(1, t, tenths));
                // As the tracker gives it: the time since the reading before.
                readings.back().interval = Milliseconds(
                    readings.size() > 1 ? t - UnixMs(readings[readings.size() - 2].time) : kStep);
            }
            QVERIFY(archive.Write(readings).Ok());
        }
        FakeWallClock clock(LocalTimeAt(FromUnixMs(kNow), kCet));
        History history(SensorNames(), SensorTracker(), path, clock, clock, {});
        HistoryWindows windows(history);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const auto inView = [&](QWidget* window) {
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QVERIFY(screen.contains(window->frameGeometry()));
            QVERIFY(history.Problem().empty());
        };
        const auto lineOf = [](const QString& text, const QString& start) {
            for (const QString& line : text.split(QLatin1Char('\n'))) {
                if (line.trimmed().startsWith(start)) {
                    return line.simplified();
                }
            }
            return QString();
        };

        ClimateWindow* today = windows.ShowClimate(nullptr, ClimateWindow::Kind::Today);
        inView(today);
        QVERIFY2(today->Shown().contains(QStringLiteral("Jetzt: 2,0 °C")),
                 qPrintable(today->Shown()));
        QCOMPARE(
            lineOf(today->Shown(), QStringLiteral("Temperatur heute")),
            QStringLiteral("Temperatur heute: tiefst -1,5 °C um 07:00, höchst 6,3 °C um 13:00"));

        ClimateWindow* report = windows.ShowClimate(nullptr, ClimateWindow::Kind::Report);
        inView(report);
        QCOMPARE(report->Sensors()->count(), 1);
        const QString month = report->Shown();
        QVERIFY2(month.startsWith(QStringLiteral("Monatsbericht Dezember 2026")),
                 qPrintable(month));
        const QString third = lineOf(month, QStringLiteral("Do 03.12."));
        QVERIFY2(third.startsWith(QStringLiteral("Do 03.12. ")) &&
                     third.contains(QStringLiteral(" -4,2 05:20 ")) &&
                     third.contains(QStringLiteral(" 9,7 14:10")),
                 qPrintable(month));
        QVERIFY2(
            lineOf(month, QStringLiteral("Sa 05.12.")).startsWith(QStringLiteral("Sa 05.12.*")),
            qPrintable(month));
        QVERIFY2(
            lineOf(month, QStringLiteral("Fr 04.12.")).startsWith(QStringLiteral("Fr 04.12. ")),
            qPrintable(month));
        const QString csv = QString::fromStdString(dir.File("bericht.csv"));
        QVERIFY(report->SaveCsv(csv));
        QFile saved(csv);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray lines = saved.readAll();
        QVERIFY(lines.startsWith("date,complete,readings,temperature_mean"));
        QVERIFY(lines.contains("\r\n2026-12-05,false,"));
        QVERIFY(lines.contains("\r\n2026-12-03,true,144,"));
        // The whole year: one row per month.
        report->Choose(0, 2026, 0);
        QVERIFY2(report->Shown().startsWith(QStringLiteral("Jahresbericht 2026")),
                 qPrintable(report->Shown()));
        QVERIFY(
            lineOf(report->Shown(), QStringLiteral("Dezember")).contains(QStringLiteral("-4,2")));

        ClimateWindow* records = windows.ShowClimate(nullptr, ClimateWindow::Kind::Records);
        inView(records);
        const QString lowest = lineOf(records->Shown(), QStringLiteral("Tiefste Temperatur"));
        QCOMPARE(lowest, QStringLiteral("Tiefste Temperatur -4,2 °C 03.12.2026 05:20"));
        QCOMPARE(windows.ShowClimate(nullptr, ClimateWindow::Kind::Records), records);
    }

    // The report opens on the ten-year archive of bench/archive_bench, where it has been made,
    // with its last year; the time it takes is said.
    void TheReportOpensOnTenYears() {
        const std::string path = "/work/bench-data/archive-10y.sqlite";
        if (!QFileInfo::exists(QString::fromStdString(path))) {
            QSKIP("no ten-year archive here");
        }
        FakeWallClock clock;
        History history(SensorNames(), SensorTracker(), path, clock, clock, {});
        HistoryWindows windows(history);
        QElapsedTimer timer;
        timer.start();
        ClimateWindow* report = windows.ShowClimate(nullptr, ClimateWindow::Kind::Report);
        const qint64 opened = timer.elapsed();
        QVERIFY(QTest::qWaitForWindowExposed(report));
        QVERIFY2(history.Problem().empty(), history.Problem().c_str());
        const int chosen = report->Sensors()->currentIndex();
        const std::vector<SensorSummary> sensors = history.Sensors();
        QVERIFY(chosen >= 0 && !sensors.empty());
        const LocalTime last = LocalTimeAt(sensors.front().last.time, 0);
        timer.restart();
        report->Choose(chosen, last.year, 0);
        const qint64 year = timer.elapsed();
        QVERIFY2(report->Shown().startsWith(QStringLiteral("Jahresbericht %1").arg(last.year)),
                 qPrintable(report->Shown().left(200)));
        QVERIFY2(report->Shown().count(QLatin1Char('\n')) > 14, qPrintable(report->Shown()));
        qInfo("ten-year archive: the report window opened in %lld ms, a year's report %lld ms",
              opened, year);
    }
};

QTEST_MAIN(HistoryWindowsTest)
#include "HistoryWindows_test.moc"
