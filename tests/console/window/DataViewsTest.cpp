// The chart, the segment-program table and the data table, and the display time unit.
#include "console/ConsoleTestSupport.h"
#include "console/automation/FindControl.h"

#include "console/widgets/Chart.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTextDocument>
#include <QToolTip>
#include <qcustomplot.h>

namespace {

// Chooses a menu entry as the operator does: the entry's action is triggered from its menu.
void Choose(TFormOrvello& window, const char* entry) {
    auto* action = window.findChild<QAction*>(QString::fromUtf8(entry));
    QVERIFY2(action, entry);
    action->trigger();
}

// Two devices whose program curves are flat lines at 50 % and 20 % for ten minutes.
std::vector<TDeviceInfo> TwoFlatPrograms() {
    TDeviceInfo first = MakeDemoDevice();
    first.SegmentProgram = "0 50 Step\r\n10 50 Step\r\n";
    TDeviceInfo second = MakeSecondDemoDevice();
    second.SegmentProgram = "0 20 Step\r\n10 20 Step\r\n";
    return {first, second};
}

// The tip's text as the operator reads it.
QString PlainTip() {
    QTextDocument tip;
    tip.setHtml(QToolTip::text());
    return tip.toPlainText();
}

} // namespace

class DataViewsTest : public QObject {
    Q_OBJECT

private slots:
    void TheThreeViewsSwitch_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("shown");
        QTest::newRow("data table") << "ShowData1"
                                    << "MemoData";
        QTest::newRow("program table") << "ShowSegmentProgram1"
                                       << "MemoSegments";
        QTest::newRow("graph") << "ShowTable1"
                               << "RtGraph2DMain";
    }

    void TheThreeViewsSwitch() {
        QFETCH(QString, entry);
        QFETCH(QString, shown);
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        Choose(window, "ShowData1"); // away from the start view first
        Choose(window, entry.toUtf8().constData());
        for (const char* view : {"RtGraph2DMain", "MemoSegments", "MemoData"})
            QCOMPARE(!fixture.Find<QWidget>(view)->isHidden(), shown == QLatin1String(view));
        int ticked = 0;
        for (QAction* action : {Control<QAction>(window, "ShowTable1"),
                                Control<QAction>(window, "ShowSegmentProgram1"),
                                Control<QAction>(window, "ShowData1")})
            ticked += action->isChecked() ? 1 : 0;
        QCOMPARE(ticked, 1);
        QVERIFY(window.findChild<QAction*>(entry)->isChecked());
    }

    // The pointer resting near a curve names its device, with the time and value under it.
    void HoveringACurveTellsWhichItIs_data() {
        QTest::addColumn<double>("time");
        QTest::addColumn<double>("flow");
        QTest::addColumn<QString>("curve"); // empty: no tip
        QTest::newRow("the first device's program")
            << 5.0 << 50.0 << "X-COM - Virtual Demo (program)";
        QTest::newRow("the second device's program")
            << 2.5 << 20.0 << "X-COM2 - Second Demo (program)";
        QTest::newRow("between the curves") << 5.0 << 35.0 << "";
    }

    void HoveringACurveTellsWhichItIs() {
        QFETCH(double, time);
        QFETCH(double, flow);
        QFETCH(QString, curve);
        TConsoleFixture fixture(TwoFlatPrograms());
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices();
        fixture.ClickRow("X-COM2");
        fixture.ClickRow("X-COM");
        auto* chart = Control<TChart>(window, "RtGraph2DMain");
        chart->Replot();
        QCustomPlot* plot = chart->Plot();
        const QPoint at(qRound(plot->xAxis->coordToPixel(time)),
                        qRound(plot->yAxis2->coordToPixel(flow)));
        QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(plot, &move);
        if (curve.isEmpty()) {
            WAIT_UNTIL(!QToolTip::isVisible(), 5000, "no tip", PlainTip());
            return;
        }
        WAIT_UNTIL(QToolTip::isVisible() && PlainTip().startsWith(curve + '\n'), 5000,
                   "the curve's tip", PlainTip());
        // The time under the pointer, to a pixel's width; the value of the flat curve there.
        const QStringList lines = PlainTip().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[1].startsWith(QStringLiteral("Time, m: ")), qPrintable(lines[1]));
        const double shownTime = QLocale().toDouble(lines[1].section(QStringLiteral(": "), 1));
        const double pixel = plot->xAxis->pixelToCoord(1) - plot->xAxis->pixelToCoord(0);
        QVERIFY2(std::abs(shownTime - time) <= std::abs(pixel) + 0.001, qPrintable(lines[1]));
        QCOMPARE(lines[2], QStringLiteral("Flow, %: %1").arg(flow));
    }

    // The legend is off at first, as the chart always looked; the Data menu and the chart's
    // context menu switch it on with one entry.
    void TheLegendNamesTheShownCurvesWhenAskedFor() {
        TConsoleFixture fixture(TwoFlatPrograms());
        TFormOrvello& window = *fixture.window;
        window.ListAllDevices();
        fixture.ClickRow("X-COM2");
        fixture.ClickRow("X-COM");
        auto* chart = Control<TChart>(window, "RtGraph2DMain");
        QCustomPlot* plot = chart->Plot();
        QVERIFY(!plot->legend->visible());

        Choose(window, "ShowLegend1");
        QVERIFY(Control<QAction>(window, "ShowLegend1")->isChecked());
        chart->Replot();
        QVERIFY(plot->legend->visible());
        QStringList names;
        for (int i = 0; i < plot->legend->itemCount(); ++i)
            if (auto* item = qobject_cast<QCPPlottableLegendItem*>(plot->legend->item(i)))
                names << item->plottable()->name();
        names.sort();
        QCOMPARE(names,
                 (QStringList{"X-COM - Virtual Demo (program)", "X-COM2 - Second Demo (program)"}));

        const QPoint inside = plot->axisRect()->rect().center();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, inside, plot->mapToGlobal(inside));
        QApplication::sendEvent(plot, &menuEvent);
        auto* menu = Control<QMenu>(window, "ChartContextMenu");
        WAIT_UNTIL(menu->isVisible(), 5000, "the chart's context menu", QString());
        QVERIFY(menu->actions().contains(Control<QAction>(window, "ShowLegend1")));
        menu->actions().front()->trigger();
        menu->close();
        chart->Replot();
        QVERIFY(!plot->legend->visible());
        QVERIFY(!Control<QAction>(window, "ShowLegend1")->isChecked());
    }

    void TheProgramTableShowsTheSelectedDevices() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        const QString table = Control<QPlainTextEdit>(window, "MemoSegments")->toPlainText();
        QVERIFY2(table.startsWith(QStringLiteral(" Segment programs \n") + QString(28 + 17, '=')),
                 qPrintable(table));
        QVERIFY(table.contains(QStringLiteral("X-COM")));

        Choose(window, "ShowSegmentPrograms1"); // unticked: the table empties
        QVERIFY(!Control<QAction>(window, "ShowSegmentPrograms1")->isChecked());
        QVERIFY(Control<QPlainTextEdit>(window, "MemoSegments")->toPlainText().isEmpty());
    }

    void TimeUnitsRelabelTheCaptions_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("letter");
        QTest::addColumn<double>("factor");
        QTest::newRow("hour") << "Hour1"
                              << "h" << 60.0;
        QTest::newRow("day") << "Day1"
                             << "d" << 1440.0;
        QTest::newRow("minute") << "Minute1"
                                << "m" << 1.0;
    }

    void TimeUnitsRelabelTheCaptions() {
        QFETCH(QString, entry);
        QFETCH(QString, letter);
        QFETCH(double, factor);
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        Choose(window, "Day1");
        Choose(window, entry.toUtf8().constData());
        QCOMPARE(window.TimeUnitFactor(), factor);
        QCOMPARE(Control<QLabel>(window, "LabelSegmentStartTime")->text(), "Start time, " + letter);
        QCOMPARE(Control<QLabel>(window, "LabelMixSegmentsTime")->text(), "Time, " + letter);
        QCOMPARE(Control<QAction>(window, "Minute1")->isChecked(), letter == "m");
        QCOMPARE(Control<QAction>(window, "Hour1")->isChecked(), letter == "h");
        QCOMPARE(Control<QAction>(window, "Day1")->isChecked(), letter == "d");
    }

    void ATimeUnitRescalesEveryCurve() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        fixture.ClickRow("X-COM");
        ConfigureFocusedDevice(window);
        ShowTab(window, "TabSheetSegment");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentProgramStart"));
        const TDeviceObjects& curves = window.Records().Objects("X-COM");
        QVERIFY(curves.SerieSegment && curves.SerieFlow);
        // The start stored its copy of the record after the flow curve was made inside it; the
        // record still knows both curves.
        QCOMPARE(fixture.Device("X-COM").SerieFlow, curves.SerieFlow);
        QCOMPARE(fixture.Device("X-COM").SerieSegment, curves.SerieSegment);
        WAIT_UNTIL(curves.SerieFlow->PointCount() >= 2, 20000, "flow points",
                   QString::number(curves.SerieFlow->PointCount()));

        // The program's last point: its last segment at 4 minutes, held 1 % beyond.
        const auto lastKey = [](const TChartCurve* curve) {
            return (curve->Graph()->data()->constEnd() - 1)->key;
        };
        QCOMPARE(lastKey(curves.SerieSegment), 4.04);
        const double flowMinutes = lastKey(curves.SerieFlow);
        Choose(window, "Hour1");
        QCOMPARE(Control<TChart>(window, "RtGraph2DMain")->XCaption(), QStringLiteral("Time, h"));
        QCOMPARE(lastKey(curves.SerieSegment), 4.04 / 60);
        QCOMPARE(lastKey(curves.SerieFlow), flowMinutes / 60);
        Choose(window, "Minute1");
        QCOMPARE(Control<TChart>(window, "RtGraph2DMain")->XCaption(), QStringLiteral("Time, m"));
        QCOMPARE(lastKey(curves.SerieSegment), 4.04);
    }

    void CurvesCreatedWhileSwitchedOffStartHidden() {
        TConsoleFixture fixture;
        TFormOrvello& window = *fixture.window;
        Choose(window, "ShowSegmentPrograms1");
        Choose(window, "Showachievedflows1");
        fixture.ClickRow("X-COM");
        ConfigureFocusedDevice(window);
        ShowTab(window, "TabSheetSegment");
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonSegmentProgramStart"));
        const TDeviceObjects& curves = window.Records().Objects("X-COM");
        QVERIFY(curves.SerieSegment && curves.SerieFlow);
        QVERIFY(!curves.SerieSegment->IsVisible());
        QVERIFY(!curves.SerieFlow->IsVisible());

        Choose(window, "ShowSegmentPrograms1");
        Choose(window, "Showachievedflows1");
        QVERIFY(curves.SerieSegment->IsVisible());
        QVERIFY(curves.SerieFlow->IsVisible());
    }
};

QTEST_MAIN(DataViewsTest)
#include "DataViewsTest.moc"
