// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ReceiverWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "app/ReceiverDialog.h"
#include "mux/MultiplexerDialog.h"
#include "platform/qt/AboutBox.h"
#include "platform/qt/AddressField.h"
#include "platform/qt/DialogUnits.h"
#include "platform/qt/GroupFrame.h"
#include "platform/qt/MultiplexerWindow.h"
#include "platform/qt/ProgramIcon.h"
#include "platform/qt/Utf8Text.h"

namespace tavrolin {

namespace {

// A recording box drawn as a push button that stays down while ticked. The styles tell a
// checked push button from a raised one by a faint shade only, too little to see which of
// eight small buttons are ticked; ticked, this one is drawn sunken in the highlight colour,
// in the style's own shape.
class SensorButton : public QPushButton {
public:
    SensorButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
        setCheckable(true);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        if (isChecked()) {
            option.state |= QStyle::State_Sunken;
            option.palette.setColor(QPalette::Button, palette().color(QPalette::Highlight));
            option.palette.setColor(QPalette::ButtonText,
                                    palette().color(QPalette::HighlightedText));
        }
        painter.drawControl(QStyle::CE_PushButton, option);
    }
};

}  // namespace

ReceiverWindow::ReceiverWindow(ReceiverDialog& controller, QWidget* parent)
    : DialogWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      m_controller(controller),
      m_listWidget(new QListWidget(this)),
      m_list(*m_listWidget) {
    setWindowTitle(QStringLiteral("Tavrolin"));
    setFont(DialogFont());
    // A menu bar above the controls, which keep their places, sizes and spacing below it:
    // the windows beside this one are found there, not only in a right click.
    auto* menuBar = new QMenuBar(this);
    menuBar->setNativeMenuBar(false);
    m_viewMenu = menuBar->addMenu(QStringLiteral("&Ansicht"));
    m_helpMenu = menuBar->addMenu(QStringLiteral("&Hilfe"));
    const QSize face = DialogUnits(font()).Size(431, 271);
    const int top = menuBar->sizeHint().height();
    // Each menu shows once it has entries.
    m_viewMenu->menuAction()->setVisible(false);
    m_helpMenu->menuAction()->setVisible(false);
    menuBar->setGeometry(0, 0, face.width(), top);
    SetTop(top);
    setFixedSize(face + QSize(0, top));
    setWindowIcon(ProgramIcon());
    m_aboutText = QString::fromUtf8(kAboutItemText);
    m_helpMenu->addAction(m_aboutText, this,
                          [this] { Forward([this] { m_controller.OnAbout(); }); });
    m_helpMenu->menuAction()->setVisible(true);
    BuildControls();
    connect(&m_timer, &QTimer::timeout, this,
            [this] { Forward([this] { m_controller.OnTick(); }); });
}

void ReceiverWindow::BuildControls() {
    // Controls are made in the order of the window's resource, which is also their tab
    // order; group boxes and static texts take no focus. Group boxes are frames drawn behind
    // the controls, not their parents, so that every control is enabled on its own.
    auto place = [this](QWidget* widget, int id, int x, int y, int w, int h) {
        Place(widget, id, x, y, w, h);
    };
    auto groupBox = [&](const char* title, int x, int y, int w, int h) {
        auto* box = new GroupFrame(QString::fromUtf8(title), this);
        place(box, 0, x, y, w, h);
        box->lower();
    };
    auto label = [&](const char* text, int id, int x, int y, int w, int h) {
        auto* widget = new QLabel(QString::fromUtf8(text), this);
        widget->setTextFormat(Qt::PlainText);
        widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(widget, id, x, y, w, h);
        WidenToCaption(widget);
        return widget;
    };
    auto pushButton = [&](const char* text, int id, int x, int y, int w, int h, auto handler) {
        auto* button = new QPushButton(QString::fromUtf8(text), this);
        // The window has no default button: Enter is the OK command.
        button->setAutoDefault(false);
        place(button, id, x, y, w, h);
        connect(button, &QPushButton::clicked, this, [this, handler] { Forward(handler); });
        return button;
    };
    auto recordingBox = [&](QAbstractButton* button) {
        connect(button, &QAbstractButton::clicked, this,
                [this] { Forward([this] { m_controller.OnRecordingBox(TickedBoxes()); }); });
    };
    // A recording box drawn as a push button: "0".."7" of the outdoor and indoor sensors.
    auto sensorButton = [&](int index, int id, int x, int y) {
        auto* button = new SensorButton(QString::number(index), this);
        button->setAutoDefault(false);
        place(button, id, x, y, 13, 11);
        recordingBox(button);
    };
    // A small recording box without caption, alone in its group.
    auto smallBox = [&](const char* name, int id, int x, int y) {
        auto* box = new QCheckBox(this);
        box->setAccessibleName(QString::fromUtf8(name));
        place(box, id, x, y, 9, 9);
        recordingBox(box);
    };
    auto addressField = [&](const char* name, SensorAddress which, int x, int y) {
        auto* field = new AddressField(this);
        field->setAccessibleName(QString::fromUtf8(name));
        field->setAlignment(Qt::AlignLeft);
        field->setMaxLength(AddressEdit::kMaxCharacters);
        field->onChar = [this, which, field](int character, bool shiftDown) {
            bool handled = true;
            Forward([&] {
                handled = m_controller.OnAddressChar(which, field->text().toStdString(), character,
                                                     shiftDown);
            });
            return handled;
        };
        field->onFocusOut = [this, which, field] {
            Forward([&] { m_controller.ValidateAddressField(which, field->text().toStdString()); });
        };
        place(field, control::kRainAddress + static_cast<int>(which), x, y, 18, 14);
    };

    // Received-data list: not sorted, no selection, vertical scroll bar only.
    m_listWidget->setSelectionMode(QAbstractItemView::NoSelection);
    m_listWidget->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_listWidget->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_listWidget->setUniformItemSizes(true);
    m_listWidget->setTextElideMode(Qt::ElideNone);
    m_listWidget->setAccessibleName(QStringLiteral("Empfangene Daten"));
    place(m_listWidget, control::kReceivedList, 12, 15, 251, 242);
    groupBox("Empfangene Daten", 6, 3, 263, 259);
    pushButton("Liste löschen", control::kClearList, 356, 210, 64, 14,
               [this] { m_controller.OnClearList(); });

    m_comPort = new QComboBox(this);
    m_comPort->addItems({QStringLiteral("COM 1"), QStringLiteral("COM 2"), QStringLiteral("COM 3"),
                         QStringLiteral("COM 4")});
    m_comPort->setCurrentIndex(-1);
    m_comPort->setAccessibleName(QStringLiteral("COM-Port"));
    // The resource's height is that of the open drop-down list; the closed box is as high as
    // its font makes it.
    place(m_comPort, control::kComPort, 286, 26, 52, 12);
    m_comPort->resize(m_comPort->width(), m_comPort->sizeHint().height());
    connect(m_comPort, &QComboBox::activated, this,
            [this](int index) { Forward([&] { m_controller.OnComPortSelected(index); }); });
    groupBox("COM-Port", 279, 3, 67, 55);
    groupBox("Multiplexer", 357, 3, 67, 55);
    label("Adresse :", control::kMuxAddressLabel, 364, 26, 30, 8);
    QLabel* address = label("00", control::kMuxAddress, 402, 26, 11, 10);
    address->setAlignment(Qt::AlignCenter);
    address->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pushButton("Auswählen", control::kSelectMultiplexer, 363, 40, 55, 12,
               [this] { m_controller.OnSelectMultiplexer(); });
    auto* useMux = new QCheckBox(QStringLiteral("verwenden"), this);
    place(useMux, control::kUseMultiplexer, 363, 13, 51, 10);
    WidenToCaption(useMux);
    connect(useMux, &QCheckBox::clicked, this,
            [this](bool checked) { Forward([&] { m_controller.OnUseMultiplexer(checked); }); });

    for (int i = 0; i < 8; ++i) {
        sensorButton(i, control::kRecordingFirst + i, 289 + 16 * i, 86);
    }
    groupBox("Aussensensoren", 284, 74, 136, 30);
    groupBox("Aufzeichnung", 279, 63, 146, 199);
    for (int i = 0; i < 8; ++i) {
        sensorButton(i, control::kRecordingFirst + 10 + i, 290 + 16 * i, 120);
    }
    groupBox("Innensensoren", 284, 107, 136, 30);
    groupBox("Regensensor", 284, 140, 64, 30);
    groupBox("Windsensor", 356, 140, 64, 30);
    addressField("Regensensor Adresse", SensorAddress::Rain, 324, 151);
    label("Adr", 0, 308, 153, 12, 8);
    addressField("Windsensor Adresse", SensorAddress::Wind, 396, 151);
    label("Adr", 0, 380, 154, 12, 8);
    groupBox("Helligkeitssensor", 284, 174, 64, 30);
    groupBox("Pyranometer", 356, 174, 64, 30);
    addressField("Helligkeitssensor Adresse", SensorAddress::Brightness, 324, 184);
    label("Adr", 0, 308, 187, 12, 8);
    addressField("Pyranometer Adresse", SensorAddress::Pyrano, 396, 184);
    label("Adr", 0, 380, 187, 12, 8);
    auto* remote = new QCheckBox(QStringLiteral("Fernbedienung"), this);
    place(remote, control::kRecordingLast, 285, 211, 63, 10);
    WidenToCaption(remote);
    recordingBox(remote);
    groupBox("Protokoll datei", 284, 226, 136, 30);
    auto* fileName = new QLineEdit(this);
    fileName->setReadOnly(true);
    fileName->setAccessibleName(QStringLiteral("Protokoll datei"));
    // Read-only fields are grey, as the platform the layout comes from draws them.
    QPalette grey = fileName->palette();
    grey.setColor(QPalette::Base, grey.color(QPalette::Window));
    fileName->setPalette(grey);
    place(fileName, control::kFileName, 289, 236, 104, 14);
    pushButton(". . .", control::kChooseFile, 397, 236, 17, 15,
               [this] { m_controller.OnChooseProtocolFile(); });
    smallBox("Regensensor", control::kRecordingFirst + 8, 290, 152);
    smallBox("Helligkeitssensor", control::kRecordingFirst + 18, 290, 186);
    smallBox("Windsensor", control::kRecordingFirst + 9, 362, 152);
    smallBox("Pyranometer", control::kRecordingFirst + 19, 361, 186);
}

RecordingMask ReceiverWindow::TickedBoxes() const {
    RecordingMask mask = 0;
    for (int id = control::kRecordingFirst; id <= control::kRecordingLast; ++id) {
        if (IsChecked(id)) {
            mask |= RecordingMask{1} << (id - control::kRecordingFirst);
        }
    }
    return mask;
}

void ReceiverWindow::ShowRecording(RecordingMask mask) {
    for (int id = control::kRecordingFirst; id <= control::kRecordingLast; ++id) {
        SetChecked(id, ((mask >> (id - control::kRecordingFirst)) & 1) != 0);
    }
}

QLineEdit* ReceiverWindow::AddressEditOf(SensorAddress field) const {
    return qobject_cast<QLineEdit*>(Control(control::kRainAddress + static_cast<int>(field)));
}

void ReceiverWindow::ShowAddress(SensorAddress field, std::string_view text) {
    QLineEdit* edit = AddressEditOf(field);
    edit->setText(FromUtf8(text));
    edit->setCursorPosition(0);
}

void ReceiverWindow::ShowPort(int index) {
    m_comPort->setCurrentIndex(index >= 0 && index < m_comPort->count() ? index : -1);
}

void ReceiverWindow::ShowMultiplexer(bool inUse, int address) {
    SetChecked(control::kUseMultiplexer, inUse);
    for (const int id :
         {control::kMuxAddressLabel, control::kMuxAddress, control::kSelectMultiplexer}) {
        SetEnabled(id, inUse);
    }
    qobject_cast<QLabel*>(Control(control::kMuxAddress))->setText(QString::number(address));
}

void ReceiverWindow::ShowFileName(std::string_view name) {
    auto* edit = qobject_cast<QLineEdit*>(Control(control::kFileName));
    edit->setText(FromUtf8(name));
    edit->setCursorPosition(0);
}

void ReceiverWindow::ShowTitle(std::string_view title) {
    setWindowTitle(FromUtf8(title));
}

void ReceiverWindow::MoveFocus(bool previous) {
    focusNextPrevChild(!previous);
}

ScreenPoint ReceiverWindow::Position() const {
    const QPoint corner = frameGeometry().topLeft();
    return {corner.x(), corner.y()};
}

void ReceiverWindow::MoveTo(ScreenPoint position) {
    move(position.left, position.top);
}

void ReceiverWindow::Centre() {
    const QScreen* screen = this->screen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QSize size = frameGeometry().size();
    move(area.left() + (area.width() - size.width()) / 2,
         area.top() + (area.height() - size.height()) / 2);
}

void ReceiverWindow::StartTicks(int periodMs) {
    m_timer.start(periodMs);
}

void ReceiverWindow::StopTicks() {
    m_timer.stop();
}

void ReceiverWindow::RunAboutBox() {
    AboutBox box(this);
    box.exec();
}

DialogResult ReceiverWindow::RunMultiplexerDialog(MultiplexerDialog& dialog) {
    MultiplexerWindow window(dialog, this);
    window.onHelp = [this] { Forward([this] { m_controller.OnHelp(); }); };
    dialog.AttachView(&window);
    dialog.OnInitDialog();
    const int result = window.exec();
    dialog.AttachView(nullptr);
    return result == static_cast<int>(DialogResult::Ok) ? DialogResult::Ok : DialogResult::Cancel;
}

void ReceiverWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            Forward([this] { m_controller.OnCancelCommand(); });
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            // A push button takes Enter as its click; a recording box drawn as a push button
            // is a check box and does not.
            auto* button = qobject_cast<QPushButton*>(focusWidget());
            if (button != nullptr && !button->isCheckable()) {
                button->click();
            } else {
                Forward([this] { m_controller.OnOkCommand(); });
            }
            return;
        }
        default:
            QDialog::keyPressEvent(event);
    }
}

void ReceiverWindow::closeEvent(QCloseEvent* event) {
    // The controller saves and stops, then ends the window itself.
    event->ignore();
    Forward([this] { m_controller.OnCloseRequest(); });
}

void ReceiverWindow::AddMenuItem(const WindowMenuItem& item) {
    m_menuItems.push_back(item);
    QAction* action =
        m_viewMenu->addAction(item.text, this, [this, open = item.open] { open(this); });
    action->setShortcut(item.shortcut);
    m_viewMenu->menuAction()->setVisible(true);
}

void ReceiverWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (m_aboutText.isEmpty() && m_menuItems.empty()) {
        return;
    }
    QMenu menu(this);
    for (const WindowMenuItem& item : m_menuItems) {
        menu.addAction(item.text, this, [this, open = item.open] { open(this); });
    }
    menu.addSeparator();
    if (!m_aboutText.isEmpty()) {
        menu.addAction(m_aboutText, this, [this] { Forward([this] { m_controller.OnAbout(); }); });
    }
    menu.exec(event->globalPos());
}

void ReceiverWindow::reject() {
    Forward([this] { m_controller.OnCancelCommand(); });
}

}  // namespace tavrolin
