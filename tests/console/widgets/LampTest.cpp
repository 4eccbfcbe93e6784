#include "console/widgets/Lamp.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>

namespace {

// What the screen shows of the lamp right now: on the offscreen platform this is the flushed
// backing store, so it tells whether a paint reached the screen without any event processing.
QColor ShownColor(TLamp& lamp) {
    QWidget* window = lamp.window();
    const QPoint centre = lamp.mapTo(window, lamp.rect().center());
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(window->winId()).toImage();
    return shot.pixelColor(centre * shot.devicePixelRatio());
}

} // namespace

class LampTest : public QObject {
    Q_OBJECT
private slots:
    void StartsOffInTheOffColour();
    void ChangeValueSelectsTheColour();
    void AFlashWithinOneHandlerReachesTheScreen();
};

void LampTest::StartsOffInTheOffColour() {
    QWidget window;
    TLamp lamp(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(lamp.Value(), false);
    QCOMPARE(lamp.size(), QSize(16, 16));
    QCOMPARE(lamp.grab().toImage().pixelColor(8, 8), QColor(192, 192, 192));
}

void LampTest::ChangeValueSelectsTheColour() {
    QWidget window;
    TLamp lamp(&window);
    lamp.SetColors(QColor(10, 20, 30), QColor(200, 100, 50));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    lamp.ChangeValue(true);
    QCOMPARE(lamp.Value(), true);
    QCOMPARE(lamp.grab().toImage().pixelColor(2, 2), QColor(200, 100, 50));
    lamp.ChangeValue(false);
    QCOMPARE(lamp.grab().toImage().pixelColor(13, 13), QColor(10, 20, 30));
}

void LampTest::AFlashWithinOneHandlerReachesTheScreen() {
    QWidget window;
    window.resize(100, 40);
    TLamp lamp(&window);
    lamp.move(18, 2);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(20); // let the first exposure's paint settle
    QCOMPARE(ShownColor(lamp), QColor(192, 192, 192));

    // No event processing between on and off, as inside the engine tick.
    lamp.ChangeValue(true);
    QCOMPARE(ShownColor(lamp), QColor(0, 255, 0));
    lamp.ChangeValue(false);
    QCOMPARE(ShownColor(lamp), QColor(192, 192, 192));
}

QTEST_MAIN(LampTest)
#include "LampTest.moc"
