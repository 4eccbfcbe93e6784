#pragma once
// The reference conditions an operator picks a flow unit by: the standards that fix a volume by
// a temperature and a pressure, and grams, which need neither. Each row keeps its text as the
// list shows it (temperature in ºC and ºF, pressure in bar, the standard's name) and the numbers
// that the text shows, so that nothing is read back out of a text.
#include "gas/GasFlowUnitConversions.h"

#include <cstddef>
#include <optional>
#include <span>

struct TReferenceConditions {
    const char* Text;
    bool Grams; // the mass unit; temperature and pressure have no meaning then
    double Temperature_C;
    double Pressure_BarA;
};

// The column heading shown above the rows.
extern const char* const ReferenceConditionsHeading;

// The rows in the order the list shows them.
std::span<const TReferenceConditions> ReferenceConditionsRows();

// The row that describes the unit: the grams row for a mass unit, otherwise the first row whose
// temperature and pressure equal the unit's (within 1e-9); nothing when no row does.
std::optional<std::size_t> ReferenceConditionsRowOf(const TGasFlowDetails& unit);
