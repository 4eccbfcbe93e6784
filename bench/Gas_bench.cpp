#include "gas/GasFlowUnitConversions.h"
#include "gas/GasTable.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// The engine tick's conversion: grams per minute into the operator's ml/min at 25 ºC.
void BM_ConvertGasFlow_GramsToMillilitres(benchmark::State& state) {
    TGasFlowDetails from = InitialFlowUnitGramsPerMin();
    from.GasFlowValue = 0.5;
    from.GasMolarMass = 28.014;
    TGasFlowDetails to = InitialFlowUnitMlPerMin();
    std::string errors, details;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ConvertGasFlow(from, to, errors, details));
        benchmark::DoNotOptimize(to.GasFlowValue);
    }
}
BENCHMARK(BM_ConvertGasFlow_GramsToMillilitres);

// A refused conversion: the path a misconfigured device takes every tick.
void BM_ConvertGasFlow_Refused(benchmark::State& state) {
    const TGasFlowDetails from;
    TGasFlowDetails to;
    std::string errors, details;
    for (auto _ : state)
        benchmark::DoNotOptimize(ConvertGasFlow(from, to, errors, details));
}
BENCHMARK(BM_ConvertGasFlow_Refused);

// The nested three-level test mixture flattened into argon and helium.
void BM_NormalizeMixture_Nested(benchmark::State& state) {
    const TGasItem& source = *FindGasTableEntry(301);
    TGasItem dest;
    for (auto _ : state) {
        NormalizeMixture(source, dest);
        benchmark::DoNotOptimize(dest.Components.data());
    }
}
BENCHMARK(BM_NormalizeMixture_Nested);

// A recipe-sized mixture: six table gases and mixtures with overlapping components.
void BM_NormalizeMixture_Recipe(benchmark::State& state) {
    TGasItem recipe;
    for (const int id : {0, 4, 191, 200, 185, 1001}) {
        TGasItem part = GetGasByID(id);
        part.PartialPressure = 1.0 / 6;
        recipe.Components.push_back(part);
    }
    TGasItem dest;
    for (auto _ : state) {
        NormalizeMixture(recipe, dest);
        benchmark::DoNotOptimize(dest.Components.data());
    }
}
BENCHMARK(BM_NormalizeMixture_Recipe);

} // namespace
