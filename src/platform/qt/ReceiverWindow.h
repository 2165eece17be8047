// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/ReceiverView.h"
#include "platform/qt/QtReceivedList.h"

class QComboBox;
class QListWidget;

namespace tavrolin {

class ReceiverDialog;

// The receiver window: the controls of the window's resource at their dialog-unit positions,
// each event forwarded to the controller, each view operation done on the widgets. Enter is
// the OK command unless the focus is on a push button (which it clicks) or on an address
// field (which takes it itself); Esc is the Cancel command; the close box asks the controller,
// which ends the window through EndDialog.
class ReceiverWindow : public QDialog, public ReceiverView {
public:
    explicit ReceiverWindow(ReceiverDialog& controller, QWidget* parent = nullptr);
    ~ReceiverWindow() override;

    // The widget of a control identifier, nullptr for one the window does not have.
    QWidget* Control(int id) const;
    // An entry of the context menu above the about item, for the windows that open beside
    // this one (the sensor overview, the chart); `open` gets this window as their owner.
    void AddMenuItem(const QString& text, std::function<void(QWidget*)> open);

    // --- ReceiverView --------------------------------------------------------------
    void SetCheck(int id, bool checked) override;
    bool GetCheck(int id) const override;
    void SetComboSelection(int index) override;
    int GetComboSelection() const override;
    ReceivedList& List() override { return m_list; }
    void SetText(int id, std::string_view text) override;
    std::string GetText(int id) const override;
    void LimitText(int id, int characters) override;
    void Enable(int id, bool enabled) override;
    void MoveFocus(bool previous) override;
    WindowRect GetWindowRect() const override;
    void MoveWindow(int left, int top) override;
    void CenterWindow() override;
    void SetTimer(int id, int periodMs) override;
    void KillTimer(int id) override;
    void EndDialog(DialogResult result) override;
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
    // Calls the controller unless the window has already been ended: a field that loses the
    // focus while the window goes away must not reach a controller that has let go of it.
    template <typename Handler>
    void Forward(Handler handler);

    ReceiverDialog& m_controller;
    std::map<int, QWidget*> m_controls;
    QListWidget* m_listWidget = nullptr;
    QComboBox* m_comPort = nullptr;
    QtReceivedList m_list;
    QTimer m_timer;
    bool m_ended = false;
    QString m_aboutText;
    std::vector<std::pair<QString, std::function<void(QWidget*)>>> m_menuItems;
};

}  // namespace tavrolin
