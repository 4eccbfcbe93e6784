#include "console/widgets/Chart.h"
#include "console/widgets/CurveThinning.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = {}) {
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, modifiers);
    QApplication::sendEvent(widget, &event);
}

// A left-button drag as the operator does it: press, a few moves, release.
void Drag(QWidget* widget, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}) {
    SendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, modifiers);
    for (int step = 1; step <= 4; ++step)
        SendMouse(widget, QEvent::MouseMove, from + (to - from) * step / 4, Qt::NoButton,
                  Qt::LeftButton, modifiers);
    SendMouse(widget, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, modifiers);
}

void Click(QWidget* widget, QPoint at) {
    SendMouse(widget, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

void DoubleClick(QWidget* widget, QPoint at) {
    Click(widget, at);
    SendMouse(widget, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
    SendMouse(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

// A chart on screen with one flow curve from (0, 0) to (100, 50), a point a minute.
struct TShownChart {
    TChart chart;
    TChartCurve* flow;
    TShownChart() {
        chart.resize(640, 320);
        chart.SetXCaption("Time, m");
        chart.SetYCaption("Flow, %");
        flow = chart.AddCurve(QColor(0, 0, 255), TChartSymbol::Circle, false);
        for (int minute = 0; minute <= 100; ++minute)
            flow->AddXY(minute, minute / 2.0);
        chart.show();
        chart.Replot();
    }
    QCustomPlot* Plot() const { return chart.Plot(); }
    QRect Area() const { return chart.Plot()->axisRect()->rect(); }
    // Below the plot area, among the x axis's numbers: outside the axes.
    QPoint Outside() const { return QPoint(Area().center().x(), Area().bottom() + 15); }
};

QString Range(const TChart& chart) {
    return QString("x %1..%2, y %3..%4")
        .arg(chart.XLower())
        .arg(chart.XUpper())
        .arg(chart.YLower())
        .arg(chart.YUpper());
}

} // namespace

class ChartTest : public QObject {
    Q_OBJECT
private slots:
    void AxesCaptionsAndAutomaticRange();
    void CurvesDrawInTheirColourAndSymbol();
    void DraggingARectangleZoomsAndAClickOutsideGoesBack();
    void TwentyStepsCanBeGoneBack();
    void DoubleClickResetsTheZoom();
    void ShiftDragPans();
    void ScrollBarsFollowAndMoveTheView();
    void HiddenCurvesNeitherDrawNorCountForTheRange();
    void ATimeUnitChangeRescalesEveryCurve();
    void PointsArrivingTogetherCauseOneReplot();
    void RemovedCurvesLeaveThePlot();
    void ThinningKeepsExtremesStepsAndGaps_data();
    void ThinningKeepsExtremesStepsAndGaps();
    void AWeekLongCurveKeepsTheLastDayWhole();
};

void ChartTest::AxesCaptionsAndAutomaticRange() {
    TShownChart shown;
    QCustomPlot* plot = shown.Plot();
    QVERIFY(plot->xAxis->visible());
    QVERIFY(plot->yAxis2->visible());
    QVERIFY(!plot->yAxis->visible());
    QCOMPARE(plot->xAxis->label(), QString("Time, m"));
    QCOMPARE(plot->yAxis2->label(), QString("Flow, %"));
    QCOMPARE(plot->xAxis->labelFont().family(), QString("DejaVu Serif"));
    QVERIFY(shown.chart.IsAutoRange());
    QCOMPARE(shown.chart.XLower(), 0.0);
    QCOMPARE(shown.chart.XUpper(), 100.0);
    QVERIFY(shown.chart.YLower() <= 0 && shown.chart.YUpper() >= 50);

    // New points widen the automatic range.
    shown.flow->AddXY(200, 80);
    shown.chart.Replot();
    QCOMPARE(shown.chart.XUpper(), 200.0);
    QVERIFY(shown.chart.YUpper() >= 80);
}

void ChartTest::CurvesDrawInTheirColourAndSymbol() {
    TChart chart;
    chart.resize(400, 300);
    chart.show();
    const QColor red(255, 0, 0);
    // One point each, far apart, so their symbols stand alone.
    TChartCurve* square = chart.AddCurve(red, TChartSymbol::Square, false);
    TChartCurve* circle = chart.AddCurve(red, TChartSymbol::Circle, false);
    TChartCurve* program = chart.AddCurve(red, TChartSymbol::Square, true);
    square->AddXY(10, 30);
    circle->AddXY(90, 30);
    program->AddXY(0, 70);
    program->AddXY(100, 70);
    chart.Replot();
    const QImage image = chart.Plot()->toPixmap().toImage();
    QCPAxis* x = chart.Plot()->xAxis;
    QCPAxis* y = chart.Plot()->yAxis2;
    const auto at = [&](double px, double py, int dx = 0, int dy = 0) {
        return image.pixelColor(int(x->coordToPixel(px)) + dx, int(y->coordToPixel(py)) + dy);
    };
    // Symbol centres are filled with the curve's colour.
    QCOMPARE(at(10, 30), red);
    QCOMPARE(at(90, 30), red);
    // Near a corner of the symbol's box: inside a square, outside a circle.
    const int corner = int(TChart::SymbolSize / 2);
    const auto nearWhite = [](QColor c) {
        return c.red() > 200 && c.green() > 200 && c.blue() > 200;
    };
    QVERIFY(!nearWhite(at(10, 30, corner, -corner)));
    QVERIFY(nearWhite(at(90, 30, corner, -corner)));
    QVERIFY(!nearWhite(at(90, 30, corner, 0))); // the circle's edge
    // The program curve is a line without symbols.
    QCOMPARE(at(50, 70), red);
    QVERIFY(program->Graph()->scatterStyle().isNone());
    QCOMPARE(program->Graph()->pen().widthF(), 2.0);
    QCOMPARE(square->Graph()->pen().widthF(), 3.0);

    square->SetColor(QColor(0, 128, 0));
    chart.Replot();
    const QImage recoloured = chart.Plot()->toPixmap().toImage();
    QCOMPARE(recoloured.pixelColor(int(x->coordToPixel(10)), int(y->coordToPixel(30))),
             QColor(0, 128, 0));
}

void ChartTest::DraggingARectangleZoomsAndAClickOutsideGoesBack() {
    TShownChart shown;
    const QRect area = shown.Area();
    const QPoint from = area.topLeft() + QPoint(area.width() / 4, area.height() / 4);
    const QPoint to = area.topLeft() + QPoint(area.width() / 2, area.height() * 3 / 4);
    const double expectedXLower = shown.Plot()->xAxis->pixelToCoord(from.x());
    const double expectedXUpper = shown.Plot()->xAxis->pixelToCoord(to.x());

    // Only the left button zooms.
    SendMouse(shown.Plot(), QEvent::MouseButtonPress, from, Qt::RightButton, Qt::RightButton);
    SendMouse(shown.Plot(), QEvent::MouseMove, to, Qt::NoButton, Qt::RightButton);
    SendMouse(shown.Plot(), QEvent::MouseButtonRelease, to, Qt::RightButton, Qt::NoButton);
    QVERIFY(shown.chart.IsAutoRange());
    QCOMPARE(shown.chart.ZoomStepsBack(), 0);

    Drag(shown.Plot(), from, to);
    QVERIFY(!shown.chart.IsAutoRange());
    QCOMPARE(shown.chart.ZoomStepsBack(), 1);
    QVERIFY2(qAbs(shown.chart.XLower() - expectedXLower) < 1e-9, qPrintable(Range(shown.chart)));
    QVERIFY2(qAbs(shown.chart.XUpper() - expectedXUpper) < 1e-9, qPrintable(Range(shown.chart)));

    // A click inside the plot area is no zoom and no step back.
    Click(shown.Plot(), area.center());
    QCOMPARE(shown.chart.ZoomStepsBack(), 1);
    QVERIFY(qAbs(shown.chart.XLower() - expectedXLower) < 1e-9);

    Click(shown.Plot(), shown.Outside());
    QCOMPARE(shown.chart.ZoomStepsBack(), 0);
    QVERIFY(shown.chart.IsAutoRange());
    QCOMPARE(shown.chart.XLower(), 0.0);
    QCOMPARE(shown.chart.XUpper(), 100.0);
}

void ChartTest::TwentyStepsCanBeGoneBack() {
    TShownChart shown;
    const QRect area = shown.Area();
    const QPoint from = area.topLeft() + QPoint(area.width() / 10, area.height() / 10);
    const QPoint to = area.bottomRight() - QPoint(area.width() / 10, area.height() / 10);
    QList<double> lowerAfterZoom;
    for (int zoom = 0; zoom < 25; ++zoom) {
        Drag(shown.Plot(), from, to);
        lowerAfterZoom << shown.chart.XLower();
    }
    QCOMPARE(shown.chart.ZoomStepsBack(), TChart::MaxZoomSteps);
    for (int click = 0; click < 25; ++click)
        Click(shown.Plot(), shown.Outside());
    QCOMPARE(shown.chart.ZoomStepsBack(), 0);
    // Twenty steps back from the 25th zoom is the view after the 5th.
    QCOMPARE(shown.chart.XLower(), lowerAfterZoom[4]);
    QVERIFY(!shown.chart.IsAutoRange());
}

void ChartTest::DoubleClickResetsTheZoom() {
    TShownChart shown;
    const QRect area = shown.Area();
    Drag(shown.Plot(), area.topLeft() + QPoint(20, 20), area.center());
    Drag(shown.Plot(), area.topLeft() + QPoint(20, 20), area.center());
    QCOMPARE(shown.chart.ZoomStepsBack(), 2);
    DoubleClick(shown.Plot(), shown.Outside());
    QVERIFY(shown.chart.IsAutoRange());
    QCOMPARE(shown.chart.ZoomStepsBack(), 0);
    QCOMPARE(shown.chart.XLower(), 0.0);
    QCOMPARE(shown.chart.XUpper(), 100.0);
}

void ChartTest::ShiftDragPans() {
    TShownChart shown;
    const QRect area = shown.Area();
    const double size = shown.chart.XUpper() - shown.chart.XLower();
    const double perPixel = size / area.width();

    Drag(shown.Plot(), area.center(), area.center() + QPoint(100, 0), Qt::ShiftModifier);
    QVERIFY2(qAbs(shown.chart.XLower() - (-100 * perPixel)) < 2 * perPixel,
             qPrintable(Range(shown.chart)));
    QVERIFY(qAbs((shown.chart.XUpper() - shown.chart.XLower()) - size) < 1e-9);
    QVERIFY(!shown.chart.IsAutoRange());
    QCOMPARE(shown.chart.ZoomStepsBack(), 1); // a pan can be gone back too

    Click(shown.Plot(), shown.Outside());
    QCOMPARE(shown.chart.XLower(), 0.0);
}

void ChartTest::ScrollBarsFollowAndMoveTheView() {
    TShownChart shown;
    QScrollBar* horizontal = shown.chart.findChild<QScrollBar*>("ScrollBarX");
    QScrollBar* vertical = shown.chart.findChild<QScrollBar*>("ScrollBarY");
    QVERIFY(horizontal && vertical);
    QCOMPARE(horizontal->maximum(), 0); // everything in view

    shown.chart.SetXRange(0, 25); // a quarter of the data
    QVERIFY(horizontal->maximum() > 0);
    QCOMPARE(horizontal->value(), 0);
    const double page =
        double(horizontal->pageStep()) / (horizontal->maximum() + horizontal->pageStep());
    QVERIFY2(qAbs(page - 0.25) < 0.01, qPrintable(QString::number(page)));

    horizontal->setValue(horizontal->maximum()); // as dragging the thumb to the end does
    QVERIFY2(qAbs(shown.chart.XUpper() - 100) < 0.05, qPrintable(Range(shown.chart)));
    QVERIFY2(qAbs(shown.chart.XLower() - 75) < 0.05, qPrintable(Range(shown.chart)));

    // The vertical bar follows a zoom into the upper part of the values.
    const QRect area = shown.Area();
    Drag(shown.Plot(), area.topLeft() + QPoint(5, 5),
         area.topLeft() + QPoint(area.width() - 5, area.height() / 3));
    QVERIFY(vertical->maximum() > 0);
    QVERIFY(vertical->value() < vertical->maximum() / 4); // the top of the values is at the top
}

void ChartTest::HiddenCurvesNeitherDrawNorCountForTheRange() {
    TShownChart shown;
    TChartCurve* high = shown.chart.AddCurve(QColor(255, 0, 0), TChartSymbol::None, true);
    high->AddXY(0, 90);
    high->AddXY(100, 90);
    shown.chart.Replot();
    QVERIFY(shown.chart.YUpper() >= 90);
    const auto redAt90 = [&] {
        const QImage image = shown.Plot()->toPixmap().toImage();
        return image.pixelColor(int(shown.Plot()->xAxis->coordToPixel(20)),
                                int(shown.Plot()->yAxis2->coordToPixel(90))) == QColor(255, 0, 0);
    };
    QVERIFY(redAt90());

    high->SetVisible(false);
    QVERIFY(!high->IsVisible());
    shown.chart.Replot();
    QVERIFY(shown.chart.YUpper() < 60);
    high->SetVisible(true);
    shown.chart.SetXRange(0, 100);
    shown.chart.ResetZoom();
    QVERIFY(redAt90());
}

void ChartTest::ATimeUnitChangeRescalesEveryCurve() {
    TChart chart;
    chart.resize(400, 300);
    chart.show();
    TChartCurve* flow = chart.AddCurve(Qt::blue, TChartSymbol::Diamond, false);
    TChartCurve* program = chart.AddCurve(Qt::blue, TChartSymbol::Diamond, true);
    for (int minute = 0; minute <= 120; ++minute)
        flow->AddXY(minute, 10);
    program->AddXY(0, 0);
    program->AddXY(120, 50);
    chart.Replot();
    QCOMPARE(chart.XUpper(), 120.0);

    chart.SetTimeUnitFactor(60); // hours
    chart.Replot();
    QCOMPARE(chart.XUpper(), 2.0);
    QCOMPARE(flow->PointCount(), 121);
    QCOMPARE(program->Graph()->data()->at(1)->key, 2.0);
    flow->AddXY(180, 10); // new points arrive in minutes as before
    chart.Replot();
    QCOMPARE(chart.XUpper(), 3.0);

    chart.SetTimeUnitFactor(1440);
    chart.SetTimeUnitFactor(1);
    chart.Replot();
    QCOMPARE(chart.XUpper(), 180.0);
    QCOMPARE(program->Graph()->data()->at(1)->key, 120.0);
}

void ChartTest::PointsArrivingTogetherCauseOneReplot() {
    TChart chart;
    chart.resize(400, 300);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    TChartCurve* flow = chart.AddCurve(Qt::blue, TChartSymbol::Circle, false);
    QSignalSpy replots(chart.Plot(), &QCustomPlot::afterReplot);
    for (int second = 0; second < 1000; ++second)
        flow->AddXY(second / 60.0, second % 100);
    QCOMPARE(replots.count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(replots.count() >= 1, 10000);
    QTest::qWait(600); // longer than the gathering interval: anything pending has run
    // One replot for the points (a late resize of the window may add its own).
    QVERIFY2(replots.count() <= 2, qPrintable(QString("%1 replots").arg(replots.count())));
    QCOMPARE(flow->PointCount(), 1000);
}

void ChartTest::RemovedCurvesLeaveThePlot() {
    TShownChart shown;
    TChartCurve* extra = shown.chart.AddCurve(Qt::red, TChartSymbol::Square, false);
    extra->AddXY(1, 1);
    QCOMPARE(shown.Plot()->graphCount(), 2);
    shown.chart.RemoveCurve(extra);
    QCOMPARE(shown.Plot()->graphCount(), 1);
    QCOMPARE(shown.chart.CurveCount(), 1);
    shown.flow->Clear();
    QCOMPARE(shown.flow->PointCount(), 0);
    shown.chart.Replot();
    QCOMPARE(shown.chart.XUpper(), 10.0); // the empty chart's range
}

using TPoints = std::vector<TCurvePoint>;
Q_DECLARE_METATYPE(TPoints)

namespace {

QString Describe(const TPoints& points) {
    QStringList texts;
    for (const TCurvePoint& point : points)
        texts << QString("(%1, %2)").arg(point.X).arg(point.Y);
    return texts.join(' ');
}

} // namespace

void ChartTest::ThinningKeepsExtremesStepsAndGaps_data() {
    QTest::addColumn<TPoints>("points");
    QTest::addColumn<TPoints>("kept");
    const double gap = std::numeric_limits<double>::quiet_NaN();
    // Buckets of 1 (x), steps above 1 (y).
    QTest::newRow("noise: first, lowest, highest, last")
        << TPoints{{0.0, 40}, {0.2, 40.3}, {0.4, 39.8}, {0.6, 40.1}, {0.8, 40}}
        << TPoints{{0.0, 40}, {0.2, 40.3}, {0.4, 39.8}, {0.8, 40}};
    QTest::newRow("a step keeps both its points")
        << TPoints{{0.0, 40}, {0.2, 40}, {0.4, 40}, {0.6, 0}, {0.8, 0}, {0.9, 0}}
        << TPoints{{0.0, 40}, {0.4, 40}, {0.6, 0}, {0.9, 0}};
    QTest::newRow("buckets apart")
        << TPoints{{0.0, 1}, {0.5, 1}, {0.9, 1}, {1.0, 2}, {1.5, 2}, {1.9, 2}}
        << TPoints{{0.0, 1}, {0.9, 1}, {1.0, 2}, {1.9, 2}};
    QTest::newRow("a gap stays and ends its bucket")
        << TPoints{{0.0, 5}, {0.1, 5}, {0.2, 5}, {0.3, gap}, {0.4, 6}, {0.5, 6}, {0.6, 6}}
        << TPoints{{0.0, 5}, {0.2, 5}, {0.3, gap}, {0.4, 6}, {0.6, 6}};
}

void ChartTest::ThinningKeepsExtremesStepsAndGaps() {
    QFETCH(TPoints, points);
    QFETCH(TPoints, kept);
    const TPoints thinned = ThinCurvePoints(points, 1, 1);
    QCOMPARE(Describe(thinned), Describe(kept));
}

void ChartTest::AWeekLongCurveKeepsTheLastDayWhole() {
    TChart chart;
    TChartCurve* flow = chart.AddCurve(QColor(0, 0, 255), TChartSymbol::Circle, false);
    // Two days and a half, a point every second: 40 % with a little noise, a step to 10 % after
    // ten hours, a spike to 95 % after twenty.
    const int seconds = 60 * 60 * 60;
    const auto valueAt = [](int second) {
        const double noise = (second % 7) * 0.05;
        if (second == 20 * 3600)
            return 95.0;
        return (second < 10 * 3600 ? 40.0 : 10.0) + noise;
    };
    for (int second = 0; second < seconds; ++second)
        flow->AddXY(second / 60.0, valueAt(second));

    const QCPGraphDataContainer& data = *flow->Graph()->data();
    const double newest = (seconds - 1) / 60.0;
    int recent = 0;
    bool stepKept = false;
    bool spikeKept = false;
    for (auto it = data.constBegin(); it != data.constEnd(); ++it) {
        const QCPGraphData& point = *it;
        if (point.key >= newest - TChartCurve::FullDetailSpan_min)
            ++recent;
        stepKept = stepKept || (point.key == (10 * 3600 - 1) / 60.0 && point.value > 40) ||
                   (point.key == 10 * 3600 / 60.0 && point.value < 11);
        spikeKept = spikeKept || point.value == 95.0;
    }
    // Every point of the last day is there; the older ones are a small share of what arrived.
    QCOMPARE(recent, int(TChartCurve::FullDetailSpan_min * 60) + 1);
    QVERIFY2(data.size() - recent < (seconds - recent) / 8,
             qPrintable(QString::number(data.size())));
    QVERIFY(stepKept);
    QVERIFY(spikeKept);
    QCOMPARE(data.constBegin()->key, 0.0);
}

QTEST_MAIN(ChartTest)
#include "ChartTest.moc"
