// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's own texts come in German, as the program's own do: the standard buttons and the
// file dialog of ". . .", whatever the language of the system the test runs on.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "platform/qt/GermanTranslations.h"
#include "platform/qt/QtFileChooser.h"

using namespace tavrolin;

class GermanTextsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(UseGermanQtTexts(*QCoreApplication::instance())); }
    void standardButtonsAreGerman();
    void theFileDialogOfTheDotsIsGerman();
};

void GermanTextsTest::standardButtonsAreGerman() {
    const std::pair<QDialogButtonBox::StandardButton, const char*> cases[] = {
        {QDialogButtonBox::Cancel, "Abbrechen"},
        {QDialogButtonBox::Close, "Schließen"},
        {QDialogButtonBox::No, "&Nein"},
    };
    for (const auto& [which, text] : cases) {
        QDialogButtonBox box(which);
        QCOMPARE(box.button(which)->text(), QString::fromUtf8(text));
    }
}

void GermanTextsTest::theFileDialogOfTheDotsIsGerman() {
    QStringList labels;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
            labels << dialog->findChild<QLabel*>(QString::fromUtf8(name))->text();
        }
        for (QAbstractButton* button :
             dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->buttons()) {
            buttons << button->text();
        }
        dialog->reject();
    });
    QtFileChooser chooser;
    chooser.ChooseFile({{"*.dat", "*.dat"}, {"Alle Dateien (*.*)", "*.*"}});
    QCOMPARE(labels, QStringList({QStringLiteral("Suchen in:"), QStringLiteral("Datei&name:"),
                                  QStringLiteral("Dateien des Typs:")}));
    buttons.sort();
    QCOMPARE(buttons, QStringList({QStringLiteral("&Öffnen"), QStringLiteral("Abbrechen")}));
}

QTEST_MAIN(GermanTextsTest)
#include "GermanTexts_test.moc"
