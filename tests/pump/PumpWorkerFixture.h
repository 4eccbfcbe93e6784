#pragma once
// What the pump worker tests share: a worker on a connected, initialised simulated pump, a
// witness of its last hand-over for waits that run out, and counting of the frames received.
#include "PSD4_InterfaceTestRig.h"
#include "pump/PSD4_Thread.h"
#include "support/ExplainedWait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

inline int CountOf(const std::vector<std::string>& frames, const std::string& frame) {
    return static_cast<int>(std::count(frames.begin(), frames.end(), frame));
}

// What the worker's creator does before it starts the worker, paced for tests.
inline void Prepare(TPSD4Thread& worker, TPumpTestRig& rig) {
    worker.Name = "Set 1 Humidifier";
    worker.Pump = ConnectedPump(rig, 0.2);
    std::string feedback;
    worker.Pump->Initialize("ZN1R", feedback);
    ASSERT_TRUE(worker.Pump->WaitUntilFree(15));
    worker.IdleSleep_ms = 40;
}

// What the worker last handed over, for waits that run out.
inline TWaitWitness WatchWorker(const TPSD4Thread& worker) {
    return TWaitWitness("pump worker " + worker.Name, [&worker] {
        return "last status at " + TimeOfDayText(worker.GUIIn.DataTime) + ", setpoint " +
               std::to_string(worker.GUIIn.Setpoint) + ", message \"" + worker.GUIIn.aMessage +
               "\", terminated " + (worker.GUIIn.IsTerminated ? "yes" : "no");
    });
}
