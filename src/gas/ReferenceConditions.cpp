#include "gas/ReferenceConditions.h"

#include <array>
#include <cmath>

const char* const ReferenceConditionsHeading = "ºC    ºF     Bar      Standard";

namespace {

const std::array<TReferenceConditions, 21> rows{{
    {"0      32    1.01325  NIST, ISO 10780, formerly IUPAC (STP) until 1982", false, 0, 1.01325},
    {"20     68    1.01325  NTP, Normal Temperature and Pressure. EPA, NIST", false, 20, 1.01325},
    {"25     77    1.01325  SATP, EPA", false, 25, 1.01325},
    {"n/a    n/a   n/a      g, grams", true, 0, 0},
    {"0      32    1        STP, IUPAC since 1982", false, 0, 1},
    {"0      32    1.01325  DIN 1343:1990", false, 0, 1.01325},
    {"15     59    0.9999   U.S. Army Standard Metro", false, 15, 0.9999},
    {"15     59    1.00000  SPE", false, 15, 1},
    {"15     59    1.0133   ISO 2314, ISO 3977-2, ASHRAE Fundamentals Handbook", false, 15, 1.0133},
    {"15     59    1.013    FAA", false, 15, 1.013},
    {"15     59    1.01325  ICAO's ISA, ISO 13443, EEA, EGIA (SI Definition)", false, 15, 1.01325},
    {"15     59    1.01325  ISO 2533:1975, ISO 13443:2005, ISO 7504:2015", false, 15, 1.01325},
    {"15.56  60    1.0133   SPE, U.S. OSHA, SCAQMD", false, 15.56, 1.0133},
    {"15.56  60    1.016    EGIA (Imperial System Definition)", false, 15.56, 1.016},
    {"15.56  60    1.0135   U.S. DOT (SCF)", false, 15.56, 1.0135},
    {"20     68    1.00000  CAGI", false, 20, 1},
    {"20     68    1.013    ISO 5011", false, 20, 1.013},
    {"20     68    1.0133   GOST 2939-63", false, 20, 1.0133},
    {"20     68    1.01325  EN 14511-1:2013", false, 20, 1.01325},
    {"21.11  70    1.013    AMCA, air density = 0.075 lbm/ft3. This AMCA standard applies only to "
     "air;",
     false, 21.11, 1.013},
    {"22     71.6  1.01325  American Association of Physicists in Medicine", false, 22, 1.01325},
}};

} // namespace

std::span<const TReferenceConditions> ReferenceConditionsRows() {
    return rows;
}

std::optional<std::size_t> ReferenceConditionsRowOf(const TGasFlowDetails& unit) {
    const auto matches = [&unit](const TReferenceConditions& row) {
        if (unit.GasFlowType == gfuGrams)
            return row.Grams;
        return !row.Grams && std::abs(row.Temperature_C - unit.Temperature) < 1e-9 &&
               std::abs(row.Pressure_BarA - unit.Pressure_BarA) < 1e-9;
    };
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (matches(rows[i]))
            return i;
    return std::nullopt;
}
