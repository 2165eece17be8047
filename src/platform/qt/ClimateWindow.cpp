// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ClimateWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "history/History.h"
#include "platform/qt/Utf8Text.h"
#include "platform/qt/WindowPlace.h"

namespace tavrolin {

namespace {

QString PlaceName(ClimateWindow::Kind kind) {
    switch (kind) {
        case ClimateWindow::Kind::Today:
            return QStringLiteral("Heute");
        case ClimateWindow::Kind::Report:
            return QStringLiteral("Bericht");
        case ClimateWindow::Kind::Records:
            return QStringLiteral("Rekorde");
    }
    return {};
}

const char* const kMonths[] = {"Januar", "Februar", "März",      "April",   "Mai",      "Juni",
                               "Juli",   "August",  "September", "Oktober", "November", "Dezember"};

}  // namespace

ClimateWindow::ClimateWindow(History& history, Kind kind, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_history(history),
      m_kind(kind),
      m_text(new QPlainTextEdit(this)),
      m_problem(new QLabel(this)) {
    setWindowTitle(kind == Kind::Today    ? QStringLiteral("Heute")
                   : kind == Kind::Report ? QStringLiteral("Monats- und Jahresbericht")
                                          : QStringLiteral("Rekorde"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_problem->setWordWrap(true);
    m_problem->hide();

    auto* layout = new QVBoxLayout(this);
    const LocalTime today = LocalTimeAt(history.Now(), history.Zone().UtcOffsetAt(history.Now()));
    if (kind != Kind::Today) {
        m_sensors = history.Sensors();
        std::erase_if(m_sensors, [&](const SensorSummary& s) {
            return ClimateQuantitiesOf(s.key, history.Weather()).empty() &&
                   s.key.kind != SensorKind::Rain;
        });
        m_sensor = new QComboBox(this);
        const std::vector<SensorKey> main = history.MainSensors(m_sensors);
        for (const SensorSummary& s : m_sensors) {
            m_sensor->addItem(
                FromUtf8(history.NameOf(s.key) + " (" + std::string(SensorIdOf(s.key)) + ")"));
        }
        if (!main.empty()) {
            for (std::size_t i = 0; i < m_sensors.size(); ++i) {
                if (m_sensors[i].key == main.front()) {
                    m_sensor->setCurrentIndex(static_cast<int>(i));
                }
            }
        }
        auto* choices = new QHBoxLayout;
        auto* sensorLabel = new QLabel(QStringLiteral("&Sensor:"), this);
        sensorLabel->setBuddy(m_sensor);
        choices->addWidget(sensorLabel);
        choices->addWidget(m_sensor);
        connect(m_sensor, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
        if (kind == Kind::Report) {
            m_month = new QComboBox(this);
            m_month->addItem(QStringLiteral("ganzes Jahr"));
            for (const char* name : kMonths) {
                m_month->addItem(QString::fromUtf8(name));
            }
            m_month->setCurrentIndex(today.month);
            m_year = new QSpinBox(this);
            m_year->setRange(1970, 9999);
            m_year->setValue(today.year);
            auto* monthLabel = new QLabel(QStringLiteral("&Monat:"), this);
            monthLabel->setBuddy(m_month);
            auto* yearLabel = new QLabel(QStringLiteral("&Jahr:"), this);
            yearLabel->setBuddy(m_year);
            choices->addSpacing(12);
            choices->addWidget(monthLabel);
            choices->addWidget(m_month);
            choices->addWidget(yearLabel);
            choices->addWidget(m_year);
            connect(m_month, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
            connect(m_year, &QSpinBox::valueChanged, this, [this] { Refresh(); });
        }
        choices->addStretch();
        layout->addLayout(choices);
    }
    layout->addWidget(m_text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_problem, 1);
    buttons->addStretch();
    if (kind == Kind::Report) {
        auto* csv = new QPushButton(QStringLiteral("Als &CSV speichern..."), this);
        connect(csv, &QPushButton::clicked, this, [this] { AskForCsv(); });
        buttons->addWidget(csv);
    }
    auto* close = new QPushButton(QStringLiteral("S&chließen"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    Refresh();
    // Large enough for the table, as far as the screen has room (RestorePlace fits it).
    const QFontMetrics metrics(m_text->font());
    int columns = 60, lines = 12;
    for (const QString& line : m_text->toPlainText().split(QLatin1Char('\n'))) {
        columns = std::max(columns, static_cast<int>(line.size()));
        ++lines;
    }
    const QSize wanted(metrics.horizontalAdvance(QLatin1Char('0')) * (columns + 4) + 40,
                       metrics.lineSpacing() * std::min(lines + 2, 48) + 120);
    RestorePlace(this, PlaceName(kind), wanted);
}

const SensorSummary* ClimateWindow::ChosenSensor() const {
    const int i = m_sensor != nullptr ? m_sensor->currentIndex() : -1;
    return i >= 0 && i < static_cast<int>(m_sensors.size())
               ? &m_sensors[static_cast<std::size_t>(i)]
               : nullptr;
}

void ClimateWindow::Choose(int sensorIndex, int year, int month) {
    if (m_sensor == nullptr) {
        return;  // "Heute" has no choice
    }
    const QSignalBlocker blockSensor(m_sensor);
    m_sensor->setCurrentIndex(sensorIndex);
    if (m_kind == Kind::Report) {
        const QSignalBlocker blockYear(m_year), blockMonth(m_month);
        m_year->setValue(year);
        m_month->setCurrentIndex(month);
    }
    Refresh();
}

void ClimateWindow::Follow() {
    const Instant now = m_history.Now();
    if (now - m_shownAt >= kFollowEvery || now < m_shownAt) {
        Refresh();
    }
}

void ClimateWindow::Refresh() {
    m_shownAt = m_history.Now();
    std::string text;
    bool read = true;
    m_csv.clear();
    if (m_kind == Kind::Today) {
        text = m_history.Today();
        read = m_history.Problem().empty();
        if (read && text.empty()) {
            text = "Das Archiv kennt noch keinen Außen-, Wind-, Regen- oder Innensensor.";
        }
    } else if (const SensorSummary* sensor = ChosenSensor(); sensor == nullptr) {
        text = m_history.Problem().empty() ? "Das Archiv kennt noch keinen Sensor mit Messwerten."
                                           : "";
        read = m_history.Problem().empty();
    } else if (m_kind == Kind::Report) {
        ClimateReport report;
        read = m_history.Report(*sensor, m_year->value(), m_month->currentIndex(), report);
        if (read) {
            const std::string name = m_history.NameOf(sensor->key);
            text = ReportText(report, name, ClimateFormat::Text);
            m_csv = ReportText(report, name, ClimateFormat::Csv);
        }
    } else {
        std::vector<ClimateRecord> records;
        read = m_history.Records(sensor->key, records);
        if (read) {
            text = RecordsText(sensor->key, m_history.NameOf(sensor->key), records,
                               ClimateFormat::Text);
        }
    }
    m_text->setPlainText(FromUtf8(text));
    m_problem->setText(read ? QString() : FromUtf8(m_history.Problem()));
    m_problem->setVisible(!read);
}

QString ClimateWindow::Shown() const {
    return m_text->toPlainText();
}

bool ClimateWindow::SaveCsv(const QString& path) {
    if (m_csv.empty()) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    const bool written = file.write(m_csv.data(), static_cast<qint64>(m_csv.size())) ==
                         static_cast<qint64>(m_csv.size());
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

void ClimateWindow::AskForCsv() {
    const SensorSummary* sensor = ChosenSensor();
    QString name = QStringLiteral("bericht");
    if (sensor != nullptr) {
        name +=
            QStringLiteral("-%1-%2").arg(FromUtf8(SensorIdOf(sensor->key))).arg(m_year->value());
        if (m_month->currentIndex() > 0) {
            name += QStringLiteral("-%1").arg(m_month->currentIndex(), 2, 10, QLatin1Char('0'));
        }
    }
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Als CSV speichern"),
                                                QDir::home().filePath(name + ".csv"),
                                                QStringLiteral("CSV-Dateien (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    if (!path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
        path += QStringLiteral(".csv");
    }
    if (!SaveCsv(path)) {
        QMessageBox::warning(this, QStringLiteral("Als CSV speichern"),
                             QStringLiteral("Der Bericht läßt sich nicht als %1 speichern.")
                                 .arg(QDir::toNativeSeparators(path)));
    }
}

void ClimateWindow::RememberPlace() const {
    KeepPlace(this, PlaceName(m_kind));
}

void ClimateWindow::closeEvent(QCloseEvent* event) {
    RememberPlace();
    event->accept();
}

}  // namespace tavrolin
