#pragma once
// Tells the operator when an MFC's achieved flow stays away from its setpoint: a gas cylinder
// running empty or a blocked line leave the controller asking for a flow it cannot get, while
// the engine goes on as if all were well. An MFC whose flow stays further than its
// DeviationLimit_pct (of full scale) from the setpoint the engine requested for its
// DeviationDelay_s gets one warning, and one line when its flow is back within the limit.
//
// A new setpoint restarts the delay, since the flow needs time to follow it (a ramp, which moves
// the setpoint every tick, is never reported). Only fresh status counts: a controller that
// delivers none is the status watch's concern. The demonstration device is left out: its flow
// is made up. Time is the steady time the caller passes in. Main thread only.
#include "registry/Orvello_DeviceInfo.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The log lines, for a device with setpoint and achieved flow in percent of full scale.
std::string FlowDeviationLine(const TDeviceInfo& device, double setpoint_pct, double achieved_pct);
std::string FlowBackAtSetpointLine(const TDeviceInfo& device);

class TFlowDeviationWatch {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Looks at every MFC whose worker runs; log receives the warnings and the recoveries.
    // The lines that the operator must not miss (a device gone quiet, a flow away from its
    // setpoint) go to warn when one is given; the recoveries always go to log.
    void Check(const std::vector<TDeviceInfo>& devices, TimePoint now,
               const std::function<void(const std::string&)>& log,
               const std::function<void(const std::string&)>& warn = {});

private:
    struct TState {
        const void* Worker = nullptr; // a new worker (after a reset) starts a new watch
        double DataTime = 0;
        double Setpoint_pct = 0;
        std::optional<TimePoint> AwaySince;
        bool Reported = false;
    };
    std::map<std::string, TState> states_;
};
