// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

#include "app/HelpViewer.h"

namespace tavrolin {

// Where the program's help page is: installed beside the binaries' folder
// (<prefix>/share/tavrolin/tavrolin.html), or in the source tree for a program run from its
// build folder. The first candidate when neither exists.
QString HelpPagePath();

// Help as the HTML page shipped with the program, shown by the desktop's browser. The page
// covers the multiplexer dialog, the one window that asks for help.
class QtHelpViewer : public HelpViewer {
public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    explicit QtHelpViewer(QString pagePath = HelpPagePath(), UrlOpener open = DesktopOpener());

    // False when the page is missing or the desktop cannot open it.
    bool ShowHelp() override;

    static UrlOpener DesktopOpener();

private:
    QString m_pagePath;
    UrlOpener m_open;
};

}  // namespace tavrolin
