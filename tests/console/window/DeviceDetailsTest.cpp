// Device records shown in the tabs and read back from them.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/DoubleEdit.h"
#include "platform/LocaleSettings.h"

#include <QComboBox>
#include <QLabel>
#include <QRegularExpression>

namespace {

std::vector<TDeviceInfo> TwoDevices() {
    TDeviceInfo second = MakeSecondDemoDevice();
    second.Setpoint_gui = 70;
    second.FluidID = 1; // a gas, so it can be configured without picking one
    second.FlowUnitUser.Name = "g/min";
    second.FlowUnitUser.GasFlowType = gfuGrams;
    return {MakeDemoDevice(), second};
}

} // namespace

class DeviceDetailsTest : public QObject {
    Q_OBJECT

private slots:
    void ClickingTheDemonstrationRowFillsTheTabs() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        QCOMPARE(Control<QLineEdit>(window, "EditDeviceType")->text(),
                 QStringLiteral("Simulated MFC"));
        QCOMPARE(Control<QLineEdit>(window, "EditDeviceName")->text(),
                 QStringLiteral("Virtual Demo"));
        QCOMPARE(Control<QLabel>(window, "LabelSelectedDeviceNameRole")->text(),
                 QStringLiteral("Virtual Demo Simulated MFC"));
        QCOMPARE(Control<QTreeWidget>(window, "ListViewSegmentProgram")->topLevelItemCount(), 6);
        QCOMPARE(Control<QTreeWidget>(window, "ListViewSegmentProgram")->topLevelItem(1)->text(3),
                 QStringLiteral("Some random comment"));
        // FluidID -1: the heading; a volumetric unit at 25 ºC and 1.01325 bar: SATP.
        QCOMPARE(Control<QComboBox>(window, "ComboBoxDeviceFluid")->currentIndex(), 0);
        QCOMPARE(Control<QComboBox>(window, "ComboBoxFlowUnitPredefined")->currentIndex(), 3);
        QCOMPARE(Control<QLineEdit>(window, "EditFlowUnitName")->text(), QStringLiteral("ml/min"));
        QVERIFY(!Control<TDoubleEdit>(window, "EditFlowUnitTemperatureC")->isHidden());
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditDevMaxFlow")->Value(), 50.0);
        QVERIFY(Control<TDeviceListView>(window, "ListViewDevices")->topLevelItem(0)->isSelected());
    }

    void ArrowKeysShowEachDeviceAsItGetsTheFocus() {
        TConsoleFixture fixture(TwoDevices());
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices();
        fixture.ClickRow("X-COM");
        QTest::keyClick(Control<TDeviceListView>(window, "ListViewDevices"), Qt::Key_Down);
        QCOMPARE(Control<QLineEdit>(window, "EditDeviceName")->text(),
                 QStringLiteral("Second Demo"));
        QTest::keyClick(Control<TDeviceListView>(window, "ListViewDevices"), Qt::Key_Up);
        QCOMPARE(Control<QLineEdit>(window, "EditDeviceName")->text(),
                 QStringLiteral("Virtual Demo"));
        QCOMPARE(fixture.Device("X-COM").Setpoint_gui, 0.0);
        QCOMPARE(fixture.Device("X-COM2").Setpoint_gui, 70.0);
    }

    void ShowingADeviceNeverStoresIntoTheFocusedOne() {
        TConsoleFixture fixture(TwoDevices());
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices();
        fixture.ClickRow("X-COM");
        ShowTab(window, "TabSheetDirectControl");
        TConsoleFixture::TypeInto(
            Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"), "40");
        QCOMPARE(fixture.Device("X-COM").Setpoint_gui, 40.0);

        fixture.ClickRow("X-COM2");
        QCOMPARE(Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow")->Value(),
                 70.0);
        QCOMPARE(fixture.Device("X-COM").Setpoint_gui, 40.0);
        QCOMPARE(fixture.Device("X-COM2").Setpoint_gui, 70.0);
    }

    void CommandsOnSeveralDevicesEndShowingTheFocusedOne() {
        TConsoleFixture fixture(TwoDevices());
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices();
        fixture.ClickRow("X-COM2");
        ConfigureFocusedDevice(window);
        fixture.ClickRow("X-COM");
        ConfigureFocusedDevice(window);
        ShowTab(window, "TabSheetDirectControl");
        TConsoleFixture::TypeInto(
            Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"), "30");

        // B first, then A with Ctrl: both selected, A focused; the start shows A, then B.
        fixture.ClickRow("X-COM2");
        fixture.ClickRow("X-COM", Qt::ControlModifier);
        ShowTab(window, "TabSheetSegment");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentProgramStart"));
        QCOMPARE(Control<QLineEdit>(window, "EditDeviceName")->text(),
                 QStringLiteral("Virtual Demo"));
        QCOMPARE(fixture.Device("X-COM").Setpoint_gui, 30.0);
        QCOMPARE(fixture.Device("X-COM2").Setpoint_gui, 70.0);

        // Each selected device is driven by its own remembered setpoint.
        ShowTab(window, "TabSheetDirectControl");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
        QCOMPARE(fixture.Device("X-COM").Setpoint_pct, 30.0);
        QCOMPARE(fixture.Device("X-COM2").Setpoint_pct, 70.0);
        QCOMPARE(fixture.Device("X-COM").ControlMode, dcmDirect);
        QVERIFY(fixture.LogLines().indexOf(
                    QRegularExpression(".*Set device:Second Demo to flow:70 %$")) >= 0);
        QVERIFY(fixture.Messages().empty());
    }

    void ReferenceConditionsFollowTheDeviceShown() {
        TConsoleFixture fixture(TwoDevices());
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices();
        fixture.ClickRow("X-COM2");
        QCOMPARE(Control<QComboBox>(window, "ComboBoxFlowUnitPredefined")->currentIndex(), 4);
        QVERIFY(Control<TDoubleEdit>(window, "EditFlowUnitTemperatureC")->isHidden());

        fixture.ClickRow("X-COM");
        QCOMPARE(Control<QComboBox>(window, "ComboBoxFlowUnitPredefined")->currentIndex(), 3);
        QVERIFY(!Control<TDoubleEdit>(window, "EditFlowUnitTemperatureC")->isHidden());
        ConfigureFocusedDevice(window);
        QCOMPARE(fixture.Device("X-COM").FlowUnitUser.GasFlowType, gfuVolumetric);
        QCOMPARE(fixture.Device("X-COM").FlowUnitUser.Name, std::string("ml/min"));

        fixture.ClickRow("X-COM2");
        ConfigureFocusedDevice(window);
        QCOMPARE(fixture.Device("X-COM2").FlowUnitUser.GasFlowType, gfuGrams);
        QCOMPARE(fixture.Device("X-COM2").FlowUnitUser.Name, std::string("g/min"));
    }

    void ChoosingReferenceConditionsFillsTheUnit() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        QComboBox* conditions = Control<QComboBox>(window, "ComboBoxFlowUnitPredefined");
        conditions->setFocus();
        QTest::keyClick(conditions, Qt::Key_Down); // from SATP to grams
        QCOMPARE(conditions->currentIndex(), 4);
        QCOMPARE(Control<QLineEdit>(window, "EditFlowUnitName")->text(), QStringLiteral("g/min"));
        QVERIFY(Control<TDoubleEdit>(window, "EditFlowUnitTemperatureC")->isHidden());
        QTest::keyClick(conditions, Qt::Key_Down);
        QCOMPARE(Control<QLineEdit>(window, "EditFlowUnitName")->text(), QStringLiteral("ml/min"));
        QCOMPARE(Control<TDoubleEdit>(window, "EditFlowUnitTemperatureC")->Value(), 0.0);
        QCOMPARE(Control<TDoubleEdit>(window, "EditFlowUnitPressureBar")->Value(), 1.0);
        QCOMPARE(Control<QLabel>(window, "LabelUnitTemp")->text(), QStringLiteral("32ºF"));
        QCOMPARE(Control<QLabel>(window, "LabelPSI")->text(), QStringLiteral("14.504 psi"));
    }

    void ReferenceConditionsAreReadWithADotInACommaLocale() {
        TConsoleFixture fixture;
        // After the window has installed the system's settings.
        const ScopedLocaleSettings comma(TLocaleSettings{',', ':'});
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        QComboBox* conditions = Control<QComboBox>(window, "ComboBoxFlowUnitPredefined");
        conditions->setFocus();
        QTest::keyClick(conditions, Qt::Key_Up); // from SATP to NTP: 20 ºC, 1.01325 bar
        QCOMPARE(conditions->currentIndex(), 2);
        QCOMPARE(Control<TDoubleEdit>(window, "EditFlowUnitTemperatureC")->Value(), 20.0);
        QCOMPARE(Control<TDoubleEdit>(window, "EditFlowUnitPressureBar")->Value(), 1.01325);
        QCOMPARE(Control<TDoubleEdit>(window, "EditFlowUnitPressureBar")->text(),
                 QStringLiteral("1,01325"));
        QVERIFY(fixture.Messages().empty());
    }

    void OperatorTextsAreShownAsPlainText() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        TConsoleFixture::TypeInto(Control<QLineEdit>(window, "EditDeviceName"),
                                  "<b>Anode</b> & <i>co</i>");
        ConfigureFocusedDevice(window);
        QCOMPARE(fixture.Device("X-COM").NameRole, std::string("<b>Anode</b> & <i>co</i>"));
        QCOMPARE(Control<TDeviceListView>(window, "ListViewDevices")->topLevelItem(0)->text(4),
                 QStringLiteral("<b>Anode</b> & <i>co</i>"));
        QCOMPARE(Control<QLabel>(window, "LabelSelectedDeviceNameRole")->textFormat(),
                 Qt::PlainText);
        QVERIFY(Control<QLabel>(window, "LabelSelectedDeviceNameRole")
                    ->text()
                    .startsWith(QStringLiteral("<b>Anode</b> & <i>co</i>")));
    }

    void FluidHeadingRefusesTheConfiguration() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyConfiguration"));
        QCOMPARE(fixture.Messages(), std::vector<std::string>{"No fluid selected for MFC"});
        QVERIFY(fixture.Device("X-COM").ThreadMFC == nullptr);
    }
};

QTEST_MAIN(DeviceDetailsTest)
#include "DeviceDetailsTest.moc"
