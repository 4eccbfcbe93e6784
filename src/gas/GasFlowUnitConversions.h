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

    // True when the record describes a usable flow unit. Otherwise false, and Feedback holds a
    // heading, the unit's name and one CRLF-terminated line per fault found.
    bool IsValid(std::string& Feedback) const;
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

// Converts the flow From.GasFlowValue, described by From, into the unit described by To, treating
// the gas as ideal. Writes To.GasFlowValue and To.GasMolarMass (taken over from From) and nothing
// else of To. Errors receives the unit faults that made it refuse (CRLF-terminated lines), Details
// the step-by-step calculation; both are cleared first. Returns true when To.GasFlowValue holds the
// converted flow; on false To is untouched. A source molar mass not above zero is refused with
// Errors left empty and Details ending in " GasFromMolarMass = 0 ". A volumetric target is always
// computed with its Temperature read as degrees Celsius. Raises nothing.
bool ConvertGasFlow(const TGasFlowDetails& From, TGasFlowDetails& To, std::string& Errors,
                    std::string& Details);

// Value per FromUnit re-expressed per ToUnit (1 per second is 60 per minute). Both units must be
// defined; an undefined one gives NaN.
double ConvertTimeBase(TGasFlowTimeUnit FromUnit, TGasFlowTimeUnit ToUnit, double Value);

// The six temperature conversions; callers also pass them by number (0 to 5).
enum TTemperatureConversion : int {
    tcCelsiusToFahrenheit = 0,
    tcCelsiusToKelvin = 1,
    tcFahrenheitToCelsius = 2,
    tcFahrenheitToKelvin = 3,
    tcKelvinToCelsius = 4,
    tcKelvinToFahrenheit = 5,
};
// Value converted as Direction says; NaN for a Direction outside 0..5.
double ConvertTemperature(TTemperatureConversion Direction, double Value);

// Ideal gas: grams in Volume_L litres at Temperature_K and Pressure_BarA.
double GasMassFromVolume(double MolarMass, double Temperature_K, double Pressure_BarA,
                         double Volume_L);
// Ideal gas: litres taken by Moles at Temperature_K and Pressure_BarA.
double GasVolumeFromMoles(double Moles, double Temperature_K, double Pressure_BarA);
