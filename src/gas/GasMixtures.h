#pragma once
// What several devices feeding one gas stream produce together: the components' mass flows and
// mole fractions, the volume flows at reference conditions, the water's saturation, and the text
// reports that show them. Works on mixtures whose components carry their MassFlow_gmin.
//
// Nothing here raises of its own; GetMolarMass of a component can (TGasError, see GasItem.h).
#include "gas/GasTable.h"

#include <string>
#include <vector>

// One reference condition.
struct TDoubleVec {
    double TempC = 0;
    double PresBarA = 0;
};
using TVecArr = std::vector<TDoubleVec>;

// From the components' mole fractions and Mix's total MassFlow_gmin, sets each component's
// MassFraction and MassFlow_gmin. Warns the operator about components without molar mass or
// fraction; false only when the fraction-weighted molar mass is zero.
bool PopulateComponentMassFlows(TGasItem& Mix);

// The reverse: from the components' MassFlow_gmin, sets their mole and mass fractions, Mix's
// FluidPartialPressure, total MassFlow_gmin and ComponentsNormalized. On a component without
// molar mass or a zero total it tells the operator and returns false.
bool PopulateComponentPartialPressures(TGasItem& Mix);

// Appends Mix's elemental components to Target's, taking the elemental components of a mixture
// component one level down (not deeper).
void ElementalComponents(const TGasItem& Mix, TGasItem& Target);

// Saturation vapour pressure of water, hPa; over ice at and below 0 ºC.
double SaturationPressure_hPa(double TempC);

// Millilitres taken by Moles at TempC and PresBarA; -1 when the pressure is not above zero.
double VolumeFlow_ml(double Moles, double TempC, double PresBarA);

// The reports. Lines end in CRLF; numbers follow the operator's decimal separator.
std::string InputsReport(const TGasItem& Mix);
// Appends one line per elemental leaf at any depth to Accumulated; Text receives Accumulated.
void ComponentFlowsReport(const TGasItem& Mix, std::string& Accumulated, std::string& Text);
std::string ComponentFlowsReport(const TGasItem& Mix);
std::string PartialPressuresReport(const TGasItem& Mix);
std::string VolumeFlowTable(const TGasItem& Mix, const TVecArr& Conditions);
std::string HumidityTable(const TGasItem& Mix, const TVecArr& Conditions);
