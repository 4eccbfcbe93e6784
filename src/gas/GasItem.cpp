#include "gas/GasItem.h"

#include "platform/OperatorMessages.h"
#include "program/NumberFormat.h"

#include <cmath>

namespace {

// Litre·bar per mole per kelvin, as the mixture arithmetic uses it.
constexpr double GasConstant = 0.0831446261815324;
constexpr double NormalTemperature_K = 273.15;
constexpr double NormalPressure_BarA = 1.01325;

} // namespace

const char* GasTypeName(TGasType type) {
    switch (type) {
    case tElemental:
        return "tElemental";
    case tMixture:
        return "tMixture";
    case tDesignTimeMix:
        return "tDesignTimeMix";
    }
    return "tElemental";
}

void TGasItem::Init() {
    NameShort = "Undefined";
    _NameLong = "Undefined";
    Formula.clear();
    AlicatID = -1;
    PartialPressure = 1.0;
    _CorrosiveFlag = true;
    _MolarMass = 0;
    Components.clear();
}

TGasItem TGasItem::Clone() const {
    TGasItem copy;
    copy.NameShort = NameShort;
    copy._NameLong = GetNameLong();
    copy.Formula = Formula;
    copy.AlicatID = AlicatID;
    copy.PartialPressure = PartialPressure;
    copy._CorrosiveFlag = GetCorrosive();
    copy._MolarMass = _MolarMass;
    copy.ComponentsNormalized = ComponentsNormalized;
    copy.Components.reserve(Components.size());
    for (const TGasItem& component : Components)
        copy.Components.push_back(component.Clone());
    return copy;
}

TGasType TGasItem::GasType() const {
    if (Components.empty())
        return tElemental;
    return ComponentsNormalized ? tMixture : tDesignTimeMix;
}

bool TGasItem::GetCorrosive() const {
    if (Components.empty())
        return _CorrosiveFlag;
    for (const TGasItem& component : Components)
        if (!component.GetCorrosive())
            return false;
    return true;
}

std::string TGasItem::GetNameLong() const {
    if (_NameLong != "Undefined" || Components.empty())
        return _NameLong;
    std::string name;
    for (const TGasItem& component : Components) {
        if (!name.empty())
            name += ", ";
        name +=
            FormatPicture(component.PartialPressure * 100, "#.#") + "%" + component.GetNameLong();
    }
    return name;
}

double TGasItem::GetMolarMass() const {
    switch (GasType()) {
    case tElemental:
        return _MolarMass;
    case tDesignTimeMix:
        // Only a normalised mixture has a molar mass of its own.
        return 1.0;
    case tMixture:
        break;
    }
    double molarMass = 0;
    double fractions = 0;
    for (const TGasItem& component : Components) {
        molarMass += component.GetMolarMass() * component.PartialPressure;
        fractions += component.PartialPressure;
    }
    if (!(std::fabs(fractions - 1) <= 1e-6))
        throw TGasError("Mixture " + NameShort + " partial pressure total not 1.000 000 but " +
                        FormatPicture(fractions, "0.000 000") + " instead");
    return molarMass;
}

double TGasItem::MolesPerGram() const {
    double molarMass = 0;
    try {
        molarMass = GetMolarMass();
    } catch (const TGasError&) {
        molarMass = 0;
    }
    if (molarMass == 0)
        throw TGasError("Moles per gram pre-work division by zero for: " + _NameLong + " " +
                        GasTypeName(GasType()));
    return 1 / molarMass;
}

double TGasItem::mlnPerGram() const {
    const double litres = MolesPerGram() * GasConstant * NormalTemperature_K / NormalPressure_BarA;
    return litres * 1000;
}

double TGasItem::GramPermln() const {
    const double millilitres = mlnPerGram();
    return millilitres > 0 ? 1 / millilitres : 0;
}

bool TGasItem::GetHasFluid() const {
    if (!ComponentsNormalized) {
        ShowOperatorMessage("GasHasFluid on nonflat mixture");
        return false;
    }
    for (const TGasItem& component : Components)
        if (IsFluidID(component.AlicatID))
            return true;
    return false;
}
