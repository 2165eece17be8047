// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <map>

#include "base/DialogResult.h"
#include "platform/qt/DialogUnits.h"

namespace tavrolin {

// What the windows laid out from a dialog resource share: their controls at dialog-unit
// positions, kept by the identifier of the resource they are laid out from; and the end of
// the window, after which no event reaches the controller any more (a field that loses the
// focus while the window goes away must not reach a controller that has let go of it). View
// is the controller's view interface, whose End this implements.
template <typename View>
class DialogWindow : public QDialog, public View {
public:
    // The widget of a control identifier, nullptr for one the window does not have.
    QWidget* Control(int id) const {
        const auto found = m_controls.find(id);
        return found == m_controls.end() ? nullptr : found->second;
    }

    void End(DialogResult result) override {
        m_ended = true;
        done(static_cast<int>(result));
    }

protected:
    DialogWindow(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) {}
    ~DialogWindow() override { m_ended = true; }

    // Places the widget at x, y with the size w × h in dialog units of the window's font, and
    // keeps it under its identifier (0: a control without one).
    void Place(QWidget* widget, int id, int x, int y, int w, int h) {
        widget->setGeometry(DialogUnits(font()).Rect(x, y, w, h).translated(0, m_top));
        if (id != 0) {
            m_controls[id] = widget;
        }
    }
    void SetChecked(int id, bool checked) {
        if (auto* button = qobject_cast<QAbstractButton*>(Control(id))) {
            button->setChecked(checked);
        }
    }
    bool IsChecked(int id) const {
        auto* button = qobject_cast<QAbstractButton*>(Control(id));
        return button != nullptr && button->isChecked();
    }
    void SetEnabled(int id, bool enabled) {
        if (QWidget* widget = Control(id)) {
            widget->setEnabled(enabled);
        }
    }
    // Calls the controller unless the window has already been ended.
    template <typename Handler>
    void Forward(Handler handler) {
        if (!m_ended) {
            handler();
        }
    }
    bool Ended() const { return m_ended; }
    // Room above the controls (a menu bar), in pixels: every control moves down by it.
    void SetTop(int pixels) { m_top = pixels; }

private:
    int m_top = 0;
    std::map<int, QWidget*> m_controls;
    bool m_ended = false;
};

}  // namespace tavrolin
