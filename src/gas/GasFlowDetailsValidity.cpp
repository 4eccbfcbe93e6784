#include "gas/GasFlowUnitConversions.h"

#include <cmath>

bool TGasFlowDetails::IsValid(std::string& Feedback) const {
    Feedback.clear();
    std::string faults;
    const auto fault = [&faults](const char* message) {
        faults += message;
        faults += "\r\n";
    };
    // NaN fails every comparison below, so only the "not a valid float" lines report it.
    if (Name.empty())
        fault("Lacking \"Name\"");
    if (std::isnan(GasFlowValue))
        fault("\"GasFlowValue\" is not a valid float");
    if (std::isnan(GasMolarMass))
        fault("\"GasMolarMass\" is not a valid float");
    if (GasMolarMass <= 0)
        fault("\"GasMolarMass\" value not above zero");
    if (GasName.empty())
        fault("Lacking \"GasName\"");
    if (GasFlowType == gfuUndefined)
        fault("\"GasFlowType\" is undefined");
    if (GasFlowType == gfuVolumetric) {
        if (GasFlowVolumeUnit == gfvuUndefined)
            fault("\"GasFlowVolumeUnit\" is undefined");
        if (std::isnan(Temperature))
            fault("\"Temperature\" is not a valid float\"");
        if (TemperatureUnit == tuC && Temperature < -273.16)
            fault("Absolute zero or below \"Temperature\" ºC");
        if (TemperatureUnit == tuF && Temperature < -459.67)
            fault("Absolute zero or below \"Temperature\" ºF");
        if (TemperatureUnit == tuK && Temperature < 0.1)
            fault("Absolute zero or below \"Temperature\" ºK");
        if (TemperatureUnit == tuUndefined)
            fault("\"TemperatureUnit\" undefined");
        if (Pressure_BarA <= 0)
            fault("Absolute zero or below \"Pressure\"");
    }
    if (GasFlowTimeUnit == gftUndefined)
        fault("\"GasFlowTimeUnit\" is undefined");
    if (faults.empty())
        return true;
    Feedback = "Gas flow details failure, cannot proceed to calculations:\r\nName:" + Name +
               "\r\n" + faults;
    return false;
}
