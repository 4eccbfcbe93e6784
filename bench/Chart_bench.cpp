// A replot of the chart at the end of a day's run at 15 devices: 15 flow curves of a point a
// second for 24 hours (86,400 points each, symbols on) and their 15 segment-program curves, on
// the offscreen platform at a typical window size.
#include "console/widgets/Chart.h"

#include <qcustomplot.h>

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

QApplication& Application() {
    static int argc = 1;
    static char name[] = "Chart_bench";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(argc, argv);
    return application;
}

constexpr int devices = 15;
constexpr int pointsPerCurve = 86400;

// A program of ramps and steps over the day, and a flow that follows it with some noise.
double ProgramAt(int device, double minute) {
    const int hour = int(minute / 60);
    return 10 + ((hour * 7 + device * 13) % 80);
}

void FillDay(TChart& chart) {
    const TChartSymbol symbols[] = {TChartSymbol::Circle, TChartSymbol::Square,
                                    TChartSymbol::Diamond};
    for (int device = 0; device < devices; ++device) {
        const QColor color = QColor::fromHsv(device * 24, 255, 200);
        TChartCurve* program = chart.AddCurve(color, symbols[device % 3], true);
        TChartCurve* flow = chart.AddCurve(color, symbols[device % 3], false);
        for (int hour = 0; hour < 24; ++hour) {
            program->AddXY(hour * 60.0, ProgramAt(device, hour * 60.0));
            program->AddXY((hour + 1) * 60.0, ProgramAt(device, hour * 60.0));
        }
        for (int second = 0; second < pointsPerCurve; ++second) {
            const double minute = second / 60.0;
            flow->AddXY(minute, ProgramAt(device, minute) + std::sin(second * 0.37 + device));
        }
    }
}

void BM_ReplotDayOf15Devices(benchmark::State& state) {
    Application();
    TChart chart;
    chart.resize(1280, 300);
    chart.SetXCaption("Time, m");
    chart.SetYCaption("Flow, %");
    chart.show();
    FillDay(chart);
    chart.Replot();
    for (auto _ : state) {
        chart.Replot();
        chart.Plot()->repaint();
    }
    state.counters["points"] = double(devices) * pointsPerCurve;
}
BENCHMARK(BM_ReplotDayOf15Devices)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same chart zoomed into the last hour, where every point of the hour is within reach.
void BM_ReplotLastHourZoomed(benchmark::State& state) {
    Application();
    TChart chart;
    chart.resize(1280, 300);
    chart.show();
    FillDay(chart);
    chart.SetXRange(23 * 60, 24 * 60);
    for (auto _ : state) {
        chart.Replot();
        chart.Plot()->repaint();
    }
}
BENCHMARK(BM_ReplotLastHourZoomed)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
