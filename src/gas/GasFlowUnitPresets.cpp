#include "gas/GasFlowUnitConversions.h"

const char* TimeUnitName(TGasFlowTimeUnit unit) {
    switch (unit) {
    case gftSecond:
        return "second";
    case gfMinute:
        return "minute";
    case gftHour:
        return "hour";
    case gftDay:
        return "day";
    case gftUndefined:
        break;
    }
    return "undefined";
}

void TGasFlowDetails::Initialize() {
    const double keptMax = GasFlowMax;
    *this = TGasFlowDetails{};
    GasFlowMax = keptMax;
}

namespace {

TGasFlowDetails MakePreset(const char* name, TGasFlowVolumeUnit volumeUnit, TGasFlowType type,
                           double temperatureC) {
    TGasFlowDetails preset;
    preset.Name = name;
    preset.GasFlowVolumeUnit = volumeUnit;
    preset.GasFlowType = type;
    preset.GasFlowTimeUnit = gfMinute;
    preset.Temperature = temperatureC;
    preset.TemperatureUnit = tuC;
    preset.Pressure_BarA = 1.01325;
    return preset;
}

} // namespace

TGasFlowDetails InitialFlowUnitGramsPerMin() {
    return MakePreset("g/min", gfvuUndefined, gfuGrams, 0);
}
TGasFlowDetails InitialFlowUnitMlPerMin() {
    return MakePreset("ml/min", gfvuMLN, gfuVolumetric, 25);
}
// Volume unit MLN, not µL: the pump's user unit is millilitre-based like the MFCs'.
TGasFlowDetails InitialFlowUnitUlPerMin() {
    return MakePreset("µl/min", gfvuMLN, gfuVolumetric, 20);
}

TGasFlowDetails FlowUnitGramsPerMin = InitialFlowUnitGramsPerMin();
TGasFlowDetails FlowUnitMlPerMin = InitialFlowUnitMlPerMin();
TGasFlowDetails FlowUnitUlPerMin = InitialFlowUnitUlPerMin();
