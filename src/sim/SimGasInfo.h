#pragma once
// What the simulated MFC needs to know about a gas: the short name its status line shows and the
// molar mass that turns its full scale into grams per minute.
//
// Looked up in the core's gas table, so the simulator knows every gas the console can select.
#include <optional>
#include <string>

struct TSimGasInfo {
    std::string ShortName;
    double MolarMass = 0; // g/mol
};

// The gas with this Alicat gas number, or nothing when the simulator does not know it.
std::optional<TSimGasInfo> SimGasInfo(int gasNumber);
