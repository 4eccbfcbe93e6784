// Closing the window with a controller that acknowledges setpoint 0 but keeps its flow: the
// close still ends, and the log pane names the device that was not confirmed safe.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/DoubleEdit.h"
#include "sim/SimMFC.h"
#include "sim/SimPortServer.h"

#include <QTemporaryDir>

#include <memory>
#include <string>

class UnconfirmedStopTest : public QObject {
    Q_OBJECT

private slots:
    void AControllerThatKeepsFlowingIsNamedOnClose() {
        // A simulated controller on its own terminal, reached through a link in a private folder.
        QTemporaryDir ports;
        const std::string port = ports.filePath(QStringLiteral("COM7")).toStdString();
        TSimPortServer server("MFC", std::make_unique<TSimMFC>());
        std::string error;
        QVERIFY2(server.Plug(port, error), error.c_str());

        TDeviceInfo device = KnownDevices[0];
        device.COMPort = port;
        TConsoleFixture fixture({device});
        TFormOrvello& window = *fixture.window;
        const QString row = QString::fromStdString(port);
        fixture.ClickRow(row);
        ConfigureFocusedDevice(window);
        ShowTab(window, "TabSheetDirectControl");
        TConsoleFixture::TypeInto(
            Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"), "50");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
        WAIT_UNTIL(server.State().Setpoint == "32000", 60000, "the controller at half scale",
                   QStringLiteral("setpoint %1, last command %2")
                       .arg(QString::fromStdString(server.State().Setpoint))
                       .arg(QString::fromStdString(server.State().LastCommand)));

        server.WithInstrument(
            [](TSimInstrument& mfc) { static_cast<TSimMFC&>(mfc).SetIgnoreSetpoints(true); });
        window.close();
        QCOMPARE(ActiveThreadCount(), 0);
        QCOMPARE(server.State().Setpoint, std::string("32000"));
        const QString expected = QString::fromStdString(UnconfirmedStopLine(port, device.NameRole));
        QVERIFY2(fixture.LogLines().filter(expected).size() == 1,
                 qPrintable(fixture.LogLines().join('\n')));
    }
};

QTEST_MAIN(UnconfirmedStopTest)
#include "UnconfirmedStopTest.moc"
