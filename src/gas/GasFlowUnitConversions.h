#pragma once
// Flow units: the record that describes one flow unit (optionally with one flow value in it) and
// the three presets the system starts with.
#include <cstdint>
#include <string>

enum TGasFlowVolumeUnit : std::uint8_t {
    gfvuCC,
    gfvuSCC,
    gfvuML,
    gfvuMLN,
    gfvuL,
    gfvuµL,
    gfvuUndefined
};
enum TGasFlowType : std::uint8_t { gfuGrams, gfuVolumetric, gfuUndefined };
enum TGasFlowTimeUnit : std::uint8_t { gftSecond, gfMinute, gftHour, gftDay, gftUndefined };
enum TTemperatureUnit : std::uint8_t { tuC, tuF, tuK, tuUndefined };

// "second", "minute", "hour", "day", "undefined".
const char* TimeUnitName(TGasFlowTimeUnit unit);

struct TGasFlowDetails {
    std::string Name = "Undefined";
    double GasFlowMax = 0;
    double GasFlowValue = 0;
    double GasMolarMass = 1.0;
    std::string GasName;
    TGasFlowVolumeUnit GasFlowVolumeUnit = gfvuUndefined;
    TGasFlowType GasFlowType = gfuUndefined;
    TGasFlowTimeUnit GasFlowTimeUnit = gftUndefined;
    double Temperature = 0;
    TTemperatureUnit TemperatureUnit = tuUndefined;
    double Pressure_BarA = 0;

    // Resets every field but GasFlowMax to its initial value.
    void Initialize();
};

// The presets: "g/min" (the engine's conversion source), "ml/min" at 25 ºC and "µl/min" at 20 ºC.
extern TGasFlowDetails FlowUnitGramsPerMin;
extern TGasFlowDetails FlowUnitMlPerMin;
extern TGasFlowDetails FlowUnitUlPerMin;

// Fresh copies of the presets as they stand at start. Other units' static data is built from
// these rather than from the globals, whose initialisation order across files is not defined.
TGasFlowDetails InitialFlowUnitGramsPerMin();
TGasFlowDetails InitialFlowUnitMlPerMin();
TGasFlowDetails InitialFlowUnitUlPerMin();
