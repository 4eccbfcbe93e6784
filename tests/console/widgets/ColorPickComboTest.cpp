#include "console/widgets/ColorPickCombo.h"

#include <QApplication>
#include <QColorDialog>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {

// Runs action once the widget it waits for is up (a popup menu or a modal dialog open their own
// event loop, so the test acts from a timer inside it).
template <typename TWidget>
void WhenShown(std::function<TWidget*()> find, std::function<void(TWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, find, action] {
        if (TWidget* widget = find()) {
            timer->stop();
            timer->deleteLater();
            action(widget);
        }
    });
    timer->start();
}

QMenu* OpenMenu() {
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QColorDialog* OpenDialog() {
    return qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
}

} // namespace

class ColorPickComboTest : public QObject {
    Q_OBJECT
private slots:
    void ColourSetFromCodeIsShownAndReported();
    void PickingAStandardColour();
    void OtherColorsOpensTuneColorsWithAlpha();
    void CancellingTheDialogKeepsTheColour();
};

void ColorPickComboTest::ColourSetFromCodeIsShownAndReported() {
    TColorPickCombo picker;
    picker.resize(120, 24);
    picker.show();
    QVERIFY(QTest::qWaitForWindowExposed(&picker));
    QSignalSpy changed(&picker, &TColorPickCombo::Changed);

    picker.SetColor(QColor(0, 0, 255));
    QCOMPARE(changed.count(), 1);
    picker.SetColor(QColor(0, 0, 255));
    QCOMPARE(changed.count(), 1);
    const QImage image = picker.grab().toImage();
    QCOMPARE(image.pixelColor(image.width() / 3, image.height() / 2), QColor(0, 0, 255));

    const QColor halfRed(255, 0, 0, 128);
    picker.SetColor(halfRed);
    QCOMPARE(picker.Color(), halfRed);
    QCOMPARE(picker.Color().alpha(), 128);
    QCOMPARE(changed.count(), 2);
}

void ColorPickComboTest::PickingAStandardColour() {
    TColorPickCombo picker;
    picker.resize(120, 24);
    picker.show();
    QVERIFY(QTest::qWaitForWindowExposed(&picker));
    QSignalSpy changed(&picker, &TColorPickCombo::Changed);

    WhenShown<QMenu>(OpenMenu, [](QMenu* menu) {
        auto* red = menu->findChild<QToolButton*>("SwatchRed");
        QVERIFY(red);
        QTest::mouseClick(red, Qt::LeftButton);
    });
    QTest::mouseClick(picker.findChild<QToolButton*>("ButtonColor"), Qt::LeftButton);
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(picker.Color(), QColor(255, 0, 0));
    QTRY_VERIFY(!OpenMenu());
}

void ColorPickComboTest::OtherColorsOpensTuneColorsWithAlpha() {
    TColorPickCombo picker;
    picker.resize(120, 24);
    picker.show();
    QVERIFY(QTest::qWaitForWindowExposed(&picker));
    QSignalSpy changed(&picker, &TColorPickCombo::Changed);
    QString title;
    bool alphaOffered = false;

    WhenShown<QMenu>(OpenMenu, [&](QMenu* menu) {
        QAction* other = menu->findChild<QAction*>("ActionOtherColors");
        QVERIFY(other);
        QCOMPARE(other->text(), QString("&Other colors..."));
        WhenShown<QColorDialog>(OpenDialog, [&](QColorDialog* dialog) {
            title = dialog->windowTitle();
            alphaOffered = dialog->testOption(QColorDialog::ShowAlphaChannel);
            dialog->setCurrentColor(QColor(10, 20, 30, 77));
            dialog->accept();
        });
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(other).center());
    });
    QTest::mouseClick(picker.findChild<QToolButton*>("ButtonColor"), Qt::LeftButton);
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(title, QString("Tune Colors"));
    QVERIFY(alphaOffered);
    QCOMPARE(picker.Color(), QColor(10, 20, 30, 77));
}

void ColorPickComboTest::CancellingTheDialogKeepsTheColour() {
    TColorPickCombo picker;
    picker.SetColor(QColor(0, 128, 0));
    picker.show();
    QVERIFY(QTest::qWaitForWindowExposed(&picker));
    QSignalSpy changed(&picker, &TColorPickCombo::Changed);
    bool shown = false;

    WhenShown<QColorDialog>(OpenDialog, [&](QColorDialog* dialog) {
        shown = true;
        dialog->setCurrentColor(QColor(1, 2, 3));
        dialog->reject();
    });
    picker.findChild<QAction*>("ActionOtherColors")->trigger();
    QTRY_VERIFY(shown);
    QTRY_VERIFY(!OpenDialog());
    QCOMPARE(picker.Color(), QColor(0, 128, 0));
    QCOMPARE(changed.count(), 0);
}

QTEST_MAIN(ColorPickComboTest)
#include "ColorPickComboTest.moc"
