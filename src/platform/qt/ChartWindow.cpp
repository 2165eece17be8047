// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ChartWindow.h"

#include <qcustomplot.h>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
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
#include "platform/qt/WindowPlace.h"

namespace tavrolin {

namespace {

const QString kReadoutHint = QStringLiteral(
    "Zeigen Sie auf eine Stelle der Kurve, um ihre Werte zu lesen; das Mausrad "
    "vergrößert die Zeitachse, Ziehen verschiebt sie.");
const QString kPlaceName = QStringLiteral("Verlauf");
// How long after the last turn of the wheel or move of a drag the span shown is fetched.
constexpr int kSettleMs = 300;

// A text that wraps and never widens its window.
QLabel* WrappingLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

QDate DateOf(const TimeZone& zone, Instant t) {
    const LocalTime local = LocalTimeIn(zone, t);
    return QDate(local.year, local.month, local.day);
}

Instant StartOf(const TimeZone& zone, const QDate& date, int daysLater = 0) {
    return StartOfLocalDay(zone, DayNumberOf(date.year(), date.month(), date.day()) + daysLater);
}

Instant InstantOfKey(double keySeconds) {
    return FromUnixMs(static_cast<int64_t>(std::llround(keySeconds * 1000.0)));
}

}  // namespace

ChartWindow::ChartWindow(History& history, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_history(history),
      m_model(history.Zone(), history.Weather()),
      m_sensorList(new QComboBox(this)),
      m_ranges(new QButtonGroup(this)),
      m_plot(new QCustomPlot(this)),
      m_summary(WrappingLabel(this)),
      m_readout(WrappingLabel(this)) {
    setWindowTitle(QStringLiteral("Verlauf"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* top = new QHBoxLayout;
    auto* sensorLabel = new QLabel(QStringLiteral("&Sensor:"), this);
    sensorLabel->setBuddy(m_sensorList);
    // As wide as its longest "Name (id)".
    m_sensorList->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    top->addWidget(sensorLabel);
    top->addWidget(m_sensorList);
    top->addSpacing(12);
    for (const ChartRange range : kChartRanges) {
        auto* button = new QPushButton(FromUtf8(RangeLabel(range)), this);
        button->setCheckable(true);
        m_ranges->addButton(button, static_cast<int>(range));
        top->addWidget(button);
    }
    auto* span = new QPushButton(QStringLiteral("&Zeitraum..."), this);
    top->addWidget(span);
    top->addStretch();

    auto* bottom = new QHBoxLayout;
    // Two lines of room, so that a readout of two lines moves nothing.
    m_readout->setMinimumHeight(2 * fontMetrics().lineSpacing() + 4);
    m_readout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bottom->addWidget(m_readout, 1);
    auto* csv = new QPushButton(QStringLiteral("Als &CSV speichern..."), this);
    auto* png = new QPushButton(QStringLiteral("Als &PNG speichern..."), this);
    bottom->addWidget(csv, 0, Qt::AlignTop);
    bottom->addWidget(png, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_summary);
    layout->addWidget(m_plot, 1);
    layout->addLayout(bottom);

    // Month and weekday names, and the decimal comma, in German; numbers without the
    // thousands' dot, as the readout writes them ("1015 hPa").
    QLocale german(QLocale::German, QLocale::Germany);
    german.setNumberOptions(QLocale::OmitGroupSeparator);
    m_plot->setLocale(german);
    m_plot->setNoAntialiasingOnDrag(true);
    // A legend names only what it is given: the first one made becomes the plot's own, and
    // would take every plottable of every panel.
    m_plot->setAutoAddPlottableToLegend(false);
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_plot->setMouseTracking(true);
    connect(m_plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { OnMouseMove(e); });
    m_plot->installEventFilter(this);
    connect(m_sensorList, &QComboBox::activated, this, [this] { Load(); });
    connect(m_ranges, &QButtonGroup::idClicked, this, [this] { Load(); });
    connect(span, &QPushButton::clicked, this, [this] { AskForSpan(); });
    connect(csv, &QPushButton::clicked, this, [this] { AskForCsv(); });
    connect(png, &QPushButton::clicked, this, [this] { AskForPng(); });
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        if (m_plot->axisRectCount() > 0) {
            const QCPRange shown = m_plot->axisRect(0)->axis(QCPAxis::atBottom)->range();
            ShowSpan(InstantOfKey(shown.lower), InstantOfKey(shown.upper));
        }
    });
    // QCustomPlot lays its axes out in the pixels it has: squeezed below the room its
    // margins and labels take, a replot costs a quarter of a second instead of milliseconds.
    // So the plot never gets that small, and has its size before the first replot.
    m_plot->setMinimumSize(360, 240);
    RestorePlace(this, kPlaceName, QSize(1000, 700));
    layout->activate();
}

void ChartWindow::RememberPlace() const {
    KeepPlace(this, kPlaceName);
}

void ChartWindow::closeEvent(QCloseEvent* event) {
    RememberPlace();
    event->accept();
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
    m_cursorKey.reset();
    if (m_ranges->checkedId() < 0) {
        // A chosen span stays, for the sensor chosen now.
        m_history.ShowSpan(m_model, key, m_model.From(), m_model.To());
    } else {
        m_history.ShowChart(m_model, key, static_cast<ChartRange>(m_ranges->checkedId()));
    }
    setWindowTitle(QStringLiteral("Verlauf – ") + m_sensorList->currentText());
    Draw();
}

void ChartWindow::ShowSpan(Instant from, Instant to) {
    const int index = m_sensorList->currentIndex();
    if (index < 0) {
        return;
    }
    // No range button stands for a span of one's own.
    m_ranges->setExclusive(false);
    if (QAbstractButton* checked = m_ranges->checkedButton()) {
        checked->setChecked(false);
    }
    m_ranges->setExclusive(true);
    m_cursorKey.reset();
    m_history.ShowSpan(m_model, m_sensors[static_cast<std::size_t>(index)], from, to);
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
    m_drawing = true;
    DrawChart(m_plot, m_model, title, font());
    m_drawing = false;
    m_summary->setText(FromUtf8(m_model.Heading()));
    if (!m_history.Problem().empty()) {
        m_summary->setText(FromUtf8(m_history.Problem()));
    }
    // Zoom and pan on the time axis alone, all panels together.
    for (QCPAxisRect* rect : m_plot->axisRects()) {
        QCPAxis* time = rect->axis(QCPAxis::atBottom);
        rect->setRangeDrag(Qt::Horizontal);
        rect->setRangeZoom(Qt::Horizontal);
        rect->setRangeZoomAxes(time, nullptr);
        rect->setRangeDragAxes(time, nullptr);
        connect(time, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
                [this](const QCPRange& range) { OnTimeAxisChanged(range.lower, range.upper); });
    }
    PlaceCursor();
    m_plot->replot();
}

void ChartWindow::OnTimeAxisChanged(double lower, double upper) {
    if (m_drawing) {
        return;
    }
    m_drawing = true;
    const std::vector<AxisTick> ticks =
        TimeTicks(m_model.Zone(), InstantOfKey(lower), InstantOfKey(upper));
    for (QCPAxisRect* rect : m_plot->axisRects()) {
        QCPAxis* time = rect->axis(QCPAxis::atBottom);
        time->setRange(lower, upper);
        if (auto text = qSharedPointerDynamicCast<QCPAxisTickerText>(time->ticker())) {
            text->clear();
            for (const AxisTick& tick : ticks) {
                text->addTick(tick.at, FromUtf8(tick.label));
            }
        }
    }
    m_drawing = false;
    m_plot->replot(QCustomPlot::rpQueuedReplot);
    m_settle.start(kSettleMs);
}

void ChartWindow::ReadOut(double keySeconds) {
    m_cursorKey = keySeconds;
    PlaceCursor();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void ChartWindow::PlaceCursor() {
    const std::optional<std::size_t> point =
        m_cursorKey ? m_model.PointAt(*m_cursorKey) : std::nullopt;
    if (m_cursorKey) {
        m_readout->setText(FromUtf8(m_model.ReadoutAt(*m_cursorKey)));
    } else {
        // Where nothing is drawn there is nothing to point at.
        m_readout->setText(m_model.Data().points.empty() ? QString() : kReadoutHint);
    }
    double key = 0;
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
    if (rect == nullptr || (event->buttons() & Qt::LeftButton) != 0) {
        return;  // a drag pans
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

void ChartWindow::AskForSpan() {
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Zeitraum"));
    auto* from = new QDateEdit(DateOf(m_model.Zone(), m_model.From()), &dialog);
    auto* to = new QDateEdit(DateOf(m_model.Zone(), m_model.To()), &dialog);
    for (QDateEdit* edit : {from, to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    auto* problem = new QLabel(&dialog);
    const auto check = [&] {
        const bool ok = from->date() <= to->date();
        problem->setText(ok ? QString() : QStringLiteral("Das Ende liegt vor dem Anfang."));
        buttons->button(QDialogButtonBox::Ok)->setEnabled(ok);
    };
    connect(from, &QDateEdit::dateChanged, &dialog, check);
    connect(to, &QDateEdit::dateChanged, &dialog, check);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("&Von:"), from);
    form->addRow(QStringLiteral("&Bis (einschließlich):"), to);
    form->addRow(problem);
    form->addRow(buttons);
    if (dialog.exec() == QDialog::Accepted) {
        ShowSpan(StartOf(m_model.Zone(), from->date()), StartOf(m_model.Zone(), to->date(), 1));
    }
}

bool ChartWindow::SavePng(const QString& path) {
    // The picture says what it shows, on a line of its own above the plot.
    Draw(FromUtf8(m_model.Title(m_history.Overview().NameOf(m_model.Sensor()))));
    const bool saved = m_plot->savePng(path);
    Draw();
    return saved;
}

bool ChartWindow::SaveCsv(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    bool written = true;
    const bool read = m_history.ExportShown(m_model, [&](std::string_view piece) {
        written = written && file.write(piece.data(), static_cast<qint64>(piece.size())) ==
                                 static_cast<qint64>(piece.size());
    });
    file.close();
    return read && written && file.error() == QFileDevice::NoError;
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

void ChartWindow::AskForCsv() {
    QString name = FromUtf8(m_model.FileName());
    name.replace(QStringLiteral(".png"), QStringLiteral(".csv"));
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Als CSV speichern"),
                                                QDir::home().filePath(name),
                                                QStringLiteral("CSV-Dateien (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    if (!path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
        path += QStringLiteral(".csv");
    }
    if (!SaveCsv(path)) {
        const QString why =
            m_history.Problem().empty() ? QString() : " " + FromUtf8(m_history.Problem());
        QMessageBox::warning(this, QStringLiteral("Als CSV speichern"),
                             QStringLiteral("Die Messungen lassen sich nicht als %1 speichern.")
                                     .arg(QDir::toNativeSeparators(path)) +
                                 why);
    }
}

}  // namespace tavrolin
