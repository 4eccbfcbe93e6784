#include "mixture/RecipeEvaluation.h"

#include "gas/GasFlowUnitConversions.h"
#include "gas/GasMixtures.h"
#include "gas/GasTable.h"
#include "mixture/RecipeLines.h"
#include "program/NumberFormat.h"
#include "program/SegmentProgramText.h"
#include "program/UnitUtils.h"
#include "pump/PSD4_Speeds.h"
#include "registry/Orvello_DeviceInfo.h"

#include <optional>

namespace {

constexpr const char* CRLF = "\r\n";

bool IsRecipeCharacter(char c) {
    return c == ' ' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
           (c >= 'a' && c <= 'z');
}

// The mass-flow target of the conversions; temperature and pressure do not matter for a mass.
TGasFlowDetails RecipeMassUnit() {
    TGasFlowDetails unit;
    unit.Name = "g/min";
    unit.GasFlowType = gfuGrams;
    unit.GasFlowVolumeUnit = gfvuUndefined;
    unit.GasFlowTimeUnit = gfMinute;
    unit.Temperature = 1000.0;
    unit.TemperatureUnit = tuC;
    unit.Pressure_BarA = 1000.0;
    return unit;
}

bool IsMFC(tDeviceType type) {
    return type == dtMFCA || type == dtMFCB || type == dtMFCDemo;
}

// Steps that need the device's gas; returns the result line, or nothing when a fault (already
// written to errors) leaves none.
std::optional<std::string> EvaluateDevice(const TDeviceInfo& device, double setpoint, TGasItem& gas,
                                          std::string& errors) {
    if (IsMFC(device.DevType)) {
        TGasFlowDetails from = device.FlowUnitDevice;
        from.GasFlowValue = from.GasFlowMax;
        try {
            from.GasMolarMass = gas.GetMolarMass();
        } catch (const TGasError& error) {
            errors = std::string(error.what()) + CRLF;
            return std::nullopt;
        }
        std::string convertErrors;
        std::string convertDetails;
        TGasFlowDetails mass = RecipeMassUnit();
        if (ConvertGasFlow(from, mass, convertErrors, convertDetails))
            gas.MassFlow_gmin = mass.GasFlowValue * setpoint / 100;
        else
            errors = "Failed to convert gas flow to g/min";
        TGasFlowDetails user = device.FlowUnitUser;
        double flowUser = 0;
        if (ConvertGasFlow(from, user, convertErrors, convertDetails))
            flowUser = user.GasFlowValue * setpoint / 100;
        else
            errors = "Failed to convert gas flow to user unit: " + device.FlowUnitUser.Name;
        const double flowDevice = from.GasFlowValue * setpoint / 100;
        return "P:" + device.COMPort + ", G:" + gas.NameShort +
               ", FU:" + FormatPicture(flowUser, "0.000") + " " + device.FlowUnitUser.Name +
               ", FD:" + FormatPicture(flowDevice, "0.000") + " " + device.FlowUnitDevice.Name +
               ", FM:" + FormatPicture(gas.MassFlow_gmin, "0.000000") + " g/min" + CRLF;
    }
    if (device.DevType == dtPump) {
        const TPumpSpeedDetails plan =
            PumpPlanForPercent(device.SyringeSizeµL, device.MaxFlow_µlpm, setpoint);
        const double volumeFlow = plan.AchievedDispense_µgpm / 1000 / plan.FluidDensity;
        const double massFlow = plan.AchievedDispense_µgpm / 1000 / 1000;
        gas.MassFlow_gmin = massFlow;
        return "P:" + device.COMPort + ", G:" + gas.NameShort +
               ", Flow(vol):" + FormatPicture(volumeFlow, "####0.######") + " µl/min" +
               ", Flow(mass):" + FormatPicture(massFlow, "####0.######") + " g/min" +
               ", Temp(No effect):" + FormatGeneral(device.FluidTemperatureC) + "ºC" + CRLF;
    }
    return std::nullopt;
}

// Steps 4 to 9 of one line; returns the result line when the line produced one.
std::optional<std::string> EvaluateLine(std::string_view line, int n, TGasItem& gas,
                                        std::string& errors) {
    const std::string number = std::to_string(n);
    const std::optional<TRecipeLine> items = SplitRecipeLine(line);
    if (!items) {
        errors = "Recipe has less than 2 or more than 3 items on line: " + number + CRLF +
                 " => Unable to determine meaning" + CRLF;
        return std::nullopt;
    }
    TDeviceInfo device;
    if (!FindDeviceByPortIgnoringCase(items->Port, device)) {
        errors = "No device on port: " + items->Port + CRLF;
        return std::nullopt;
    }
    double setpoint = 0;
    try {
        setpoint = StrToFloatAnySep(Trim(items->Setpoint));
    } catch (const EConvertError&) {
        errors = "Cannot convert '" + items->Setpoint + "' to a number" + CRLF;
        return std::nullopt;
    }
    if (setpoint < 0 || setpoint > 100) {
        errors = "Invalid setpoint on line " + number + CRLF;
        return std::nullopt;
    }
    if (items->HasType) {
        // Any word that starts with S or R passes here; only a lone R makes a ramp segment.
        const std::string& type = items->Type;
        if (type.empty() || (type[0] != 'S' && type[0] != 'R')) {
            errors = "Invalid segment type on line " + number + " (use S or R)" + CRLF;
            return std::nullopt;
        }
    }
    if (!TryGetGasByID(device.FluidID, gas)) {
        errors =
            "GasID on " + device.COMPort + " matches no known gas, device not configured?" + CRLF;
        return std::nullopt;
    }
    return EvaluateDevice(device, setpoint, gas, errors);
}

} // namespace

bool EvaluateRecipe(const std::string& Recipe, std::string& Details, TGasItem& Mix,
                    std::string& Errors) {
    int n = 0;
    for (std::string_view line : ProgramLines(Recipe)) {
        ++n;
        if (line.empty())
            continue;
        bool anyPermitted = false;
        for (std::size_t pos = 0; pos < line.size();) {
            const std::size_t length = Utf8CharacterLength(line, pos);
            if (length == 1 && IsRecipeCharacter(line[pos]))
                anyPermitted = true;
            else
                Errors = "Illegal character '" + std::string(line.substr(pos, length)) +
                         "' on line: " + std::to_string(n) + CRLF;
            pos += length;
        }
        if (!anyPermitted)
            continue;
        TGasItem gas;
        const std::optional<std::string> result = EvaluateLine(line, n, gas, Errors);
        if (Errors.empty() && result && !Trim(line).empty()) {
            Details += *result;
            PopulateComponentMassFlows(gas);
            Mix.Components.push_back(gas);
        }
    }
    return Errors.empty();
}
