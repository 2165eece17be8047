// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>
#include <QString>

class QWidget;

namespace tavrolin {

// Where the windows beside the receiver window were last (size and place), kept for the next
// time in $XDG_CONFIG_HOME/tavrolin/fenster.conf, apart from the profile, which belongs to
// the receiver window. A window opens at its last size and place when that is still on a
// screen, else at `wanted`, made to fit the screen it opens on.
void RestorePlace(QWidget* window, const QString& name, QSize wanted);
// Keeps the window's size and place (when it is closed).
void KeepPlace(const QWidget* window, const QString& name);

}  // namespace tavrolin
