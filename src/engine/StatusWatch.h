#pragma once
// Tells the operator when a controller stops delivering status while its worker runs, and when it
// delivers again. The engine tick passes over such a controller without a word: its request stays
// as it was, its curve stops and the data table waits, while its row still says it runs its
// program. A controller that went silent, garbles its replies or lost its cable looks just like
// that, so the operator hears of it in the log pane. A pump is watched the same way by the time
// of its last valid reply to its worker, which polls it while it has nothing to send.
//
// Quiet time is wall time between checks, whatever the core clock says: status arrives at the
// pace of the serial exchanges. Only a controller that has delivered status before is watched,
// so its initialisation does not count. A long gap between two checks (a tool that held the main
// thread, and with it every hand-over) does not count as quiet. Main thread only.
#include "registry/Orvello_DeviceInfo.h"

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

// The running worker of a device and the stamp that moves whenever its device answers: an MFC's
// status time, a pump's last valid reply (0 until the first). False when the device has no
// running worker.
bool AnswerStamp(const TDeviceInfo& device, const void*& worker, double& stamp);

// The log lines, for a device on port.
std::string NoStatusLine(const std::string& port, int quiet_s);
std::string StatusAgainLine(const std::string& port);

class TStatusWatch {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Quiet for longer than this, a controller is reported; checks further apart than gapLimit
    // restart the count.
    static constexpr std::chrono::seconds QuietLimit{10};
    static constexpr std::chrono::seconds GapLimit{3};

    // Looks at every MFC and pump whose worker runs; log receives a line for each device that has
    // been quiet past the limit (once) and for each reported one that answers again.
    // The lines that the operator must not miss (a device gone quiet, a flow away from its
    // setpoint) go to warn when one is given; the recoveries always go to log.
    void Check(const std::vector<TDeviceInfo>& devices, TimePoint now,
               const std::function<void(const std::string&)>& log,
               const std::function<void(const std::string&)>& warn = {});

private:
    struct TSeen {
        const void* Worker = nullptr; // a new worker (after a reset) starts a new watch
        double DataTime = 0;
        TimePoint Since;
        bool Reported = false;
    };
    std::map<std::string, TSeen> seen_;
    TimePoint lastCheck_{};
};
