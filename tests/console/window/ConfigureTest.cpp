// The Configure tab's colour code and tools.
#include "console/ConsoleTestSupport.h"

#include "console/widgets/ColorPickCombo.h"
#include "console/widgets/DoubleEdit.h"

#include <QLabel>

class ConfigureTest : public QObject {
    Q_OBJECT

private slots:
    void TheColourCodeReadsBlueHighRedLow_data() {
        QTest::addColumn<QColor>("color");
        QTest::addColumn<QString>("code");
        QTest::newRow("red") << QColor(255, 0, 0) << "     255";
        QTest::newRow("blue") << QColor(0, 0, 255) << "16711680";
        QTest::newRow("green") << QColor(0, 128, 0) << "   32768";
    }

    void TheColourCodeReadsBlueHighRedLow() {
        QFETCH(QColor, color);
        QFETCH(QString, code);
        TConsoleFixture fixture;
        fixture.window->RtColorPickComboDeviceColor->SetColor(color);
        QCOMPARE(fixture.window->LabelDeviceColor->text(), code);
        // The device's own colour changes only with "Apply configuration".
        QCOMPARE(fixture.Device("X-COM").Color, MakeDemoDevice().Color);
    }

    void InitializeOnlyExplainsItself() {
        TConsoleFixture fixture;
        fixture.ClickRow("X-COM");
        TConsoleFixture::Click(fixture.window->ButtonDeviceInitialize);
        QCOMPARE(fixture.Messages(),
                 (std::vector<std::string>{"Initializing device, this may take a while. Form will "
                                           "be unresponsive during initialization.",
                                           "There is no Initialize procedure for demo device"}));
        QVERIFY(fixture.window->TimerEngine->isActive());

        fixture.messages->recorder.Clear();
        ConfigureFocusedDevice(*fixture.window);
        TConsoleFixture::Click(fixture.window->ButtonDeviceInitialize);
        QCOMPARE(fixture.Messages(),
                 std::vector<std::string>{"Device thread is running, cannot proceed. Initialize "
                                          "can only be performed before Configuration is applied"});
    }

    void TheFlowDeviationSettingsAreTheDevicesOwn() {
        TConsoleFixture fixture({MakeDemoDevice(), MakeSecondDemoDevice()});
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices();
        fixture.ClickRow("X-COM");
        QVERIFY(window.PanelFlowAlarm->isVisible());
        QCOMPARE(window.RtDoubleEditDeviationLimit->Value(), 5.0);
        QCOMPARE(window.RtDoubleEditDeviationDelay->Value(), 60.0);
        TConsoleFixture::TypeInto(window.RtDoubleEditDeviationLimit, "2.5");
        TConsoleFixture::TypeInto(window.RtDoubleEditDeviationDelay, "300");
        ConfigureFocusedDevice(window);
        QCOMPARE(fixture.Device("X-COM").DeviationLimit_pct, 2.5);
        QCOMPARE(fixture.Device("X-COM").DeviationDelay_s, 300.0);

        // Another device shows its own, and the first one's come back with it.
        fixture.ClickRow("X-COM2");
        QCOMPARE(window.RtDoubleEditDeviationLimit->Value(), 5.0);
        QCOMPARE(fixture.Device("X-COM2").DeviationLimit_pct, 5.0);
        fixture.ClickRow("X-COM");
        QCOMPARE(window.RtDoubleEditDeviationDelay->Value(), 300.0);
    }
};

QTEST_MAIN(ConfigureTest)
#include "ConfigureTest.moc"
