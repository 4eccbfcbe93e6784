// A controller that acknowledges setpoint 0 but keeps its flow: the close still ends, and the
// log pane names the device that was not confirmed safe; one left so by a reset stays named
// until it is stopped with confirmation, and a close before that does not end as if all were
// well.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/DoubleEdit.h"
#include "sim/SimMFC.h"
#include "sim/SimPortServer.h"

#include <QAction>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <string>

namespace {

// A simulated controller on its own terminal, reached through a link in a private folder.
class TLinkedController {
public:
    explicit TLinkedController(const char* name)
        : port(ports_.filePath(QString::fromLatin1(name)).toStdString()) {
        std::string error;
        plugged = server.Plug(port, error);
        if (!plugged)
            qWarning("%s", error.c_str());
    }

    void IgnoreSetpoints(bool on) {
        server.WithInstrument(
            [on](TSimInstrument& mfc) { static_cast<TSimMFC&>(mfc).SetIgnoreSetpoints(on); });
    }
    std::string Setpoint() { return server.State().Setpoint; }

private:
    QTemporaryDir ports_;

public:
    const std::string port;
    TSimPortServer server{"MFC", std::make_unique<TSimMFC>()};
    bool plugged = false;
};

} // namespace

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

    // Two controllers, both left unconfirmed by a reset; one is configured and stopped again.
    void AStopNotConfirmedAtAResetIsKeptUntilTheDeviceStopsConfirmed() {
        TLinkedController left("COM7");
        TLinkedController stoppedAgain("COM8");
        QVERIFY(left.plugged && stoppedAgain.plugged);
        std::vector<TDeviceInfo> devices;
        for (const TLinkedController* controller : {&left, &stoppedAgain}) {
            TDeviceInfo device = KnownDevices[0];
            device.COMPort = controller->port;
            device.NameRole += " " + controller->port.substr(controller->port.size() - 4);
            devices.push_back(device);
        }
        TConsoleFixture fixture(devices);
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices(); // the rows as the search leaves them
        for (TLinkedController* controller : {&left, &stoppedAgain}) {
            fixture.ClickRow(QString::fromStdString(controller->port));
            ConfigureFocusedDevice(window);
            ShowTab(window, "TabSheetDirectControl");
            TConsoleFixture::TypeInto(
                Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"), "50");
            TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
        }
        WAIT_UNTIL(left.Setpoint() == "32000" && stoppedAgain.Setpoint() == "32000", 60000,
                   "the controllers at half scale",
                   QString::fromStdString(left.Setpoint() + " " + stoppedAgain.Setpoint()));

        // The reset's stops go unconfirmed; then the controllers obey again, but nobody has told
        // them to stop since.
        left.IgnoreSetpoints(true);
        stoppedAgain.IgnoreSetpoints(true);
        fixture.Find<QAction>("Resetsoftware1")->trigger();
        left.IgnoreSetpoints(false);
        stoppedAgain.IgnoreSetpoints(false);
        std::vector<std::string> both{left.port, stoppedAgain.port};
        std::sort(both.begin(), both.end());
        QCOMPARE(window.UnconfirmedStopPorts(), both);
        const auto named = [&](const TLinkedController& controller) {
            const std::string line =
                UnconfirmedStopLine(controller.port, fixture.Device(controller.port).NameRole);
            return fixture.LogLines().filter(QString::fromStdString(line)).size();
        };
        QCOMPARE(named(left), 1);
        QCOMPARE(named(stoppedAgain), 1);

        fixture.ClickRow(QString::fromStdString(stoppedAgain.port));
        ConfigureFocusedDevice(window);
        fixture.Find<QAction>("Resetsoftware1")->trigger();
        QCOMPARE(window.UnconfirmedStopPorts(), std::vector<std::string>{left.port});
        QCOMPARE(stoppedAgain.Setpoint(), std::string("0"));

        // The close stops nothing more, and does not end as if all were well: the device left
        // flowing is named again.
        window.close();
        QCOMPARE(ActiveThreadCount(), 0);
        QCOMPARE(left.Setpoint(), std::string("32000"));
        QVERIFY(window.DevicesLeftUnsafe());
        QCOMPARE(named(left), 2);
        QCOMPARE(named(stoppedAgain), 1);
    }
};

QTEST_MAIN(UnconfirmedStopTest)
#include "UnconfirmedStopTest.moc"
