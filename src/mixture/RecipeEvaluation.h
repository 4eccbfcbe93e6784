#pragma once
// Recipe evaluation: a recipe names, one line per device, a serial port, a setpoint in percent
// and optionally a segment type ("COM6 50 R"). Evaluating it checks every line against the
// configured devices and builds the mixture they produce together: one component per line,
// carrying the device's gas or fluid and the mass flow it delivers at that setpoint. It needs the
// device list and the pump's dispense planning, so it sits above both rather than in gas.
#include "gas/GasItem.h"

#include <string>

// Appends one result line per accepted recipe line to Details and one component per accepted
// line to Mix. Errors (passed empty) ends up holding the last fault found: each fault replaces
// the text. True exactly when Errors is empty. Reads the device list and the gas table only.
bool EvaluateRecipe(const std::string& Recipe, std::string& Details, TGasItem& Mix,
                    std::string& Errors);
