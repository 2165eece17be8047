// SPDX-License-Identifier: GPL-3.0-or-later
// The sensor overview and the chart window on the real widgets, over a small archive in a
// temporary folder with known readings, the time from a fake clock.
#include <qcustomplot.h>
#include <QTableWidget>
#include <QtTest>
#include <cmath>

#include "ArchiveFixtures.h"
#include "FakeClocks.h"
#include "TempDir.h"
#include "archive/Archive.h"
#include "history/History.h"
#include "platform/qt/ChartWindow.h"
#include "platform/qt/HistoryWindows.h"
#include "platform/qt/SensorOverviewWindow.h"

using namespace tavrolin;
using namespace tavrolin::testing;

namespace {

constexpr int64_t kNow = kT0;

// The machine's own offset, as the window would have stamped it.
Reading OutdoorHere(int address, int64_t t, int32_t tenths, int32_t humidity = 60) {
    return testing::Outdoor(address, t, tenths, humidity,
                            QDateTime::fromMSecsSinceEpoch(t).offsetFromUtc());
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
    void ChartShowsTheReadingsOfADayAndBucketsOfAYear() {
        TempDir dir;
        WriteArchive(dir.File("archiv.sqlite"));
        FakeLocalClock clock(FromUnixMs(kNow, 3600));
        SensorTracker tracker;
        History history(SensorNames(), tracker, dir.File("archiv.sqlite"), clock);
        HistoryWindows windows(history);
        ChartWindow* chart = windows.ShowChart(nullptr, kGarden, ChartRange::Day);
        QCustomPlot* plot = chart->Plot();

        // A day: the readings themselves, one line per quantity.
        QCOMPARE(chart->Model().Data().bucketMs, 0);
        QCOMPARE(plot->graphCount(), 2);
        QCOMPARE(plot->graph(0)->data()->size(), 479);
        QCOMPARE(plot->graph(0)->data()->at(0)->key, (kNow - 479 * 3 * kMinute) / 1000.0);
        QCOMPARE(plot->graph(0)->data()->at(0)->value, 20.0);
        QCOMPARE(plot->graph(1)->valueAxis()->label(), QStringLiteral("Feuchte (%)"));
        QCOMPARE(plot->graph(0)->valueAxis()->label(), QStringLiteral("Temperatur (°C)"));
        const QCPRange x = plot->graph(0)->keyAxis()->range();
        QCOMPARE(x.upper - x.lower, 86400.0);
        QCOMPARE(x.upper, (kNow + 1) / 1000.0);

        // A reading while it is open: drawn at once.
        clock.Set(FromUnixMs(kNow + kMinute, 3600));
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
        QCOMPARE(plot->graphCount(), 2);
        QCOMPARE(plot->plottableCount(), 4);
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
        QCOMPARE(chart->Model().FromMs(), kNow - 730 * kMsPerDay);
        QVERIFY(chart->Model().Data().bucketMs > 0);

        const QString png = QString::fromStdString(dir.File("verlauf.png"));
        QVERIFY(chart->SavePng(png));
        QCOMPARE(QImage(png).isNull(), false);
        QVERIFY(!chart->SavePng(QString::fromStdString(dir.File("no/folder.png"))));
    }

    void OverviewMarksASilentSensorOverdueUntilItIsHeardAgain() {
        TempDir dir;
        WriteArchive(dir.File("archiv.sqlite"));
        FakeLocalClock clock(FromUnixMs(kNow, 3600));
        SensorNames names;
        names.Set(kGarden, "Garten");
        SensorTracker tracker;
        History history(names, tracker, dir.File("archiv.sqlite"), clock);
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
        clock.Set(FromUnixMs(kNow + 10 * kMinute, 3600));
        QTRY_COMPARE_WITH_TIMEOUT(table->item(0, SensorOverviewWindow::kState)->text(),
                                  QStringLiteral("überfällig"), 3000);

        // Heard again: the mark goes with the reading.
        for (const Reading& heard : {OutdoorHere(3, kNow + 10 * kMinute, 66)}) {
            tracker.Accept(heard);
            history.Sink().Accept(heard);
        }
        QCOMPARE(table->item(1, SensorOverviewWindow::kState)->text(), QString());
        QCOMPARE(table->item(1, SensorOverviewWindow::kValues)->text(),
                 QStringLiteral("6.6 °C, 60 %"));
        QCOMPARE(table->item(1, SensorOverviewWindow::kValues)->foreground().color(),
                 QBrush().color());
    }
};

QTEST_MAIN(HistoryWindowsTest)
#include "HistoryWindows_test.moc"
