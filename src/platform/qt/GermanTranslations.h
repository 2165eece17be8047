// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QCoreApplication;

namespace tavrolin {

// Qt's own texts in German (the file dialog's "Suchen in:", standard buttons such as
// "Abbrechen"), whatever the user's language: every other text of the program is German.
// False when Qt's German translations are not installed (Debian: qt6-translations-l10n).
bool UseGermanQtTexts(QCoreApplication& application);

}  // namespace tavrolin
