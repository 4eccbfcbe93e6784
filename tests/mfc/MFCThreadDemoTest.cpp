#include "SimMFCPeer.h"
#include "WorkerTestSupport.h"
#include "mfc/AlicatMFCThread.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

TEST(MFCThreadDemo, ReportsRandomFlowWithoutSerialTrafficAndStopsWhenAsked) {
    SimMFCPeer peer; // a controller on the port the demo worker must leave alone
    // The environment goes after the worker, which hands over through it until it has joined.
    WorkerTestEnvironment env;
    TMFCThread worker;
    worker.Simulated = true;
    worker.Name = "X-COM";
    worker.MFC = std::make_unique<TAlicatMFC>();
    worker.MFC->aPort.fPort = peer.port;
    worker.GUIOut.DeviceStatus.Setpoint_pct = 50;
    worker.GUIOut.DeviceStatus.GasID = 8;
    worker.Start();

    double seen = 0;
    int reports = 0;
    ASSERT_TRUE(env.ServeUntil([&] {
        if (worker.GUIIn.DeviceStatus.DataTime != seen) {
            seen = worker.GUIIn.DeviceStatus.DataTime;
            const double flow = worker.GUIIn.DeviceStatus.FlowRate_mass;
            EXPECT_GE(flow, 0.0);
            EXPECT_LE(flow, 0.999);
            ++reports;
        }
        return reports >= 2;
    }));
    EXPECT_EQ(worker.GUIIn.DeviceStatus.MaxFlowgpm, 0);
    EXPECT_FALSE(worker.GUIIn.IsTerminated);

    worker.GUIOut.ToTerminate = true;
    const int before = env.gate.served;
    ASSERT_TRUE(env.ServeUntil([&] { return worker.GUIIn.IsTerminated; }));
    // The loop that took the request in ends the worker: its own hand-over and the last one.
    EXPECT_EQ(env.gate.served - before, 2);
    worker.Join();
    EXPECT_EQ(peer.Commands(), std::vector<std::string>{});
}

TEST(MFCThreadDemo, DestroyingAWorkerNobodyServesAnyMoreEndsIt) {
    WorkerTestEnvironment env;
    TMFCThread worker;
    worker.Simulated = true;
    worker.Start();
    // After its first hand-over the worker sleeps at least 500 ms; the gate goes unserved from
    // now on, and the destructor must not wait for a hand-over that never comes.
    ASSERT_TRUE(env.ServeHandOvers(1));
}

} // namespace
