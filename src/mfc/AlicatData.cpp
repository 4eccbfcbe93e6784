#include "mfc/AlicatData.h"

#include "program/UnitUtils.h"

namespace {

struct TErrorRow {
    const char* Name;
    const char* Text;
};

constexpr TErrorRow errorRows[AlicatErrorCount] = {
    {"ADC", "Internal communication error (not common – please contact Alicat for assistance)."},
    {"EXH", "Manual exhaust valve override is enabled (max opening on the downstream valve)."},
    {"HLD", "Valve drive hold enabled (bypass active loop control)."},
    {"LCK", "Display buttons are disabled."},
    {"MOV", "Mass flow rate overage (flow is outside the measurable range, including the "
            "uncalibrated range)."},
    {"OPL", "The overpressure limit is enabled."},
    {"OVR", "Totalizer has rolled over at least once or frozen at max value."},
    {"POV", "Pressure reading overage (pressure is outside the measurable range, including the "
            "uncalibrated range)."},
    {"TMF", "Totalizer missed some flow data (due to a MOV or VOV error)."},
    {"TOV", "Temperature reading overage (temperature is outside measurable range)."},
    {"VOV", "Volumetric flow rate overage (Volumetric flow is outside the measurable range, "
            "including the uncalibrated range)."},
};

const TErrorRow& RowOf(TAlicatError error) {
    const auto index = static_cast<unsigned>(error);
    return errorRows[index < AlicatErrorCount ? index : 0];
}

} // namespace

const char* AlicatErrorText(TAlicatError error) {
    return RowOf(error).Text;
}

const char* AlicatErrorName(TAlicatError error) {
    return RowOf(error).Name;
}

bool TAlicatData::Errors(std::string& Desc) const {
    std::string joined;
    for (int i = 0; i < AlicatErrorCount; ++i) {
        const auto error = static_cast<TAlicatError>(i);
        if (ErrorFlags.Contains(error)) {
            joined += AlicatErrorText(error);
            joined += "\r\n";
        }
    }
    Desc = Trim(joined);
    return !Desc.empty();
}
