// The engine plans every pump's program once a second, and the recipe and flow-unit views plan
// on every change: one plan must stay far below the tick. Each call starts from a fresh record,
// as the engine builds one per tick.
#include "pump/PSD4_Speeds.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

double Plan(double desired_µgpm) {
    TPumpSpeedDetails d;
    d.Init();
    d.DesiredDispense_µgpm = desired_µgpm;
    PlanPumpDispense(d);
    benchmark::DoNotOptimize(d.Command.data());
    benchmark::DoNotOptimize(d.Feedback.data());
    return d.AchievedDispense_µgpm;
}

// 0, then rates from 0.5 µg/min (below the slowest program) to 300 000 µg/min (three times the
// fastest), 1.01 apart.
std::vector<double> SweptRates() {
    std::vector<double> rates{0};
    for (double r = 0.5; r < 300000; r *= 1.01)
        rates.push_back(r);
    return rates;
}

void BM_PlanPumpDispenseSweep(benchmark::State& state) {
    const std::vector<double> rates = SweptRates();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Plan(rates[i]));
        if (++i == rates.size())
            i = 0;
    }
    state.counters["rates"] = static_cast<double>(rates.size());
}
BENCHMARK(BM_PlanPumpDispenseSweep);

// Single rates that take each path: stop, step-and-wait, a converging bracket search, one that
// cycles until its passes run out, and one above the fastest program.
void BM_PlanPumpDispense(benchmark::State& state) {
    static const double rates[] = {0, 100, 10000, 2973.5, 200000};
    const double rate = rates[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(Plan(rate));
    state.SetLabel(std::to_string(rate));
}
BENCHMARK(BM_PlanPumpDispense)->DenseRange(0, 4);

} // namespace
