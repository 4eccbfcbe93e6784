#include "engine/FlowDeviationWatch.h"

#include "engine/DataTable.h"
#include "mfc/AlicatMFCThread.h"
#include "program/NumberFormat.h"

#include <cmath>

namespace {

constexpr double FullScaleCounts = 64000;

std::string DeviceName(const TDeviceInfo& device) {
    return device.COMPort + " - " + device.NameRole;
}

// Percent to a tenth, as the operator reads it.
std::string PercentText(double percent) {
    return FormatGeneral(std::round(percent * 10) / 10) + " %";
}

} // namespace

std::string FlowDeviationLine(const TDeviceInfo& device, double setpoint_pct, double achieved_pct) {
    return "Flow deviation on " + DeviceName(device) + ": setpoint " + PercentText(setpoint_pct) +
           ", achieved " + PercentText(achieved_pct) + " for " +
           FormatGeneral(device.DeviationDelay_s) + " s";
}

std::string FlowBackAtSetpointLine(const TDeviceInfo& device) {
    return "Flow on " + DeviceName(device) + " back at its setpoint";
}

void TFlowDeviationWatch::Check(const std::vector<TDeviceInfo>& devices, TimePoint now,
                                const std::function<void(const std::string&)>& log,
                                const std::function<void(const std::string&)>& warn) {
    const auto& warning = warn ? warn : log;
    std::map<std::string, TState> states;
    for (const TDeviceInfo& device : devices) {
        // Settings that are no numbers (or negative) switch the alarm off for the device.
        if (!HasRunningMFC(device) || device.DevType == dtMFCDemo ||
            !(device.DeviationLimit_pct >= 0) || !(device.DeviationDelay_s >= 0))
            continue;
        const TMFCThread& worker = *device.ThreadMFC;
        const TAlicatData& status = worker.GUIIn.DeviceStatus;
        const double setpoint = worker.GUIOut.DeviceStatus.Setpoint_pct;
        TState state;
        const auto known = states_.find(device.COMPort);
        if (known != states_.end() && known->second.Worker == device.ThreadMFC)
            state = known->second;
        else
            state = TState{device.ThreadMFC, 0, setpoint, std::nullopt, false};

        if (status.DataTime != 0 && status.DataTime != state.DataTime) {
            state.DataTime = status.DataTime;
            if (setpoint != state.Setpoint_pct) {
                state.Setpoint_pct = setpoint;
                state.AwaySince.reset();
            }
            const double achieved = status.FlowRate_mass / FullScaleCounts * 100;
            if (std::abs(achieved - setpoint) <= device.DeviationLimit_pct) {
                state.AwaySince.reset();
                if (state.Reported)
                    log(FlowBackAtSetpointLine(device));
                state.Reported = false;
            } else {
                if (!state.AwaySince)
                    state.AwaySince = now;
                if (!state.Reported && now - *state.AwaySince >=
                                           std::chrono::duration<double>(device.DeviationDelay_s)) {
                    state.Reported = true;
                    warning(FlowDeviationLine(device, setpoint, achieved));
                }
            }
        }
        states[device.COMPort] = state;
    }
    states_ = std::move(states);
}
