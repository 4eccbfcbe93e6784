#include "gas/GasMixtures.h"

#include "platform/OperatorMessages.h"

#include <cmath>

namespace {

// Litre·bar per mole per kelvin, as in the gas record's normal-volume arithmetic.
constexpr double GasConstant = 0.0831446261815324;
constexpr double CelsiusOffset = 273.15;

} // namespace

bool PopulateComponentMassFlows(TGasItem& Mix) {
    if (Mix.MassFlow_gmin == 0) {
        for (TGasItem& component : Mix.Components)
            component.MassFlow_gmin = 0;
        return true;
    }
    if (Mix.Components.empty()) {
        Mix.PartialPressure = 1.0;
        Mix.MassFraction = 1.0;
        return true;
    }
    double total = 0;
    for (const TGasItem& component : Mix.Components) {
        const double molarMass = component.GetMolarMass();
        if (molarMass == 0)
            ShowOperatorMessage("Component with no molar mass");
        if (component.PartialPressure == 0)
            ShowOperatorMessage("Component with no partial pressure mass");
        total += molarMass * component.PartialPressure;
    }
    if (total == 0)
        return false;
    for (TGasItem& component : Mix.Components) {
        component.MassFraction =
            component.GetMolarMass() * (component.PartialPressure * (1 / total));
        component.MassFlow_gmin = component.MassFraction * Mix.MassFlow_gmin;
    }
    return true;
}

bool PopulateComponentPartialPressures(TGasItem& Mix) {
    double moles = 0;
    double mass = 0;
    for (const TGasItem& component : Mix.Components) {
        const double molarMass = component.GetMolarMass();
        if (molarMass == 0) {
            ShowOperatorMessage("PopulateComponentPartialPressures: Component molar mass 0");
            return false;
        }
        moles += component.MassFlow_gmin / molarMass;
        mass += component.MassFlow_gmin;
    }
    if (moles == 0) {
        ShowOperatorMessage("PopulateComponentPartialPressures: Total moles 0");
        return false;
    }
    if (mass == 0) {
        ShowOperatorMessage("PopulateComponentPartialPressures: Total mass 0");
        return false;
    }
    for (TGasItem& component : Mix.Components) {
        component.PartialPressure = (component.MassFlow_gmin / component.GetMolarMass()) / moles;
        component.MassFraction = component.MassFlow_gmin / mass;
        if (IsFluidID(component.AlicatID))
            Mix.FluidPartialPressure = component.PartialPressure;
    }
    Mix.ComponentsNormalized = true;
    Mix.MassFlow_gmin = mass;
    return true;
}

void ElementalComponents(const TGasItem& Mix, TGasItem& Target) {
    // Collected first: Mix and Target may be the same item.
    std::vector<TGasItem> found;
    for (const TGasItem& component : Mix.Components) {
        if (component.GasType() == tElemental) {
            found.push_back(component);
            continue;
        }
        for (const TGasItem& part : component.Components)
            if (part.GasType() == tElemental)
                found.push_back(part);
    }
    for (TGasItem& component : found)
        Target.Components.push_back(std::move(component));
}

double SaturationPressure_hPa(double TempC) {
    const double t = TempC;
    if (t > 0) {
        const double e = std::exp(34.494 - 4924.99 / (t + 237.1));
        const double p = std::pow(t + 105, 1.57);
        return e / p / 100;
    }
    // Over ice.
    const double e = std::exp(43.494 - 6545.8 / (t + 278));
    const double p = std::pow(t + 868, 2);
    return e / p / 100;
}

double VolumeFlow_ml(double Moles, double TempC, double PresBarA) {
    if (PresBarA > 0)
        return Moles * GasConstant * (TempC + CelsiusOffset) / PresBarA * 1000;
    return -1;
}
