#include "sim/SimGasInfo.h"

#include "gas/GasTable.h"

std::optional<TSimGasInfo> SimGasInfo(int gasNumber) {
    const TGasItem* gas = FindGasTableEntry(gasNumber);
    if (gas == nullptr)
        return std::nullopt;
    try {
        return TSimGasInfo{gas->NameShort, gas->GetMolarMass()};
    } catch (const TGasError&) {
        // A table entry without a usable molar mass is a gas this instrument cannot run.
        return std::nullopt;
    }
}
