#pragma once
// What the MFC worker tests share: a worker set up on a simulated controller, a witness of its
// last hand-over for waits that run out, and counting of the commands the controller received.
#include "SimMFCPeer.h"
#include "mfc/AlicatMFCThread.h"
#include "support/ExplainedWait.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using Commands = std::vector<std::string>;

inline int CountOf(const Commands& commands, const std::string& command) {
    return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

// A worker on the simulated controller, with the request set before it starts.
inline void Prepare(TMFCThread& worker, const SimMFCPeer& peer, double setpoint_pct, int gas = 0) {
    worker.MFC = std::make_unique<TAlicatMFC>();
    worker.MFC->aPort.fPort = peer.port;
    worker.MFC->aPort.fBaudRate = 19200;
    worker.MFC->Role = "A";
    worker.Name = "COM7";
    worker.ThreadID = "COM7";
    worker.GUIOut.DeviceStatus.Setpoint_pct = setpoint_pct;
    worker.GUIOut.DeviceStatus.GasID = gas;
}

// What the worker last handed over, for waits that run out.
inline TWaitWitness WatchWorker(const TMFCThread& worker) {
    return TWaitWitness("MFC worker " + worker.Name, [&worker] {
        const TAlicatData& status = worker.GUIIn.DeviceStatus;
        return "last status at " + TimeOfDayText(status.DataTime) + ", setpoint read back " +
               std::to_string(status.SetpointFromDevice) + ", raw \"" + status.Raw +
               "\", terminated " + (worker.GUIIn.IsTerminated ? "yes" : "no");
    });
}
