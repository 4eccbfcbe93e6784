#pragma once
// What the simulated MFC needs to know about a gas: the short name its status line shows and the
// molar mass that turns its full scale into grams per minute.
//
// A small built-in table for now; it is meant to become a lookup in the core's gas table, so
// callers go through this one function only.
#include <optional>
#include <string>

struct TSimGasInfo {
    std::string ShortName;
    double MolarMass = 0; // g/mol
};

// The gas with this Alicat gas number, or nothing when the simulator does not know it.
std::optional<TSimGasInfo> SimGasInfo(int gasNumber);
