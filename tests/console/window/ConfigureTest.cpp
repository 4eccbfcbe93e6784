// The Configure tab's colour code and tools.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/ColorPickCombo.h"
#include "console/widgets/DoubleEdit.h"
#include "engine/WorkerReadyWatch.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>

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
        Control<TColorPickCombo>(*fixture.window, "RtColorPickComboDeviceColor")->SetColor(color);
        QCOMPARE(Control<QLabel>(*fixture.window, "LabelDeviceColor")->text(), code);
        // The device's own colour changes only with "Apply configuration".
        QCOMPARE(fixture.Device("X-COM").Color, MakeDemoDevice().Color);
    }

    void InitializeOnlyExplainsItself() {
        TConsoleFixture fixture;
        fixture.ClickRow("X-COM");
        TConsoleFixture::Click(Control<QPushButton>(*fixture.window, "ButtonDeviceInitialize"));
        QCOMPARE(fixture.Messages(),
                 (std::vector<std::string>{"Initializing device, this may take a while. Form will "
                                           "be unresponsive during initialization.",
                                           "There is no Initialize procedure for demo device"}));
        QVERIFY(Control<QTimer>(*fixture.window, "TimerEngine")->isActive());

        fixture.messages->recorder.Clear();
        ConfigureFocusedDevice(*fixture.window);
        TConsoleFixture::Click(Control<QPushButton>(*fixture.window, "ButtonDeviceInitialize"));
        QCOMPARE(fixture.Messages(),
                 std::vector<std::string>{"Device thread is running, cannot proceed. Initialize "
                                          "can only be performed before Configuration is applied"});
    }

    // "Apply configuration" starts a worker that initialises its instrument for a while; one
    // time-stamped line in the log pane and the session log says when it has and status came.
    void TheWorkerSaysOnceWhenItIsReady() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        ConfigureFocusedDevice(window);
        const QString ready =
            QString::fromStdString(WorkerReadyLine("X-COM", fixture.Device("X-COM").NameRole));
        WAIT_UNTIL(fixture.LogLines().filter(ready).size() == 1, 30000, "the ready line",
                   fixture.LogLines().join('\n'));
        // Later status says nothing more: two data rows need more of it, and no second line came.
        WAIT_UNTIL(window.EngineHost().DataLines().size() >= 6, 30000, "two data rows",
                   Control<QPlainTextEdit>(window, "MemoData")->toPlainText());
        const QStringList lines = fixture.LogLines().filter(ready);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d "))
                     .match(lines.front())
                     .hasMatch(),
                 qPrintable(lines.front()));
        QFile sessionLog(window.SessionLogPath());
        // Written by a thread of its own, soon after.
        WAIT_UNTIL(QString::fromUtf8(ReadAll(sessionLog)).contains(lines.front()), 30000,
                   "the line in the session log", sessionLog.fileName());
    }

    void TheFlowDeviationSettingsAreTheDevicesOwn() {
        TConsoleFixture fixture({MakeDemoDevice(), MakeSecondDemoDevice()});
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices();
        fixture.ClickRow("X-COM");
        QVERIFY(Control<QWidget>(window, "PanelFlowAlarm")->isVisible());
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditDeviationLimit")->Value(), 5.0);
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditDeviationDelay")->Value(), 60.0);
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditDeviationLimit"),
                                  "2.5");
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditDeviationDelay"),
                                  "300");
        ConfigureFocusedDevice(window);
        QCOMPARE(fixture.Device("X-COM").DeviationLimit_pct, 2.5);
        QCOMPARE(fixture.Device("X-COM").DeviationDelay_s, 300.0);

        // Another device shows its own, and the first one's come back with it.
        fixture.ClickRow("X-COM2");
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditDeviationLimit")->Value(), 5.0);
        QCOMPARE(fixture.Device("X-COM2").DeviationLimit_pct, 5.0);
        fixture.ClickRow("X-COM");
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditDeviationDelay")->Value(), 300.0);
    }
};

QTEST_MAIN(ConfigureTest)
#include "ConfigureTest.moc"
