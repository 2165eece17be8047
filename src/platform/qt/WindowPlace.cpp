// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/WindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <algorithm>

namespace tavrolin {

namespace {

QSettings Places() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("tavrolin"),
                     QStringLiteral("fenster"));
}

}  // namespace

void RestorePlace(QWidget* window, const QString& name, QSize wanted) {
    QSettings places = Places();
    if (window->restoreGeometry(places.value(name + QStringLiteral("/geometry")).toByteArray())) {
        return;
    }
    const QScreen* screen =
        window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        // Room for the window manager's frame and a panel.
        const QRect room = screen->availableGeometry().adjusted(0, 0, -16, -48);
        wanted = wanted.boundedTo(room.size());
    }
    window->resize(wanted.expandedTo(window->minimumSizeHint()));
}

void KeepPlace(const QWidget* window, const QString& name) {
    QSettings places = Places();
    places.setValue(name + QStringLiteral("/geometry"), window->saveGeometry());
}

}  // namespace tavrolin
