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
class QListWidget;
class QMenu;

namespace tavrolin {

class ReceiverDialog;

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
// which ends the window through EndDialog.
class ReceiverWindow : public DialogWindow<ReceiverView> {
public:
    explicit ReceiverWindow(ReceiverDialog& controller, QWidget* parent = nullptr);

    // An entry of the menu "Ansicht" (and of the context menu above the about item), for the
    // windows that open beside this one (the sensor overview, the chart).
    void AddMenuItem(const WindowMenuItem& item);

    // --- ReceiverView --------------------------------------------------------------
    void SetComboSelection(int index) override;
    int GetComboSelection() const override;
    ReceivedList& List() override { return m_list; }
    void SetText(int id, std::string_view text) override;
    std::string GetText(int id) const override;
    void LimitText(int id, int characters) override;
    void MoveFocus(bool previous) override;
    WindowRect GetWindowRect() const override;
    void MoveWindow(int left, int top) override;
    void CenterWindow() override;
    void SetTimer(int id, int periodMs) override;
    void KillTimer(int id) override;
    void SetTitle(std::string_view title) override;
    void SetIcon() override;
    void AddAboutItem(std::string_view text) override;
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
