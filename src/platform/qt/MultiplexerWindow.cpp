// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/MultiplexerWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

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
    // Each stage's buttons form their own exclusive group for the user's clicks; a new window
    // starts with none checked.
    auto stage = [&](int index, int firstId, int x, void (MultiplexerDialog::*handler)(int)) {
        auto* group = new QButtonGroup(this);
        m_stages[index] = group;
        for (int k = 0; k < 6; ++k) {
            auto* radio = new QRadioButton(QStringLiteral("Port %1").arg(k + 1), this);
            // The radio buttons are no tab stops; the mouse (and the arrow keys once one of
            // them has the focus) choose among them.
            radio->setFocusPolicy(Qt::ClickFocus);
            place(radio, firstId + k, x, 14 + 12 * k, 33, k == 5 && firstId == 1006 ? 9 : 11);
            WidenToCaption(radio);
            group->addButton(radio, k + 1);
            connect(radio, &QRadioButton::clicked, this, [this, handler, group] {
                Forward([&] { (m_dialog.*handler)(CheckedPort(*group)); });
            });
        }
    };

    QPushButton* ok = pushButton("&OK", muxcontrol::kOk, 132, 36, [this] { m_dialog.OnOk(); });
    ok->setDefault(true);
    pushButton("&Abbruch", muxcontrol::kCancel, 132, 55, [this] { m_dialog.OnCancel(); });
    groupBox("1. Stufe ", 0, 7);
    stage(0, muxcontrol::kStage1First, 12, &MultiplexerDialog::OnStage1Port);
    groupBox("2. Stufe ", muxcontrol::kStage2Group, 70);
    stage(1, muxcontrol::kStage2First, 74, &MultiplexerDialog::OnStage2Port);
    auto* twoStage = new QCheckBox(QStringLiteral("Zweistufig"), this);
    place(twoStage, muxcontrol::kTwoStage, 132, 15, 47, 11);
    WidenToCaption(twoStage);
    connect(twoStage, &QCheckBox::clicked, this,
            [this](bool checked) { Forward([&] { m_dialog.OnTwoStage(checked); }); });
    pushButton("&Hilfe", muxcontrol::kHelp, 132, 74, [this] {
        if (onHelp) {
            onHelp();
        }
    });
}

int MultiplexerWindow::CheckedPort(const QButtonGroup& group) {
    return std::max(group.checkedId(), 0);
}

void MultiplexerWindow::ShowPort(int stage, int port) {
    if (QAbstractButton* button = m_stages[stage == 1 ? 0 : 1]->button(port)) {
        button->setChecked(true);  // the group takes the mark from the others
    }
}

void MultiplexerWindow::ShowTwoStage(bool twoStage) {
    SetChecked(muxcontrol::kTwoStage, twoStage);
    // Greyed out, the buttons keep their check marks.
    SetEnabled(muxcontrol::kStage2Group, twoStage);
    for (QAbstractButton* button : m_stages[1]->buttons()) {
        button->setEnabled(twoStage);
    }
}

void MultiplexerWindow::reject() {
    // Esc and the close box are the dialog's cancel.
    Forward([this] { m_dialog.OnCancel(); });
}

}  // namespace tavrolin
