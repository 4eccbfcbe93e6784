// Configuring the demonstration device, driving it by setpoint and by its segment program, and
// stopping its worker when the window closes.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/Chart.h"
#include "console/widgets/DoubleEdit.h"
#include "console/widgets/Lamp.h"
#include "mfc/AlicatMFCThread.h"
#include "platform/OperatorMessages.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

namespace {

QStringList LogFiles(const QString& folder, const QString& suffix) {
    return QDir(folder + "/Logs").entryList({"* log " + suffix + ".txt"}, QDir::Files);
}

int FlowPoints(TConsoleFixture& fixture, const std::string& port) {
    TChartCurve* curve = fixture.window->Records().Objects(port).SerieFlow;
    return curve ? curve->PointCount() : 0;
}

// A message box as the operator meets it: it stays open for a while, and events (the engine
// timer among them) go on meanwhile in its own loop.
class TOpenForAWhile : public OperatorMessages {
public:
    explicit TOpenForAWhile(TFormOrvello& window) : window_(window) {}
    void ShowMessage(const std::string& text) override {
        Texts.push_back(text);
        const std::size_t linesBefore = window_.EngineHost().DataLines().size();
        QTest::qWait(1500);
        EngineLampStayedOn = Control<TLamp>(window_, "EngineLed")->Value();
        TableGrewMeanwhile = window_.EngineHost().DataLines().size() != linesBefore;
    }
    std::vector<std::string> Texts;
    bool EngineLampStayedOn = false;
    bool TableGrewMeanwhile = true;

private:
    TFormOrvello& window_;
};

} // namespace

class DirectControlTest : public QObject {
    Q_OBJECT

private slots:
    void ConfiguringStartsTheWorkerAndItsLamp() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        ConfigureFocusedDevice(window);
        const TDeviceInfo device = fixture.Device("X-COM");
        QVERIFY(device.ThreadMFC != nullptr);
        QCOMPARE(device.ControlMode, dcmIdle);
        QCOMPARE(device.FluidID,
                 Control<QComboBox>(window, "ComboBoxDeviceFluid")->itemData(1).toInt());
        QCOMPARE(Control<TDeviceListView>(window, "ListViewDevices")->topLevelItem(0)->text(1),
                 QStringLiteral("Ready"));
        auto* lamp = dynamic_cast<TLamp*>(device.Led);
        QVERIFY(lamp);
        QCOMPARE(lamp->geometry(), QRect(18, 2, 16, 16));
        QCOMPARE(lamp->OffColor(), QColor(128, 0, 128)); // the device's purple

        // A second apply keeps the worker and the lamp.
        ConfigureFocusedDevice(window);
        QCOMPARE(fixture.Device("X-COM").ThreadMFC, device.ThreadMFC);
        QCOMPARE(Control<QWidget>(window, "PanelStatusBar")->findChildren<TLamp*>().size(), 2);
        QVERIFY(fixture.Messages().empty());
    }

    void ASetpointAndThenTheProgramDriveTheDevice() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        ConfigureFocusedDevice(window);
        ShowTab(window, "TabSheetDirectControl");
        TConsoleFixture::TypeInto(
            Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"), "50");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
        QCOMPARE(fixture.Device("X-COM").ControlMode, dcmDirect);
        QCOMPARE(fixture.Device("X-COM").Setpoint_pct, 50.0);

        TMFCThread* worker = fixture.Device("X-COM").ThreadMFC;
        WAIT_UNTIL(worker->GUIOut.DeviceStatus.Setpoint_pct == 50.0 &&
                       FlowPoints(fixture, "X-COM") >= 2 &&
                       window.EngineHost().DataLines().size() >= 5,
                   20000, "the setpoint in the request, flow points and a data row",
                   QStringLiteral("setpoint %1, %2 points, %3 table lines")
                       .arg(worker->GUIOut.DeviceStatus.Setpoint_pct)
                       .arg(FlowPoints(fixture, "X-COM"))
                       .arg(window.EngineHost().DataLines().size()));
        const TFlowLogLines& lines = window.EngineHost().DataLines();
        QCOMPARE(lines[0], std::string("---------------------+-----------------+-"));
        QCOMPARE(lines[1], std::string("-                    |           X-COM | "));
        QVERIFY(Control<QPlainTextEdit>(window, "MemoData")
                    ->toPlainText()
                    .startsWith(QString::fromStdString(lines[0])));

        ShowTab(window, "TabSheetSegment");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentProgramStart"));
        QCOMPARE(Control<TDeviceListView>(window, "ListViewDevices")->topLevelItem(0)->text(1),
                 QStringLiteral("Segment"));
        QCOMPARE(FlowPoints(fixture, "X-COM"), 0);
        QCOMPARE(LogFiles(fixture.Folder(), "StartSegmentsClick").size(), 1);
        // One minute into the demonstration program its ramp has reached 100 %.
        WAIT_UNTIL(FlowPoints(fixture, "X-COM") >= 2 &&
                       worker->GUIOut.DeviceStatus.Setpoint_pct > 0,
                   20000, "program points and a program setpoint",
                   QStringLiteral("%1 points, setpoint %2")
                       .arg(FlowPoints(fixture, "X-COM"))
                       .arg(worker->GUIOut.DeviceStatus.Setpoint_pct));
        WAIT_UNTIL(!LogFiles(fixture.Folder(), "auto").isEmpty(), 20000,
                   "an automatic flow log file",
                   QDir(fixture.Folder() + "/Logs").entryList(QDir::Files).join(", "));

        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentProgramStop"));
        QCOMPARE(fixture.Device("X-COM").ControlMode, dcmIdle);
        QCOMPARE(worker->GUIOut.DeviceStatus.Setpoint_pct, 0.0);
        QCOMPARE(Control<TDeviceListView>(window, "ListViewDevices")->topLevelItem(0)->text(1),
                 QStringLiteral("Ready"));
        QCOMPARE(LogFiles(fixture.Folder(), "StopSegmentsClick").size(), 1);
        QVERIFY(fixture.Messages().empty());
    }

    void ApplyingToAnUnconfiguredDeviceIsRefused() {
        TConsoleFixture fixture;
        fixture.ClickRow("X-COM");
        TConsoleFixture::Click(Control<QPushButton>(*fixture.window, "ButtonApplyFlow"));
        QCOMPARE(fixture.Messages(),
                 std::vector<std::string>{"Cannot apply to unconfigured device: Virtual Demo"});
        QCOMPARE(fixture.Device("X-COM").ControlMode, dcmDirect);
    }

    void ABoxOpenedInsideATickHoldsFurtherTicksBack() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        // The flow log cannot be written: a file stands where the folder was.
        QDir(window.LogFolder()).removeRecursively();
        QFile blocker(window.LogFolder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TOpenForAWhile box(window);
        SetOperatorMessages(&box);

        fixture.ClickRow("X-COM");
        ConfigureFocusedDevice(window);
        ShowTab(window, "TabSheetDirectControl");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
        WAIT_UNTIL(!box.Texts.empty() && !Control<TLamp>(window, "EngineLed")->Value(), 20000,
                   "the flow log's failure box to close",
                   QStringLiteral("%1 boxes").arg(box.Texts.size()));
        SetOperatorMessages(&fixture.messages->recorder);
        QCOMPARE(box.Texts.size(), std::size_t{1});
        QVERIFY(box.EngineLampStayedOn);
        QVERIFY(!box.TableGrewMeanwhile);
    }

    void ClosingTheWindowEndsTheWorker() {
        TConsoleFixture fixture;
        fixture.ClickRow("X-COM");
        ConfigureFocusedDevice(*fixture.window);
        QVERIFY(fixture.Device("X-COM").ThreadMFC != nullptr);
        QCOMPARE(ActiveThreadCount(), 1);

        fixture.window->close();
        QCOMPARE(ActiveThreadCount(), 0);
        QVERIFY(fixture.Device("X-COM").ThreadMFC == nullptr);
        QCOMPARE(LogFiles(fixture.Folder(), "OnClose").size(), 1);
        QVERIFY(fixture.LogLines().indexOf(QRegularExpression(".*Terminate threads$")) >= 0);
    }
};

QTEST_MAIN(DirectControlTest)
#include "DirectControlTest.moc"
