// The flow unit panel: the full scale and the setpoints in the operator's unit.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/DoubleEdit.h"

#include <QGroupBox>
#include <QLabel>

namespace {

TDeviceInfo MFCWithFullScale500(double userTemperatureC) {
    TDeviceInfo device = MakeDemoDevice();
    device.FlowUnitDevice.GasFlowMax = 500;
    device.FlowUnitUser.Temperature = userTemperatureC;
    device.FlowUnitUser.GasMolarMass = 28.0;
    return device;
}

} // namespace

class FlowUnitsTest : public QObject {
    Q_OBJECT

private slots:
    void TheFullScaleAndSetpointsShowInTheOperatorsUnit_data() {
        QTest::addColumn<double>("temperature");
        QTest::addColumn<double>("maximum");
        QTest::newRow("25 ºC, the full scale's own conditions") << 25.0 << 500.0;
        QTest::newRow("0 ºC") << 0.0 << 500 * 273.15 / 298.15;
    }

    void TheFullScaleAndSetpointsShowInTheOperatorsUnit() {
        QFETCH(double, temperature);
        QFETCH(double, maximum);
        TConsoleFixture fixture({MFCWithFullScale500(temperature)});
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        QVERIFY(std::abs(Control<TDoubleEdit>(window, "RtDoubleEditDevMaxFlow")->Value() -
                         maximum) < 1e-9);
        QVERIFY(std::abs(Control<TDoubleEdit>(window, "RtDoubleEditDirectControlMaxFlow")->Value() -
                         maximum) < 1e-9);
        QCOMPARE(Control<QLabel>(window, "LabelSpecifiedFlowUnit")->text(),
                 QStringLiteral("ml/min"));

        ShowTab(window, "TabSheetSegment");
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow"), "50");
        const QString shown =
            Control<QLabel>(window, "LabelResultingFlowinSpecifiedUnit")->text().simplified();
        QVERIFY2(shown.endsWith(QStringLiteral(" ml/min")), qPrintable(shown));
        const double half = QLocale::c().toDouble(shown.section(' ', 0, -2).remove(' '));
        QVERIFY2(std::abs(half - maximum / 2) < 0.001, qPrintable(shown));
    }

    void APumpShowsItsDesiredAndAchievableDispense() {
        TDeviceInfo pump = MakeDemoDevice();
        pump.COMPort = "X-PUMP";
        pump.DevType = dtPump;
        pump.MaxFlow_µlpm = 1000;
        pump.SyringeSizeµL = 40;
        pump.FlowUnitUser.Name = "µl/min";
        TConsoleFixture fixture({pump});
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-PUMP");
        QVERIFY(!Control<QGroupBox>(window, "GroupBoxConfigurePump")->isHidden());
        QVERIFY(Control<QGroupBox>(window, "GroupBoxFlowUnit")->isHidden());
        QCOMPARE(Control<QComboBox>(window, "ComboBoxDeviceFluidPump")->currentIndex(), 0);
        ShowTab(window, "TabSheetSegment");
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow"), "10");
        const QString shown = Control<QLabel>(window, "LabelResultingFlowinSpecifiedUnit")->text();
        QVERIFY2(shown.startsWith(QStringLiteral("Desired/Achievable || 100 / ")),
                 qPrintable(shown));
        QVERIFY2(shown.contains(QStringLiteral("|| µl/min || Relative error:")), qPrintable(shown));
    }
};

QTEST_MAIN(FlowUnitsTest)
#include "FlowUnitsTest.moc"
