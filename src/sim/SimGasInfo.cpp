#include "sim/SimGasInfo.h"

#include <array>

namespace {

struct TEntry {
    int Number;
    const char* ShortName;
    double MolarMass;
};

// Air is 21 % oxygen and 79 % nitrogen by mole.
constexpr double AirMolarMass = 0.21 * 31.998 + 0.79 * 28.014;

constexpr std::array<TEntry, 21> gases{{
    {0, "Air", AirMolarMass}, {1, "Ar", 39.95},        {2, "CH4", 16.04276},
    {3, "CO", 28.01},         {4, "CO2", 44.009},      {5, "C2H6", 30.06964},
    {6, "H2", 2.01588},       {7, "He", 4.0026},       {8, "N2", 28.014},
    {9, "N2O", 44.013},       {10, "Ne", 20.18},       {11, "O2", 31.998},
    {12, "C3H8", 44.09652},   {13, "nC4H10", 58.1234}, {14, "C2H2", 26.03788},
    {15, "C2H4", 28.05376},   {16, "iC4H10", 58.1234}, {17, "Kr", 83.798},
    {18, "Xe", 131.29},       {19, "SF6", 146.048},    {210, "H-2", 4.02820355622},
}};

} // namespace

std::optional<TSimGasInfo> SimGasInfo(int gasNumber) {
    for (const TEntry& entry : gases) {
        if (entry.Number == gasNumber) {
            return TSimGasInfo{entry.ShortName, entry.MolarMass};
        }
    }
    return std::nullopt;
}
