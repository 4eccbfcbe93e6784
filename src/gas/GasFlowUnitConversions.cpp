#include "gas/GasFlowUnitConversions.h"

#include "program/NumberFormat.h"

#include <limits>

namespace {

// Litre·bar per mole per kelvin. The mixture arithmetic keeps its own, slightly different value;
// each side stays as it was calibrated.
constexpr double GasConstant = 0.08314462618153272;
constexpr double CelsiusOffset = 273.15;
constexpr double LitresToMillilitres = 1000;
constexpr const char* CRLF = "\r\n";

double LitresPerUnit(TGasFlowVolumeUnit unit) {
    switch (unit) {
    case gfvuCC:
    case gfvuSCC:
    case gfvuML:
    case gfvuMLN:
        return 0.001;
    case gfvuL:
        return 1;
    case gfvuµL:
        return 0.000001;
    case gfvuUndefined:
        break;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

double SecondsPerUnit(TGasFlowTimeUnit unit) {
    switch (unit) {
    case gftSecond:
        return 1;
    case gfMinute:
        return 60;
    case gftHour:
        return 3600;
    case gftDay:
        return 86400;
    case gftUndefined:
        break;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

double SourceTemperature_K(const TGasFlowDetails& unit) {
    switch (unit.TemperatureUnit) {
    case tuC:
        return unit.Temperature + CelsiusOffset;
    case tuF:
        return ConvertTemperature(tcFahrenheitToKelvin, unit.Temperature);
    case tuK:
    case tuUndefined:
        break;
    }
    return unit.Temperature;
}

void AppendUnitChecks(const TGasFlowDetails& unit, const std::string& side, std::string& errors) {
    if (unit.GasFlowType == gfuUndefined)
        errors += side + " GasFlowType is Undefined" + CRLF;
    if (unit.GasFlowTimeUnit == gftUndefined)
        errors += side + " GasFlowTimeUnit is Undefined" + CRLF;
    if (unit.GasFlowType == gfuVolumetric) {
        if (unit.TemperatureUnit == tuUndefined)
            errors += side + " TemperatureUnit is Undefined" + CRLF;
        if (unit.GasFlowVolumeUnit == gfvuUndefined)
            errors += side + " GasFlowVolumeUnit is Undefined" + CRLF;
    }
}

std::string Line(const char* label, double value) {
    return label + FormatGeneral(value) + CRLF;
}

} // namespace

bool ConvertGasFlow(const TGasFlowDetails& From, TGasFlowDetails& To, std::string& Errors,
                    std::string& Details) {
    Errors.clear();
    Details.clear();
    // Read everything of From up front: From and To may be the same record.
    const double fromValue = From.GasFlowValue;
    const double fromMolarMass = From.GasMolarMass;
    const double fromPressure = From.Pressure_BarA;
    const TGasFlowTimeUnit fromTimeUnit = From.GasFlowTimeUnit;
    Details += Line("       Volume: ", fromValue);

    AppendUnitChecks(From, "From", Errors);
    AppendUnitChecks(To, "To", Errors);
    if (!Errors.empty())
        return false;

    const bool fromVolumetric = From.GasFlowType == gfuVolumetric;
    const double fromTemperature_K = fromVolumetric ? SourceTemperature_K(From) : 0;
    if (fromVolumetric) {
        if (fromTemperature_K == 0)
            Errors +=
                std::string("GasFrom: Absolute zero temperature. Cannot perform math.") + CRLF;
        if (fromPressure == 0)
            Errors += std::string("GasFrom: Absolute zero pressure. Cannot perform math.") + CRLF;
    }
    // A volumetric target at zero pressure would divide by zero; refuse it like the source.
    if (To.GasFlowType == gfuVolumetric && To.Pressure_BarA == 0)
        Errors += std::string("GasTo: Absolute zero pressure. Cannot perform math.") + CRLF;
    if (!Errors.empty())
        return false;

    Details += std::string("Gas from details: ") + CRLF;
    Details += std::string("       Time unit: ") + TimeUnitName(fromTimeUnit) + CRLF;

    double mass = fromValue;
    if (fromVolumetric) {
        const double volume_L = LitresPerUnit(From.GasFlowVolumeUnit) * fromValue;
        Details += Line("       Volume: ", fromValue);
        mass = GasMassFromVolume(fromMolarMass, fromTemperature_K, fromPressure, volume_L);
        Details += Line("       Volume, L: ", volume_L);
        Details += Line("  Pressure, barA: ", fromPressure);
        Details += Line("  Temperature, K: ", fromTemperature_K);
    }

    if (!(fromMolarMass > 0)) {
        Details += " GasFromMolarMass = 0 ";
        return false;
    }

    double moles = mass / fromMolarMass;
    Details += Line("      Molar mass: ", fromMolarMass);
    Details += Line("         Mass, g: ", mass);
    Details += Line("           Moles: ", moles) + CRLF;

    To.GasFlowValue = ConvertTimeBase(fromTimeUnit, To.GasFlowTimeUnit, mass);
    To.GasMolarMass = fromMolarMass;
    moles = ConvertTimeBase(fromTimeUnit, To.GasFlowTimeUnit, moles);

    Details += std::string("  Gas to details: ") + CRLF;
    Details += std::string("       Time unit: ") + TimeUnitName(To.GasFlowTimeUnit) + CRLF;
    Details += Line("      Molar mass: ", To.GasMolarMass);
    Details += Line("         Mass, g: ", To.GasFlowValue);
    Details += Line("           Moles: ", moles);

    if (To.GasFlowType == gfuVolumetric) {
        // The target's reference temperature is always taken as degrees Celsius; its unit field
        // only has to be defined.
        const double temperature_K = To.Temperature + CelsiusOffset;
        const double volume_L = GasVolumeFromMoles(moles, temperature_K, To.Pressure_BarA);
        Details += Line("  Pressure, barA: ", To.Pressure_BarA);
        Details += Line(" Temperature, ºC: ", To.Temperature);
        Details += Line(" Temperature, ºK: ", temperature_K);
        Details += Line("       Volume, L: ", volume_L);
        To.GasFlowValue = To.GasFlowVolumeUnit == gfvuL ? volume_L : volume_L * LitresToMillilitres;
    }
    return true;
}

double ConvertTimeBase(TGasFlowTimeUnit FromUnit, TGasFlowTimeUnit ToUnit, double Value) {
    return Value * SecondsPerUnit(ToUnit) / SecondsPerUnit(FromUnit);
}

double ConvertTemperature(TTemperatureConversion Direction, double Value) {
    switch (Direction) {
    case tcCelsiusToFahrenheit:
        return Value * 1.8 + 32;
    case tcCelsiusToKelvin:
        return Value + CelsiusOffset;
    case tcFahrenheitToCelsius:
        return (Value - 32) * 5 / 9;
    case tcFahrenheitToKelvin:
        return (Value - 32) * 5 / 9 + CelsiusOffset;
    case tcKelvinToCelsius:
        return Value - CelsiusOffset;
    case tcKelvinToFahrenheit:
        return (Value - CelsiusOffset) * 1.8 + 32;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

double GasMassFromVolume(double MolarMass, double Temperature_K, double Pressure_BarA,
                         double Volume_L) {
    const double moles = (Pressure_BarA * Volume_L) / (GasConstant * Temperature_K);
    return moles * MolarMass;
}

double GasVolumeFromMoles(double Moles, double Temperature_K, double Pressure_BarA) {
    return Moles * GasConstant * Temperature_K / Pressure_BarA;
}
