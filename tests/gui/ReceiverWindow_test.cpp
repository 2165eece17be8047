// SPDX-License-Identifier: GPL-3.0-or-later
// The receiver window as a person uses it: the real widgets and the real controllers, with a
// receiver that acknowledges every command, fake clocks and the profile in memory. Modal
// windows are driven from inside their own loop.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "FakeClocks.h"
#include "FakeFileChooser.h"
#include "FakeHelpViewer.h"
#include "FakeSerialLine.h"
#include "MemoryFileSystem.h"
#include "RecordingMessageSink.h"
#include "app/ReceiverDialog.h"
#include "mux/MultiplexerDialog.h"
#include "platform/qt/GroupFrame.h"
#include "platform/qt/MultiplexerWindow.h"
#include "platform/qt/QtWindowRunner.h"
#include "platform/qt/ReceiverWindow.h"
#include "serial/ReceiverPort.h"
#include "settings/SettingsStore.h"

using namespace tavrolin;
using namespace tavrolin::testing;

namespace {

constexpr const char* kProfile = "/home/tester/.config/tavrolin.INI";

std::vector<uint8_t> Outdoor(uint8_t address) {
    return {0x02, static_cast<uint8_t>(0x10 | address), 0, 123, 67, 0, 0, 0x03};
}

// The program's objects, in their order, around a receiver that answers ACK to everything.
struct Program {
    MemoryFileSystem files;
    FakeWallClock localClock;
    FakeCoarseClock coarseClock;
    SettingsStore settings{files, kProfile};
    FakeSerialLine port;
    RecordingMessageSink messages;
    FakeFileChooser fileChooser;
    FakeHelpViewer help;
    FakeCoarseClock wall{1, 0};  // moves only when the test says
    AppEnvironment env{settings, files, messages, fileChooser, help, wall};
    MultiplexerLine multiplexerLine{coarseClock};
    MultiplexerDialog multiplexer{multiplexerLine};
    ReceiverPort receiverPort{port, multiplexerLine, messages, localClock, localClock};
    ReceiverDialog dialog{receiverPort, multiplexer, env};

    Program() {
        port.onWrite = [this](std::span<const uint8_t>) { port.Receive({0x02, 0x06, 0x03}); };
    }

    // Shows the window; script runs inside its modal loop and has to end it.
    DialogResult Run(std::function<void(ReceiverWindow&)> script) {
        QTimer::singleShot(0, [script] {
            auto* window = dynamic_cast<ReceiverWindow*>(QApplication::activeModalWidget());
            QVERIFY(window != nullptr);
            // Keys go to the focus, which only an active window has.
            QVERIFY(QTest::qWaitForWindowActive(window));
            script(*window);
            // A failed check leaves the script early: end the window so the test goes on.
            if (window->isVisible()) {
                window->End(DialogResult::Cancel);
            }
        });
        QtWindowRunner runner;
        for (const WindowMenuItem& item : menuItems) {
            runner.AddMenuItem(item);
        }
        return runner.RunReceiverWindow(dialog);
    }
    std::vector<WindowMenuItem> menuItems;  // of the menu "Ansicht"

    bool ProfileWritten() const { return files.files.count(kProfile) != 0; }
    std::string Setting(const char* key) const { return settings.ReadString("SYSTEM", key, "-"); }
};

template <typename Widget>
Widget* ControlAs(const ReceiverWindow& window, int id) {
    return qobject_cast<Widget*>(window.Control(id));
}

// A key typed while the control has the focus.
void KeyOn(const ReceiverWindow& window, int id, Qt::Key key) {
    QWidget* widget = window.Control(id);
    widget->setFocus();
    QTest::keyClick(widget, key);
}

// Runs check on the next modal window, from inside its loop.
void WhenModalOpens(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        QVERIFY(QTest::qWaitForWindowActive(modal));
        check(modal);
        // A failed check leaves early: close the window so the test goes on.
        if (auto* dialog = qobject_cast<QDialog*>(modal);
            dialog != nullptr && dialog->isVisible()) {
            dialog->done(QDialog::Rejected);
        }
    });
}

QString Caption(const QWidget* widget) {
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text().remove(QLatin1Char('&'));
    }
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (auto* box = qobject_cast<const QGroupBox*>(widget)) {
        return box->title();
    }
    return {};
}

// The width the style leaves a control for its caption.
int CaptionRoom(const QWidget* widget) {
    QStyleOptionButton option;
    option.initFrom(widget);
    if (qobject_cast<const QCheckBox*>(widget)) {
        return widget->style()
            ->subElementRect(QStyle::SE_CheckBoxContents, &option, widget)
            .width();
    }
    if (qobject_cast<const QRadioButton*>(widget)) {
        return widget->style()
            ->subElementRect(QStyle::SE_RadioButtonContents, &option, widget)
            .width();
    }
    if (qobject_cast<const QPushButton*>(widget)) {
        return widget->style()
            ->subElementRect(QStyle::SE_PushButtonContents, &option, widget)
            .width();
    }
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->contentsRect().width();
    }
    if (auto* frame = dynamic_cast<const GroupFrame*>(widget)) {
        // From where the caption starts to the right line (2 pixels) and a pixel of air.
        return frame->width() - 3 - frame->CaptionRect().x();
    }
    return 0;
}

// Every caption of a window is drawn whole: its ink fits the room its control gives it.
void ExpectCaptionsFit(const QWidget& window) {
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        const QString caption = Caption(widget);
        if (caption.isEmpty()) {
            continue;
        }
        const int needed = widget->fontMetrics().boundingRect(caption).width();
        const int room = CaptionRoom(widget);
        QVERIFY2(needed <= room, qPrintable(QStringLiteral("\"%1\" needs %2 pixels, has %3")
                                                .arg(caption)
                                                .arg(needed)
                                                .arg(room)));
    }
}

// No two controls (group boxes aside, which frame others) share a pixel.
void ExpectNoOverlaps(const QWidget& window) {
    QList<const QWidget*> controls;
    for (const QWidget* widget : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<const QGroupBox*>(widget) == nullptr && !widget->isWindow()) {
            controls << widget;
        }
    }
    for (int i = 0; i < controls.size(); ++i) {
        for (int j = i + 1; j < controls.size(); ++j) {
            QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                     qPrintable(QStringLiteral("\"%1\" and \"%2\" overlap")
                                    .arg(Caption(controls[i]), Caption(controls[j]))));
        }
    }
}

// The frame a group box draws, measured in its pixels (in its parent's coordinates): the
// outermost columns painted halfway down, and how far up and down the left one runs.
QRect DrawnFrame(QGroupBox& box) {
    const QImage image = box.grab().toImage();
    // The top right corner is the window's background: no caption reaches there.
    const QRgb background = image.pixel(image.width() - 1, 0);
    const auto painted = [&](int x, int y) { return image.pixel(x, y) != background; };
    const int row = image.height() / 2;
    int left = 0;
    while (left < image.width() - 1 && !painted(left, row)) {
        ++left;
    }
    int right = image.width() - 1;
    while (right > left && !painted(right, row)) {
        --right;
    }
    int top = row;
    while (top > 0 && painted(left, top - 1)) {
        --top;
    }
    int bottom = row;
    while (bottom < image.height() - 1 && painted(left, bottom + 1)) {
        ++bottom;
    }
    return QRect(QPoint(left, top), QPoint(right, bottom)).translated(box.pos());
}

// No control touches or crosses a frame line: each lies inside a frame, clear of its lines
// and below its caption, or clear outside of it.
void ExpectControlsClearOfFrames(const QWidget& window) {
    constexpr int kMargin = 3;  // the lines themselves (up to 2 pixels) and one pixel of air
    QList<QGroupBox*> boxes;
    QList<const QWidget*> controls;
    for (QWidget* widget : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (auto* box = qobject_cast<QGroupBox*>(widget)) {
            boxes << box;
        } else if (!widget->isWindow()) {
            controls << widget;
        }
    }
    for (QGroupBox* box : boxes) {
        const QRect frame = DrawnFrame(*box);
        const int captionBottom = box->y() + box->fontMetrics().height();
        // The caption stands on the top line, as the dialog units assume it does.
        const QString where = QStringLiteral("frame of \"%1\" at %2,%3 %4x%5")
                                  .arg(box->title())
                                  .arg(frame.x())
                                  .arg(frame.y())
                                  .arg(frame.width())
                                  .arg(frame.height());
        QVERIFY2(frame.top() < captionBottom && frame.top() > box->y(), qPrintable(where));
        QRect inside = frame.adjusted(kMargin, kMargin, -kMargin, -kMargin);
        inside.setTop(std::max(inside.top(), captionBottom));
        const QRect around = frame.adjusted(-kMargin, -kMargin, kMargin, kMargin);
        for (const QWidget* control : controls) {
            const QRect r = control->geometry();
            QVERIFY2(
                inside.contains(r) || !around.intersects(r),
                qPrintable(Caption(control) + control->accessibleName() + " meets the " + where));
        }
    }
}

}  // namespace

class ReceiverWindowTest : public QObject {
    Q_OBJECT

private slots:
    void firstStartShowsEveryControlAsTheResourceSays();
    void noControlTouchesOrCrossesAGroupFrame();
    void aTickedSensorButtonIsPlainlyTicked();
    void enterOnTheListIsTheOkCommandAndWritesTheProfile();
    void enterClicksAPushButtonButNotARecordingButton();
    void escEndsWithoutWritingAnything();
    void closeBoxSavesAndEnds();
    void recordingBoxFiltersTheNextTick();
    void aLostPortShowsInTheTitleUntilItIsBack();
    void multiplexerDialogOpensOnTheStoredAddressAndAbbruchApplies();
    void helpThatCannotBeShownIsReported();
    void nineTypedIntoAnAddressFieldBecomesSevenAfterTab();
    void enterAndEscInAnAddressFieldDoNotEndTheWindow();
    void aboutItemOfTheContextMenuOpensTheAboutBox();
    void theMenuBarOpensTheViewsByMouseAndKeyAndLeavesTheControlsAsTheyWere();
};

void ReceiverWindowTest::firstStartShowsEveryControlAsTheResourceSays() {
    Program program;
    const DialogResult result = program.Run([&](ReceiverWindow& window) {
        QCOMPARE(window.windowTitle(), QStringLiteral("Tavrolin"));
        QCOMPARE(window.minimumSize(), window.maximumSize());  // no sizing border
        QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!window.windowIcon().isNull());

        struct Expected {
            int id;
            const char* caption;
            bool enabled;
        };
        const Expected buttons[] = {
            {control::kClearList, "Liste löschen", true},
            {control::kSelectMultiplexer, "Auswählen", false},
            {control::kUseMultiplexer, "verwenden", true},
            {control::kChooseFile, ". . .", true},
            {control::kRecordingLast, "Fernbedienung", true},
        };
        for (const Expected& e : buttons) {
            auto* button = ControlAs<QAbstractButton>(window, e.id);
            QVERIFY(button != nullptr);
            QCOMPARE(button->text(), QString::fromUtf8(e.caption));
            QCOMPARE(button->isEnabled(), e.enabled);
        }
        QVERIFY(!window.Control(control::kMuxAddressLabel)->isEnabled());
        QVERIFY(!window.Control(control::kMuxAddress)->isEnabled());
        QCOMPARE(ControlAs<QLabel>(window, control::kMuxAddress)->text(), QStringLiteral("0"));
        QVERIFY(!ControlAs<QAbstractButton>(window, control::kUseMultiplexer)->isChecked());

        for (int id = control::kRecordingFirst; id <= control::kRecordingLast; ++id) {
            auto* box = ControlAs<QAbstractButton>(window, id);
            QVERIFY2(box != nullptr && box->isChecked(), qPrintable(QString::number(id)));
        }
        // Outdoor and indoor boxes are push buttons "0".."7" that stay down.
        auto* outdoor3 = ControlAs<QPushButton>(window, control::kRecordingFirst + 3);
        QVERIFY(outdoor3 != nullptr && outdoor3->isCheckable());
        QCOMPARE(outdoor3->text(), QStringLiteral("3"));
        for (int id = control::kRainAddress; id <= control::kPyranoAddress; ++id) {
            QCOMPARE(ControlAs<QLineEdit>(window, id)->text(), QStringLiteral("7"));
            QCOMPARE(ControlAs<QLineEdit>(window, id)->maxLength(), 1);
        }
        auto* fileName = ControlAs<QLineEdit>(window, control::kFileName);
        QCOMPARE(fileName->text(), QStringLiteral("protokoll.dat"));
        QVERIFY(fileName->isReadOnly());
        auto* comPort = ControlAs<QComboBox>(window, control::kComPort);
        QCOMPARE(comPort->count(), 4);
        QCOMPARE(comPort->itemText(3), QStringLiteral("COM 4"));
        QCOMPARE(comPort->currentText(), QStringLiteral("COM 1"));

        QStringList groups;
        for (const QGroupBox* box : window.findChildren<QGroupBox*>()) {
            groups << box->title();
        }
        groups.sort();
        QCOMPARE(groups,
                 QStringList({"Aufzeichnung", "Aussensensoren", "COM-Port", "Empfangene Daten",
                              "Helligkeitssensor", "Innensensoren", "Multiplexer",
                              "Protokoll datei", "Pyranometer", "Regensensor", "Windsensor"}));
        ExpectCaptionsFit(window);
        ExpectNoOverlaps(window);
        // The first tab stop has the focus: the list. Tab goes on in the order of the
        // controls, past the greyed "Auswählen".
        QTRY_COMPARE(QApplication::focusWidget(), window.Control(control::kReceivedList));
        QStringList stops;
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const QWidget* focus = QApplication::focusWidget();
            stops << Caption(focus) + focus->accessibleName();
        }
        QCOMPARE(stops, (QStringList{QStringLiteral("Liste löschen"), QStringLiteral("COM-Port"),
                                     QStringLiteral("verwenden"), QStringLiteral("0")}));
        QTest::keyClick(&window, Qt::Key_Escape);
    });
    QCOMPARE(result, DialogResult::Cancel);
    // Connected on COM1 and started.
    QCOMPARE(program.port.CallsOf(LineCall::Kind::Open).front().name, std::string("COM1"));
    QVERIFY(program.messages.messages.empty());
}

void ReceiverWindowTest::noControlTouchesOrCrossesAGroupFrame() {
    Program program;
    program.Run([&](ReceiverWindow& window) {
        ExpectControlsClearOfFrames(window);
        WhenModalOpens([](QWidget* modal) { ExpectControlsClearOfFrames(*modal); });
        window.Control(control::kSelectMultiplexer)->setEnabled(true);
        QTest::mouseClick(ControlAs<QPushButton>(window, control::kSelectMultiplexer),
                          Qt::LeftButton);
        KeyOn(window, control::kReceivedList, Qt::Key_Escape);
    });
}

// The mean colour of a widget's pixels inside its outline.
QColor MeanColour(QWidget& widget) {
    // A smooth scale to one pixel averages them all.
    const QImage image = widget.grab().toImage();
    return image.copy(image.rect().adjusted(3, 3, -3, -3))
        .scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .pixelColor(0, 0);
}

double Distance(const QColor& a, const QColor& b) {
    return std::hypot(a.red() - b.red(), a.green() - b.green(), a.blue() - b.blue());
}

void ReceiverWindowTest::aTickedSensorButtonIsPlainlyTicked() {
    Program program;
    program.settings.WriteInt("SYSTEM", "Protokoll", 0x1FFFFE);  // outdoor 0 unticked
    program.Run([&](ReceiverWindow& window) {
        auto* unticked = ControlAs<QPushButton>(window, control::kRecordingFirst);
        auto* ticked = ControlAs<QPushButton>(window, control::kRecordingFirst + 1);
        QVERIFY(!unticked->isChecked() && ticked->isChecked());
        const QColor off = MeanColour(*unticked);
        const QColor on = MeanColour(*ticked);
        const QColor highlight = window.palette().color(QPalette::Highlight);
        // Far apart at a glance, and the ticked one in the highlight colour.
        QVERIFY2(Distance(on, off) > 100,
                 qPrintable(QStringLiteral("%1 vs %2").arg(on.name(), off.name())));
        QVERIFY2(Distance(on, highlight) < Distance(off, highlight),
                 qPrintable(QStringLiteral("%1 vs %2").arg(on.name(), highlight.name())));
        // A click turns the one look into the other.
        QTest::mouseClick(unticked, Qt::LeftButton);
        QVERIFY(Distance(MeanColour(*unticked), on) < 10);
        KeyOn(window, control::kReceivedList, Qt::Key_Escape);
    });
}

void ReceiverWindowTest::enterOnTheListIsTheOkCommandAndWritesTheProfile() {
    Program program;
    const DialogResult result = program.Run(
        [](ReceiverWindow& window) { KeyOn(window, control::kReceivedList, Qt::Key_Return); });
    QCOMPARE(result, DialogResult::Ok);
    QVERIFY(program.ProfileWritten());
    QCOMPARE(program.Setting("COM"), std::string("0"));
    QCOMPARE(program.Setting("Filename"), std::string("protokoll.dat"));
    QCOMPARE(program.Setting("Protokoll"), std::string("-1"));
    // The receiver was stopped and the port closed.
    QVERIFY(!program.port.IsOpen());
    QCOMPARE(program.port.Writes().back()[1], uint8_t{0xFE});
}

void ReceiverWindowTest::enterClicksAPushButtonButNotARecordingButton() {
    Program program;
    bool listCleared = false;
    bool stillOpen = false;
    const DialogResult result = program.Run([&](ReceiverWindow& window) {
        auto* list = ControlAs<QListWidget>(window, control::kReceivedList);
        program.port.Receive(Outdoor(0));
        QTRY_COMPARE(list->count(), 1);
        // "Liste löschen" takes Enter as its click.
        KeyOn(window, control::kClearList, Qt::Key_Return);
        listCleared = list->count() == 0;
        stillOpen = window.isVisible();
        // A recording box drawn as a push button is a check box: Enter is the OK command.
        KeyOn(window, control::kRecordingFirst + 3, Qt::Key_Return);
    });
    QVERIFY(listCleared);
    QVERIFY(stillOpen);
    QCOMPARE(result, DialogResult::Ok);
    QCOMPARE(program.Setting("Protokoll"), std::string("-1"));  // no box was clicked
}

void ReceiverWindowTest::escEndsWithoutWritingAnything() {
    Program program;
    const DialogResult result = program.Run([](ReceiverWindow& window) {
        // A change that Esc throws away.
        QTest::mouseClick(ControlAs<QPushButton>(window, control::kRecordingFirst), Qt::LeftButton);
        KeyOn(window, control::kReceivedList, Qt::Key_Escape);
    });
    QCOMPARE(result, DialogResult::Cancel);
    QVERIFY(!program.ProfileWritten());
    QCOMPARE(program.files.replaceCount, 0);
    // No stop command: the last write is the start command.
    QCOMPARE(program.port.Writes().back()[1], uint8_t{0xFF});
}

void ReceiverWindowTest::closeBoxSavesAndEnds() {
    Program program;
    const DialogResult result = program.Run([](ReceiverWindow& window) { window.close(); });
    QCOMPARE(result, DialogResult::Cancel);
    QVERIFY(program.ProfileWritten());
    QVERIFY(!program.port.IsOpen());
}

void ReceiverWindowTest::recordingBoxFiltersTheNextTick() {
    Program program;
    QStringList shown;
    program.Run([&](ReceiverWindow& window) {
        auto* list = ControlAs<QListWidget>(window, control::kReceivedList);
        // Outdoor sensor 1 off, sensor 2 stays on.
        QTest::mouseClick(ControlAs<QPushButton>(window, control::kRecordingFirst + 1),
                          Qt::LeftButton);
        QVERIFY(!ControlAs<QPushButton>(window, control::kRecordingFirst + 1)->isChecked());
        std::vector<uint8_t> bytes = Outdoor(1);
        const std::vector<uint8_t> second = Outdoor(2);
        bytes.insert(bytes.end(), second.begin(), second.end());
        program.port.Receive(bytes);
        // The window's own 50 ms timer polls the port.
        QTRY_COMPARE(list->count(), 1);
        shown << list->item(0)->text();
        KeyOn(window, control::kReceivedList, Qt::Key_Escape);
    });
    QCOMPARE(shown.size(), 1);
    // Windows-1252 "ß" and "°" of the report line, shown as such.
    QVERIFY2(shown[0].contains(QStringLiteral("Außen (2)")), qPrintable(shown[0]));
    QVERIFY2(shown[0].contains(QStringLiteral("°")), qPrintable(shown[0]));
    QVERIFY(!shown[0].contains(QChar(0xFFFD)));
}

void ReceiverWindowTest::aLostPortShowsInTheTitleUntilItIsBack() {
    Program program;
    program.Run([&](ReceiverWindow& window) {
        QCOMPARE(window.windowTitle(), QStringLiteral("Tavrolin"));
        program.port.gone = true;
        program.port.openError = LineError::CannotOpen;
        QTRY_COMPARE(window.windowTitle(), QStringLiteral("Tavrolin – keine Verbindung (COM 1)"));
        // Back: the next retry, a second on, connects, and the records come again.
        program.port.openError = LineError::None;
        program.wall.AdvanceMs(1000);
        QTRY_COMPARE(window.windowTitle(), QStringLiteral("Tavrolin"));
        program.port.Receive(Outdoor(2));
        QTRY_COMPARE(ControlAs<QListWidget>(window, control::kReceivedList)->count(), 1);
        KeyOn(window, control::kReceivedList, Qt::Key_Escape);
    });
    QVERIFY(program.messages.messages.empty());
}

void ReceiverWindowTest::multiplexerDialogOpensOnTheStoredAddressAndAbbruchApplies() {
    Program program;
    program.settings.WriteInt("SYSTEM", "Mit MUX", 1);
    program.settings.WriteInt("SYSTEM", "MUX Adresse", 35);
    program.Run([&](ReceiverWindow& window) {
        QCOMPARE(ControlAs<QLabel>(window, control::kMuxAddress)->text(), QStringLiteral("35"));
        QVERIFY(window.Control(control::kSelectMultiplexer)->isEnabled());
        WhenModalOpens([](QWidget* modal) {
            auto* dialog = dynamic_cast<MultiplexerWindow*>(modal);
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Quarnix RS232 Multiplexer"));
            ExpectCaptionsFit(*dialog);
            ExpectNoOverlaps(*dialog);
            auto radio = [&](int id) { return qobject_cast<QRadioButton*>(dialog->Control(id)); };
            for (int k = 0; k < 6; ++k) {
                QCOMPARE(radio(muxcontrol::kStage1First + k)->isChecked(), k == 2);
                QCOMPARE(radio(muxcontrol::kStage2First + k)->isChecked(), k == 4);
                QVERIFY(radio(muxcontrol::kStage2First + k)->isEnabled());
            }
            QVERIFY(qobject_cast<QCheckBox*>(dialog->Control(muxcontrol::kTwoStage))->isChecked());
            QTRY_COMPARE(QApplication::focusWidget(), dialog->Control(muxcontrol::kOk));
            QTest::mouseClick(radio(muxcontrol::kStage1First + 1), Qt::LeftButton);
            QTest::mouseClick(radio(muxcontrol::kStage2First + 3), Qt::LeftButton);
            // One button per stage stays checked.
            QVERIFY(!radio(muxcontrol::kStage1First + 2)->isChecked());
            QVERIFY(!radio(muxcontrol::kStage2First + 4)->isChecked());
            QTest::mouseClick(qobject_cast<QPushButton*>(dialog->Control(muxcontrol::kCancel)),
                              Qt::LeftButton);
        });
        program.port.ClearRecord();
        QTest::mouseClick(ControlAs<QPushButton>(window, control::kSelectMultiplexer),
                          Qt::LeftButton);
        // "&Abbruch" still takes the new choice, shows it and reconnects.
        QCOMPARE(ControlAs<QLabel>(window, control::kMuxAddress)->text(), QStringLiteral("24"));
        QCOMPARE(program.port.CallsOf(LineCall::Kind::Open).size(), std::size_t{1});
        KeyOn(window, control::kReceivedList, Qt::Key_Return);
    });
    QCOMPARE(program.Setting("MUX Adresse"), std::string("24"));
}

void ReceiverWindowTest::helpThatCannotBeShownIsReported() {
    Program program;
    program.help.available = false;
    program.Run([&](ReceiverWindow& window) {
        WhenModalOpens([](QWidget* modal) {
            auto* dialog = dynamic_cast<MultiplexerWindow*>(modal);
            QTest::mouseClick(qobject_cast<QPushButton*>(dialog->Control(muxcontrol::kHelp)),
                              Qt::LeftButton);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        window.Control(control::kSelectMultiplexer)->setEnabled(true);
        QTest::mouseClick(ControlAs<QPushButton>(window, control::kSelectMultiplexer),
                          Qt::LeftButton);
        KeyOn(window, control::kReceivedList, Qt::Key_Escape);
    });
    QCOMPARE(program.help.requests, 1);
    QCOMPARE(program.messages.messages.size(), std::size_t{1});
    QCOMPARE(program.messages.messages[0].text,
             std::string("Die Hilfe konnte nicht aufgerufen werden."));
}

void ReceiverWindowTest::nineTypedIntoAnAddressFieldBecomesSevenAfterTab() {
    Program program;
    program.Run([&](ReceiverWindow& window) {
        auto* rain = ControlAs<QLineEdit>(window, control::kRainAddress);
        QTest::mouseClick(rain, Qt::LeftButton);
        rain->selectAll();
        QTest::keyClick(rain, Qt::Key_9);
        QCOMPARE(rain->text(), QStringLiteral("9"));
        QTest::keyClick(rain, Qt::Key_Tab);
        QCOMPARE(rain->text(), QStringLiteral("7"));
        QCOMPARE(QApplication::focusWidget(), window.Control(control::kWindAddress));
        // Shift+Tab goes back, and a letter becomes 0 on the way out.
        auto* wind = ControlAs<QLineEdit>(window, control::kWindAddress);
        wind->selectAll();
        QTest::keyClick(wind, Qt::Key_X);
        QTest::keyClick(wind, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(wind->text(), QStringLiteral("0"));
        QCOMPARE(QApplication::focusWidget(), window.Control(control::kRainAddress));
        KeyOn(window, control::kReceivedList, Qt::Key_Return);
    });
    QCOMPARE(program.Setting("Regen Adr"), std::string("7"));
    QCOMPARE(program.Setting("Wind Adr"), std::string("0"));
}

void ReceiverWindowTest::enterAndEscInAnAddressFieldDoNotEndTheWindow() {
    Program program;
    bool stillOpen = false;
    program.Run([&](ReceiverWindow& window) {
        auto* pyrano = ControlAs<QLineEdit>(window, control::kPyranoAddress);
        QTest::mouseClick(pyrano, Qt::LeftButton);
        pyrano->selectAll();
        QTest::keyClick(pyrano, Qt::Key_5);
        QTest::keyClick(pyrano, Qt::Key_Return);  // validates, keeps the focus
        QTest::keyClick(pyrano, Qt::Key_Escape);
        stillOpen = window.isVisible();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(pyrano));
        QCOMPARE(program.dialog.Settings().pyranoAddress, 5);
        window.close();
    });
    QVERIFY(stillOpen);
    QCOMPARE(program.Setting("Pyrano Adr"), std::string("5"));
}

void ReceiverWindowTest::aboutItemOfTheContextMenuOpensTheAboutBox() {
    Program program;
    QString aboutTitle;
    program.Run([&](ReceiverWindow& window) {
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu != nullptr);
            QAction* about = nullptr;
            for (QAction* action : menu->actions()) {
                if (!action->isSeparator()) {
                    about = action;
                }
            }
            QVERIFY(about != nullptr);
            QCOMPARE(about->text(), QStringLiteral("Inf&o über Tavrolin..."));
            WhenModalOpens([&](QWidget* box) {
                aboutTitle = box->windowTitle();
                QTest::keyClick(box, Qt::Key_Escape);
            });
            about->trigger();
            menu->close();
        });
        const QPoint background(window.width() - 5, window.height() - 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, background,
                                window.mapToGlobal(background));
        QApplication::sendEvent(&window, &event);
        KeyOn(window, control::kReceivedList, Qt::Key_Escape);
    });
    QCOMPARE(aboutTitle, QStringLiteral("Info über Tavrolin"));
}

// The views beside the window are found in a menu bar above the controls (and by their keys),
// not only by a right click on the window's background; the controls keep their sizes and
// spacing below it, and the about box is in its "Hilfe".
void ReceiverWindowTest::theMenuBarOpensTheViewsByMouseAndKeyAndLeavesTheControlsAsTheyWere() {
    Program program;
    QStringList opened;
    program.menuItems = {
        {QStringLiteral("Sensor&übersicht..."), QKeySequence(Qt::CTRL | Qt::Key_1),
         [&](QWidget*) { opened << QStringLiteral("overview"); }},
        {QStringLiteral("&Verlauf..."), QKeySequence(Qt::CTRL | Qt::Key_2),
         [&](QWidget*) { opened << QStringLiteral("chart"); }},
    };
    program.Run([&](ReceiverWindow& window) {
        auto* bar = window.findChild<QMenuBar*>();
        QVERIFY(bar != nullptr);
        QVERIFY(bar->isVisible());
        QStringList menus;
        for (QAction* menu : bar->actions()) {
            menus << menu->text();
        }
        QCOMPARE(menus, (QStringList{QStringLiteral("&Ansicht"), QStringLiteral("&Hilfe")}));
        QMenu* view = bar->actions()[0]->menu();
        QCOMPARE(view->actions().size(), 2);
        QCOMPARE(view->actions()[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_1));
        view->actions()[1]->trigger();
        QTest::keyClick(&window, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(opened, (QStringList{QStringLiteral("chart"), QStringLiteral("overview")}));
        QCOMPARE(bar->actions()[1]->menu()->actions().front()->text(),
                 QStringLiteral("Inf&o über Tavrolin..."));
        // The bar covers no control, and the window's bottom cuts none.
        for (const QWidget* widget : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (widget != bar && !widget->isWindow()) {
                QVERIFY2(widget->y() >= bar->geometry().bottom() &&
                             widget->geometry().bottom() < window.height(),
                         qPrintable(Caption(widget) + widget->accessibleName()));
            }
        }
        KeyOn(window, control::kReceivedList, Qt::Key_Escape);
    });
}

QTEST_MAIN(ReceiverWindowTest)
#include "ReceiverWindow_test.moc"
