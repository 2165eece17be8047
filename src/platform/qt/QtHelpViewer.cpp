// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtHelpViewer.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>

namespace tavrolin {

QString HelpPagePath() {
    QStringList candidates;
    if (QCoreApplication::instance() != nullptr) {
        candidates << QCoreApplication::applicationDirPath() +
                          QStringLiteral("/../share/tavrolin/tavrolin.html");
    }
#ifdef TAVROLIN_SOURCE_HELP_PAGE
    candidates << QStringLiteral(TAVROLIN_SOURCE_HELP_PAGE);
#endif
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            return QFileInfo(candidate).canonicalFilePath();
        }
    }
    return candidates.isEmpty() ? QString() : candidates.front();
}

QtHelpViewer::QtHelpViewer(QString pagePath, UrlOpener open)
    : m_pagePath(std::move(pagePath)), m_open(std::move(open)) {}

QtHelpViewer::UrlOpener QtHelpViewer::DesktopOpener() {
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

bool QtHelpViewer::ShowHelp() {
    if (m_pagePath.isEmpty() || !QFileInfo(m_pagePath).isFile()) {
        return false;
    }
    return m_open && m_open(QUrl::fromLocalFile(m_pagePath));
}

}  // namespace tavrolin
