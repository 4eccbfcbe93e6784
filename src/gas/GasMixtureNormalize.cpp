#include "gas/GasItem.h"

#include <utility>

void ScalePartialPressures(TGasItem& Gas, double Factor) {
    Gas.PartialPressure = Gas.PartialPressure * Factor;
    for (TGasItem& component : Gas.Components)
        ScalePartialPressures(component, Gas.PartialPressure);
}

TGasItem* TGasAccumulator::Find(std::uint32_t gasNumber) {
    for (std::size_t i = 0; i < numbers_.size(); ++i)
        if (numbers_[i] == gasNumber)
            return &items_[i];
    return nullptr;
}

void TGasAccumulator::Add(std::uint32_t gasNumber, TGasItem item) {
    numbers_.push_back(gasNumber);
    items_.push_back(std::move(item));
}

std::vector<TGasItem> TGasAccumulator::TakeItems() {
    numbers_.clear();
    return std::exchange(items_, {});
}

void CollectLeafComponents(const TGasItem& Gas, TGasAccumulator& Accumulator) {
    if (!Gas.Components.empty()) {
        for (const TGasItem& component : Gas.Components)
            CollectLeafComponents(component, Accumulator);
        return;
    }
    const auto gasNumber = static_cast<std::uint32_t>(Gas.AlicatID);
    if (TGasItem* held = Accumulator.Find(gasNumber))
        held->PartialPressure += Gas.PartialPressure;
    else
        Accumulator.Add(gasNumber, Gas.Clone());
}

void NormalizeMixture(const TGasItem& Source, TGasItem& Dest) {
    TGasItem result = Source.Clone();
    if (Source.GasType() != tElemental) {
        ScalePartialPressures(result, 1);
        TGasAccumulator accumulator;
        CollectLeafComponents(result, accumulator);
        result.Components = accumulator.TakeItems();
        result.ComponentsNormalized = true;

        double total = 0;
        for (const TGasItem& component : result.Components)
            total += component.GetMolarMass() * component.PartialPressure;
        // Components without molar mass leave nothing to share; keep the fractions at zero
        // rather than dividing by it.
        for (TGasItem& component : result.Components)
            component.MassFraction =
                total != 0 ? component.GetMolarMass() * component.PartialPressure / total : 0;
    }
    Dest = std::move(result);
}

TGasItem NormalizeMixture(const TGasItem& Source) {
    TGasItem dest;
    NormalizeMixture(Source, dest);
    return dest;
}
