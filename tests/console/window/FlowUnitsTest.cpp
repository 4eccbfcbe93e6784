// The flow unit panel: the full scale and the setpoints in the operator's unit.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/DoubleEdit.h"
#include "gas/GasFlowUnitConversions.h"

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

TDeviceInfo MFCWithUnit(const TGasFlowDetails& unit, double temperatureC, double pressureBar) {
    TDeviceInfo device = MakeDemoDevice();
    device.FlowUnitUser = unit;
    device.FlowUnitUser.Temperature = temperatureC;
    device.FlowUnitUser.Pressure_BarA = pressureBar;
    return device;
}

// Picks an entry of a drop-down list with the keyboard, as the operator can.
void ChooseWithKeys(QComboBox* list, int index) {
    QVERIFY(list->isVisible());
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    while (list->currentIndex() < index)
        QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentIndex(), index);
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

    // The ºF and psi labels show their fields' values whenever the fields are shown, also when a
    // field kept the value it had (the window starts at 20 ºC and 1.01325 bar).
    void TheConvertedReferenceConditionsFollowTheirFields_data() {
        QTest::addColumn<bool>("grams");
        QTest::addColumn<double>("temperature");
        QTest::addColumn<double>("pressure");
        QTest::addColumn<int>("chosen"); // -1: the device's own conditions, as shown
        QTest::addColumn<QString>("fahrenheit");
        QTest::addColumn<QString>("psi");
        QTest::newRow("ml/min at 25 ºC and 1.01325 bar") << false << 25.0 << 1.01325 << -1 << "77ºF"
                                                         << "14.696 psi";
        QTest::newRow("ml/min at 20 ºC and 1 bar") << false << 20.0 << 1.0 << -1 << "68ºF"
                                                   << "14.504 psi";
        QTest::newRow("g/min at 1.01325 bar, then SATP chosen")
            << true << 0.0 << 1.01325 << 3 << "77ºF"
            << "14.696 psi";
        QTest::newRow("g/min at 20 ºC, then NTP chosen") << true << 20.0 << 1.0 << 2 << "68ºF"
                                                         << "14.696 psi";
    }

    void TheConvertedReferenceConditionsFollowTheirFields() {
        QFETCH(bool, grams);
        QFETCH(double, temperature);
        QFETCH(double, pressure);
        QFETCH(int, chosen);
        QFETCH(QString, fahrenheit);
        QFETCH(QString, psi);
        const TGasFlowDetails unit =
            grams ? InitialFlowUnitGramsPerMin() : InitialFlowUnitMlPerMin();
        TConsoleFixture fixture({MFCWithUnit(unit, temperature, pressure)});
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        QCOMPARE(Control<QLabel>(window, "LabelPSI")->isVisible(), !grams);
        if (chosen >= 0)
            ChooseWithKeys(Control<QComboBox>(window, "ComboBoxFlowUnitPredefined"), chosen);
        QVERIFY(Control<QLabel>(window, "LabelUnitTemp")->isVisible());
        QVERIFY(Control<QLabel>(window, "LabelPSI")->isVisible());
        QCOMPARE(Control<QLabel>(window, "LabelUnitTemp")->text(), fahrenheit);
        QCOMPARE(Control<QLabel>(window, "LabelPSI")->text(), psi);
    }

    // The figures beside the percent fields belong to the device shown, not to the one before.
    void APumpShownAfterAnMFCShowsItsOwnFigures() {
        TDeviceInfo pump = MakeDemoDevice();
        pump.COMPort = "X-PUMP";
        pump.DevType = dtPump;
        pump.MaxFlow_µlpm = 1000;
        pump.SyringeSizeµL = 40;
        pump.FlowUnitUser.Name = "µl/min";
        TConsoleFixture fixture({MFCWithFullScale500(25), pump});
        TFormOrvello& window = *fixture.window;
        // Both rows, as after a search.
        window.ListAllDevices();
        fixture.ClickRow("X-COM");
        ShowTab(window, "TabSheetSegment");
        TConsoleFixture::TypeInto(Control<TDoubleEdit>(window, "RtDoubleEditSegmentFlow"), "10");
        QVERIFY(Control<QLabel>(window, "LabelResultingFlowinSpecifiedUnit")
                    ->text()
                    .endsWith(QStringLiteral(" ml/min")));
        const qsizetype linesBefore = fixture.LogLines().size();
        fixture.ClickRow("X-PUMP");
        for (const char* name :
             {"LabelResultingFlowinSpecifiedUnit", "LabelDirectControlResultingFlow"}) {
            const QString shown = Control<QLabel>(window, name)->text();
            QVERIFY2(shown.startsWith(QStringLiteral("Desired/Achievable || ")), qPrintable(shown));
        }
        QCOMPARE(Control<QLabel>(window, "LabelDirectControlMaxFlowUnit")->text(),
                 QStringLiteral("µl/min"));
        // Only shown: the pump's planned commands are logged when the operator changes a field.
        QCOMPARE(fixture.LogLines().size(), linesBefore);
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
