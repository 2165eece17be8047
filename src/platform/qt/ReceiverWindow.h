// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QKeySequence>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/ReceiverView.h"
#include "platform/qt/DialogWindow.h"
#include "platform/qt/QtReceivedList.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QMenu;

namespace tavrolin {

class ReceiverDialog;

// Control identifiers of the receiver window, in the order of the resource it is laid out
// from, which is also the tab order.
namespace control {
inline constexpr int kRecordingFirst =
    1014;  // recording boxes 1014..1034: RecordingMask bits 0..20
inline constexpr int kRecordingLast = 1034;
inline constexpr int kRainAddress = 1035;  // the address fields in SensorAddress's order
inline constexpr int kWindAddress = 1036;
inline constexpr int kBrightnessAddress = 1037;
inline constexpr int kPyranoAddress = 1038;
inline constexpr int kFileName = 1039;
inline constexpr int kChooseFile = 1040;
inline constexpr int kComPort = 1141;
inline constexpr int kSelectMultiplexer = 1142;
inline constexpr int kUseMultiplexer = 1143;
inline constexpr int kMuxAddress = 1144;
inline constexpr int kMuxAddressLabel = 1145;
inline constexpr int kReceivedList = 1146;
inline constexpr int kClearList = 1147;
}  // namespace control

// An entry of the receiver window's menu: `open` gets the window as the owner of what it
// opens.
struct WindowMenuItem {
    QString text;
    QKeySequence shortcut;
    std::function<void(QWidget*)> open;
};

// The receiver window: the controls of the window's resource at their dialog-unit positions,
// each event forwarded to the controller, each view operation done on the widgets. Enter is
// the OK command unless the focus is on a push button (which it clicks) or on an address
// field (which takes it itself); Esc is the Cancel command; the close box asks the controller,
// which ends the window through End.
class ReceiverWindow : public DialogWindow<ReceiverView> {
public:
    explicit ReceiverWindow(ReceiverDialog& controller, QWidget* parent = nullptr);

    // An entry of the menu "Ansicht" (and of the context menu above the about item), for the
    // windows that open beside this one (the sensor overview, the chart).
    void AddMenuItem(const WindowMenuItem& item);

    // --- ReceiverView --------------------------------------------------------------
    void ShowRecording(RecordingMask mask) override;
    void ShowAddress(SensorAddress field, std::string_view text) override;
    void ShowPort(int index) override;
    void ShowMultiplexer(bool inUse, int address) override;
    void ShowFileName(std::string_view name) override;
    void ShowTitle(std::string_view title) override;
    ReceivedList& List() override { return m_list; }
    void MoveFocus(bool previous) override;
    ScreenPoint Position() const override;
    void MoveTo(ScreenPoint position) override;
    void Centre() override;
    void StartTicks(int periodMs) override;
    void StopTicks() override;
    void RunAboutBox() override;
    DialogResult RunMultiplexerDialog(MultiplexerDialog& dialog) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Any other way Qt would cancel the window is the Cancel command too.
    void reject() override;

private:
    void BuildControls();
    // The recording boxes that are ticked.
    RecordingMask TickedBoxes() const;
    QLineEdit* AddressEditOf(SensorAddress field) const;

    ReceiverDialog& m_controller;
    QListWidget* m_listWidget = nullptr;
    QComboBox* m_comPort = nullptr;
    QtReceivedList m_list;
    QTimer m_timer;
    QString m_aboutText;
    std::vector<WindowMenuItem> m_menuItems;
    // The menu bar above the controls: "Ansicht" with the windows beside this one, "Hilfe"
    // with the about box.
    QMenu* m_viewMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
};

}  // namespace tavrolin
