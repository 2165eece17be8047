// SPDX-License-Identifier: GPL-3.0-or-later
// The window's building blocks on the real widgets: dialog units, the address field's keys,
// the received list, the about box, message boxes and the file dialog, with Qt's own texts in
// German as the program has them.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <vector>

#include "FakeClocks.h"

#include "mux/MultiplexerDialog.h"
#include "platform/qt/AboutBox.h"
#include "platform/qt/AddressField.h"
#include "platform/qt/DialogUnits.h"
#include "platform/qt/GermanTranslations.h"
#include "platform/qt/MultiplexerWindow.h"
#include "platform/qt/QtFileChooser.h"
#include "platform/qt/QtHelpViewer.h"
#include "platform/qt/QtMessageSink.h"
#include "platform/qt/QtReceivedList.h"

using namespace tavrolin;

namespace {

// Runs check on the modal widget that the code under test opens next, from inside its loop.
void WhenModalOpens(std::function<void(QWidget*)> check) {
    QTimer::singleShot(0, [check] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        check(modal);
    });
}

// Whether a text fits the width its widget gives it (with room for the style's margins).
bool Fits(const QWidget* widget, const QString& text, int reserved) {
    return widget->fontMetrics().horizontalAdvance(text) + reserved <= widget->width();
}

}  // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(UseGermanQtTexts(*QCoreApplication::instance())); }
    void standardButtonsAreGerman();
    void dialogUnitsConvertLikeTheDialogManager_data();
    void dialogUnitsConvertLikeTheDialogManager();
    void dialogFontHasTheMetricsTheLayoutWasDrawnFor();
    void addressFieldTakesTheDialogKeys();
    void addressFieldLetsOtherKeysEditWhenNotHandled();
    void addressFieldReportsLosingTheFocus();
    void receivedListShowsItsLinesAndKeepsItsSelection();
    void aboutBoxShowsNameVersionAndOk();
    void messageBoxShowsCaptionTextAndIcon_data();
    void messageBoxShowsCaptionTextAndIcon();
    void fileDialogOffersBothFiltersAndAcceptsANewName();
    void fileDialogCancelledGivesNothing();
    void allFilesFilterShowsNamesWithoutDot();
    void helpOpensTheShippedPageForTheMultiplexerDialog();
    void multiplexerWindowShowsEachStagesPortAndGreysTheSecond();
};

void WidgetsTest::standardButtonsAreGerman() {
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

void WidgetsTest::dialogUnitsConvertLikeTheDialogManager_data() {
    QTest::addColumn<int>("baseX");
    QTest::addColumn<int>("baseY");
    QTest::addColumn<QRect>("units");
    QTest::addColumn<QRect>("pixels");
    // The main window and two of its controls at 6 x 13 (the original font) and 7 x 13.
    QTest::newRow("window 6x13") << 6 << 13 << QRect(0, 0, 431, 271) << QRect(0, 0, 647, 440);
    QTest::newRow("list 6x13") << 6 << 13 << QRect(12, 15, 251, 242) << QRect(18, 24, 377, 393);
    QTest::newRow("box 7x13") << 7 << 13 << QRect(290, 152, 9, 9) << QRect(508, 247, 16, 15);
    QTest::newRow("negative") << 6 << 13 << QRect(-3, -5, 1, 1) << QRect(-5, -8, 2, 2);
}

void WidgetsTest::dialogUnitsConvertLikeTheDialogManager() {
    QFETCH(int, baseX);
    QFETCH(int, baseY);
    QFETCH(QRect, units);
    QFETCH(QRect, pixels);
    const DialogUnits du(baseX, baseY);
    QCOMPARE(du.Rect(units.x(), units.y(), units.width(), units.height()), pixels);
}

void WidgetsTest::dialogFontHasTheMetricsTheLayoutWasDrawnFor() {
    // The width of the alphabet over 26, rounded, halved: 317 -> 6, 333 -> 6, 353 -> 7.
    QCOMPARE(AverageCharWidth(317), 6);
    QCOMPARE(AverageCharWidth(338), 7);
    QCOMPARE(AverageCharWidth(353), 7);
    const DialogUnits du(DialogFont());
    if (QFontInfo(DialogFont()).family() != QStringLiteral("DejaVu Sans Condensed")) {
        QSKIP("DejaVu Sans Condensed (fonts-dejavu-extra) is not installed");
    }
    QCOMPARE(du.BaseX(), 6);
    QCOMPARE(du.BaseY(), 13);
}

void WidgetsTest::addressFieldTakesTheDialogKeys() {
    QWidget window;
    auto* field = new AddressField(&window);
    auto* next = new QLineEdit(&window);
    std::vector<std::pair<int, bool>> offered;
    field->onChar = [&](int character, bool shift) {
        offered.emplace_back(character, shift);
        return true;  // the controller handles every key here
    };
    window.show();
    field->setFocus();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::keyClick(field, Qt::Key_Tab);
    QTest::keyClick(field, Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(field, Qt::Key_Escape);
    QTest::keyClick(field, '5');

    const std::vector<std::pair<int, bool>> expected = {{9, false},  {9, true},   {13, false},
                                                        {13, false}, {27, false}, {'5', false}};
    QVERIFY(offered == expected);
    // Handled keys go no further: the focus stayed and nothing was typed.
    QVERIFY(field->hasFocus());
    QVERIFY(!next->hasFocus());
    QCOMPARE(field->text(), QString());
}

void WidgetsTest::addressFieldLetsOtherKeysEditWhenNotHandled() {
    QDialog window;  // a dialog would end on Esc and Enter if the field let them through
    auto* field = new AddressField(&window);
    auto* next = new QLineEdit(&window);
    field->setMaxLength(1);
    field->onChar = [](int, bool) { return false; };
    window.show();
    field->setFocus();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::keyClicks(field, "94");
    QCOMPARE(field->text(), QStringLiteral("9"));  // one character at most
    QTest::keyClick(field, Qt::Key_Escape);
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClick(field, Qt::Key_Tab);
    QVERIFY(window.isVisible());
    QVERIFY(field->hasFocus());
    QVERIFY(!next->hasFocus());
}

void WidgetsTest::addressFieldReportsLosingTheFocus() {
    QWidget window;
    auto* field = new AddressField(&window);
    auto* other = new QLineEdit(&window);
    int lost = 0;
    field->onFocusOut = [&] { ++lost; };
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    field->setFocus();
    QCOMPARE(lost, 0);
    other->setFocus();
    QCOMPARE(lost, 1);
}

void WidgetsTest::receivedListShowsItsLinesAndKeepsItsSelection() {
    QListWidget widget;
    QtReceivedList list(widget);
    QCOMPARE(list.CurrentLine(), -1);
    list.AppendLine("Außen 0 : 21.5°C");
    list.AppendLine("second");
    list.AppendLine("third");
    QCOMPARE(widget.item(0)->text(), QStringLiteral("Außen 0 : 21.5°C"));
    QCOMPARE(list.LineCount(), 3);

    list.SetCurrentLine(2);
    QCOMPARE(list.CurrentLine(), 2);
    list.RemoveLine(0);  // the selection moves up with its line
    QCOMPARE(list.CurrentLine(), 1);
    QCOMPARE(widget.item(1)->text(), QStringLiteral("third"));
    list.RemoveLine(1);  // and is gone with it
    QCOMPARE(list.CurrentLine(), -1);
    list.SetCurrentLine(5);  // no such line
    QCOMPARE(list.CurrentLine(), -1);
    list.SetCurrentLine(0);
    list.Clear();
    QCOMPARE(list.LineCount(), 0);
    QCOMPARE(list.CurrentLine(), -1);
}

void WidgetsTest::aboutBoxShowsNameVersionAndOk() {
    AboutBox box(nullptr);
    QCOMPARE(box.windowTitle(), QStringLiteral("Info über Tavrolin"));
    QLabel* text = nullptr;
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->text() == QStringLiteral("Tavrolin Version 1.0")) {
            text = label;
        }
    }
    QVERIFY(text != nullptr);
    QVERIFY(Fits(text, text->text(), 0));
    auto* ok = box.findChild<QPushButton*>();
    QVERIFY(ok != nullptr);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());

    WhenModalOpens([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    QCOMPARE(box.exec(), int(QDialog::Rejected));
    WhenModalOpens([](QWidget* modal) { modal->findChild<QPushButton*>()->click(); });
    QCOMPARE(box.exec(), int(QDialog::Accepted));
}

void WidgetsTest::messageBoxShowsCaptionTextAndIcon_data() {
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("expected");
    QTest::newRow("stop") << int(MessageIcon::Stop) << int(QMessageBox::Critical);
    QTest::newRow("exclamation") << int(MessageIcon::Exclamation) << int(QMessageBox::Warning);
    QTest::newRow("information") << int(MessageIcon::Information) << int(QMessageBox::Information);
}

void WidgetsTest::messageBoxShowsCaptionTextAndIcon() {
    QFETCH(int, icon);
    QFETCH(int, expected);
    QtMessageSink sink;
    bool seen = false;
    WhenModalOpens([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        QCOMPARE(box->windowTitle(), QStringLiteral("Fehler beim Öffnen der Schnittstelle"));
        QCOMPARE(box->text(), QStringLiteral("Die Schnittstelle läßt sich nicht öffnen"));
        QCOMPARE(int(box->icon()), expected);
        QCOMPARE(box->buttons().size(), 1);
        seen = true;
        box->buttons().front()->click();
    });
    sink.ShowMessage("Fehler beim Öffnen der Schnittstelle",
                     "Die Schnittstelle läßt sich nicht öffnen", MessageIcon(icon));
    QVERIFY(seen);
}

void WidgetsTest::fileDialogOffersBothFiltersAndAcceptsANewName() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("neu.dat"));
    QtFileChooser chooser;
    QStringList filters;
    WhenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
        filters = dialog->nameFilters();
        // Qt's own texts in German.
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lookInLabel"))->text(),
                 QStringLiteral("Suchen in:"));
        QCOMPARE(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text(),
                 QStringLiteral("Abbrechen"));
        dialog->selectFile(path);  // a file that does not exist yet
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const auto chosen = chooser.ChooseFile({{"*.dat", "*.dat"}, {"Alle Dateien (*.*)", "*.*"}});
    QCOMPARE(filters, QStringList({QStringLiteral("*.dat"), QStringLiteral("Alle Dateien (*.*)")}));
    QVERIFY(chosen.has_value());
    QCOMPARE(QString::fromStdString(*chosen), path);
}

void WidgetsTest::fileDialogCancelledGivesNothing() {
    QtFileChooser chooser;
    WhenModalOpens([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    QVERIFY(!chooser.ChooseFile({{"*.dat", "*.dat"}}).has_value());
}

void WidgetsTest::allFilesFilterShowsNamesWithoutDot() {
    QTemporaryDir folder;
    for (const char* name : {"protokoll", "alt.dat", "notiz.txt"}) {
        QFile file(folder.filePath(QString::fromUtf8(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QtFileChooser chooser;
    QStringList shown;
    WhenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        dialog->setDirectory(folder.path());
        dialog->selectNameFilter(QStringLiteral("Alle Dateien (*.*)"));
        auto* model = dialog->findChild<QFileSystemModel*>();
        // The file list fills in the background; wait until it shows the folder's files.
        QTRY_COMPARE(model->rowCount(model->index(folder.path())), 3);
        const QModelIndex root = model->index(folder.path());
        for (int row = 0; row < model->rowCount(root); ++row) {
            shown << model->index(row, 0, root).data().toString();
        }
        dialog->reject();
    });
    chooser.ChooseFile({{"*.dat", "*.dat"}, {"Alle Dateien (*.*)", "*.*"}});
    shown.sort();
    QCOMPARE(shown, QStringList({QStringLiteral("alt.dat"), QStringLiteral("notiz.txt"),
                                 QStringLiteral("protokoll")}));
}

void WidgetsTest::helpOpensTheShippedPageForTheMultiplexerDialog() {
    QList<QUrl> opened;
    bool desktopAnswer = true;
    auto opener = [&](const QUrl& url) {
        opened << url;
        return desktopAnswer;
    };
    // The page the build ships.
    const QString page = HelpPagePath();
    QVERIFY2(QFileInfo(page).isFile(), qPrintable(page));
    QtHelpViewer help(page, opener);
    QVERIFY(help.ShowHelp());
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(page)});
    // The desktop cannot open it.
    desktopAnswer = false;
    QVERIFY(!help.ShowHelp());
    // A page that is missing is not opened at all.
    opened.clear();
    QTemporaryDir folder;
    QtHelpViewer missing(folder.filePath(QStringLiteral("tavrolin.html")), opener);
    QVERIFY(!missing.ShowHelp());
    QVERIFY(opened.isEmpty());
}

void WidgetsTest::multiplexerWindowShowsEachStagesPortAndGreysTheSecond() {
    testing::FakeCoarseClock clock;
    MultiplexerLine line(clock);
    MultiplexerDialog dialog(line);
    MultiplexerWindow window(dialog, nullptr);
    auto checked = [&](int first) {
        QList<int> ids;
        for (int id = first; id < first + 6; ++id) {
            if (qobject_cast<QAbstractButton*>(window.Control(id))->isChecked()) {
                ids << id;
            }
        }
        return ids;
    };
    // A new window shows no port of either stage.
    QCOMPARE(checked(muxcontrol::kStage1First), QList<int>{});
    window.ShowPort(1, 3);
    QCOMPARE(checked(muxcontrol::kStage1First), QList<int>{1002});
    window.ShowPort(1, 2);
    QCOMPARE(checked(muxcontrol::kStage1First), QList<int>{1001});
    // The stages are groups of their own.
    window.ShowPort(2, 5);
    QCOMPARE(checked(muxcontrol::kStage1First), QList<int>{1001});
    QCOMPARE(checked(muxcontrol::kStage2First), QList<int>{1010});
    // One stage: the second one greyed, its choice kept.
    window.ShowTwoStage(false);
    QVERIFY(!qobject_cast<QAbstractButton*>(window.Control(muxcontrol::kTwoStage))->isChecked());
    QVERIFY(!window.Control(muxcontrol::kStage2Group)->isEnabled());
    for (int id = muxcontrol::kStage2First; id < muxcontrol::kStage2First + 6; ++id) {
        QVERIFY(!window.Control(id)->isEnabled());
    }
    QCOMPARE(checked(muxcontrol::kStage2First), QList<int>{1010});
    QVERIFY(window.Control(muxcontrol::kStage1First)->isEnabled());
    window.ShowTwoStage(true);
    QVERIFY(window.Control(1010)->isEnabled());
}

QTEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
