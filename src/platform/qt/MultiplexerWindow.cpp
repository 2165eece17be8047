// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/MultiplexerWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include "mux/MultiplexerDialog.h"
#include "platform/qt/DialogUnits.h"
#include "platform/qt/GroupFrame.h"

namespace tavrolin {

MultiplexerWindow::MultiplexerWindow(MultiplexerDialog& dialog, QWidget* owner)
    : DialogWindow(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_dialog(dialog) {
    setWindowTitle(QStringLiteral("Quarnix RS232 Multiplexer"));
    setFont(DialogFont());
    setFixedSize(DialogUnits(font()).Size(189, 95));

    auto place = [this](QWidget* widget, int id, int x, int y, int w, int h) {
        Place(widget, id, x, y, w, h);
    };
    auto pushButton = [&](const char* text, int id, int x, int y, auto handler) {
        auto* button = new QPushButton(QString::fromUtf8(text), this);
        place(button, id, x, y, 50, 14);
        connect(button, &QPushButton::clicked, this, [this, handler] { Forward(handler); });
        return button;
    };
    auto groupBox = [&](const char* title, int id, int x) {
        auto* box = new GroupFrame(QString::fromUtf8(title), this);
        place(box, id, x, 3, 54, 86);
        box->lower();
    };
    // Each stage's buttons form their own exclusive group for the user's clicks. The
    // controller sets every button on its own, and a new window starts with none checked;
    // SetCheck lifts the exclusiveness for its one change so that "none checked" can be set.
    auto stage = [&](int firstId, int x, void (MultiplexerDialog::*handler)()) {
        auto* group = new QButtonGroup(this);
        for (int k = 0; k < 6; ++k) {
            auto* radio = new QRadioButton(QStringLiteral("Port %1").arg(k + 1), this);
            // The radio buttons are no tab stops; the mouse (and the arrow keys once one of
            // them has the focus) choose among them.
            radio->setFocusPolicy(Qt::ClickFocus);
            place(radio, firstId + k, x, 14 + 12 * k, 33, k == 5 && firstId == 1006 ? 9 : 11);
            WidenToCaption(radio);
            group->addButton(radio, firstId + k);
            m_groupOf[firstId + k] = group;
            connect(radio, &QRadioButton::clicked, this,
                    [this, handler] { Forward([this, handler] { (m_dialog.*handler)(); }); });
        }
    };

    QPushButton* ok = pushButton("&OK", muxcontrol::kOk, 132, 36, [this] { m_dialog.OnOk(); });
    ok->setDefault(true);
    pushButton("&Abbruch", muxcontrol::kCancel, 132, 55, [this] { m_dialog.OnCancel(); });
    groupBox("1. Stufe ", 0, 7);
    stage(muxcontrol::kStage1First, 12, &MultiplexerDialog::OnStage1Port);
    groupBox("2. Stufe ", muxcontrol::kStage2Group, 70);
    stage(muxcontrol::kStage2First, 74, &MultiplexerDialog::OnStage2Port);
    auto* twoStage = new QCheckBox(QStringLiteral("Zweistufig"), this);
    place(twoStage, muxcontrol::kTwoStage, 132, 15, 47, 11);
    WidenToCaption(twoStage);
    connect(twoStage, &QCheckBox::clicked, this,
            [this] { Forward([this] { m_dialog.OnTwoStage(); }); });
    pushButton("&Hilfe", muxcontrol::kHelp, 132, 74, [this] {
        if (onHelp) {
            onHelp();
        }
    });
}

void MultiplexerWindow::SetCheck(int id, bool checked) {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    const auto group = m_groupOf.find(id);
    if (button == nullptr || group == m_groupOf.end()) {
        DialogWindow::SetCheck(id, checked);
        return;
    }
    group->second->setExclusive(false);
    button->setChecked(checked);
    group->second->setExclusive(true);
}

void MultiplexerWindow::reject() {
    // Esc and the close box are the dialog's cancel.
    Forward([this] { m_dialog.OnCancel(); });
}

}  // namespace tavrolin
