// How an MFC worker ends: only a controller that reads back setpoint 0 counts as safely stopped,
// and a worker nobody serves any more still ends, with its controller sent to 0.
#include "MFCWorkerFixture.h"
#include "WorkerTestSupport.h"
#include "mfc/AlicatMFCThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <thread>

namespace {

void IgnoreSetpoints(SimMFCPeer& peer, bool on) {
    peer.server->WithInstrument(
        [on](TSimInstrument& mfc) { static_cast<TSimMFC&>(mfc).SetIgnoreSetpoints(on); });
}

// Waits, without serving, until the worker waits in its next hand-over.
::testing::AssertionResult WaitsInHandOver(const QueueMainThreadGate& gate) {
    for (int i = 0; i < 12000 && gate.Pending() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (gate.Pending() == 1)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "waited 60 s for the worker's hand-over; hand-overs queued: " << gate.Pending();
}

const char* const GivingUp = "ThreadMFC|COM7 Setpoint 0 not confirmed, giving up";

TEST(MFCThreadSafeStop, ControllerThatKeepsItsSetpointIsNotConfirmedSafe) {
    SimMFCPeer peer;
    WorkerTestEnvironment env;
    TMFCThread worker;
    Prepare(worker, peer, 50);
    worker.Start();
    const auto watched = WatchWorker(worker);
    ASSERT_TRUE(env.ServeUntil([&] {
        return worker.GUIIn.DeviceStatus.SetpointFromDevice == 32000;
    })) << "waited for the controller to report 32000 counts; last seen "
        << worker.GUIIn.DeviceStatus.SetpointFromDevice;

    // It acknowledges "A0" with its status line, which still reports 32000 counts.
    IgnoreSetpoints(peer, true);
    const std::size_t mark = peer.Commands().size();
    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(env.ServeUntil([&] { return worker.GUIIn.IsTerminated; }))
        << "waited for the worker to end; commands since the request: "
        << ::testing::PrintToString(peer.CommandsFrom(mark));
    worker.Join();
    EXPECT_FALSE(worker.GUIIn.SafeStopConfirmed);
    EXPECT_EQ(CountOf(peer.CommandsFrom(mark), "A0"), TMFCThread::MaxFailedTerminateLoops);
    EXPECT_EQ(peer.SetpointCounts(), 32000);
    EXPECT_EQ(env.diagnostics.Count(GivingUp), 1);
}

TEST(MFCThreadSafeStop, ControllerThatObeysLateIsConfirmedOnceItReadsZero) {
    SimMFCPeer peer;
    WorkerTestEnvironment env;
    TMFCThread worker;
    Prepare(worker, peer, 50);
    worker.Start();
    const auto watched = WatchWorker(worker);
    ASSERT_TRUE(env.ServeUntil([&] {
        return worker.GUIIn.DeviceStatus.SetpointFromDevice == 32000;
    })) << "waited for the controller to report 32000 counts; last seen "
        << worker.GUIIn.DeviceStatus.SetpointFromDevice;

    // One terminate loop against a controller that holds its setpoint ...
    IgnoreSetpoints(peer, true);
    const std::size_t mark = peer.Commands().size();
    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(env.ServeHandOvers(1));
    ASSERT_TRUE(WaitsInHandOver(env.gate.queue));
    EXPECT_EQ(CountOf(peer.CommandsFrom(mark), "A0"), 1);

    // ... then it obeys: the next setpoint 0 is read back and the stop is confirmed.
    IgnoreSetpoints(peer, false);
    ASSERT_TRUE(env.ServeUntil([&] { return worker.GUIIn.IsTerminated; }))
        << "waited for the worker to end; commands since the request: "
        << ::testing::PrintToString(peer.CommandsFrom(mark));
    worker.Join();
    EXPECT_TRUE(worker.GUIIn.SafeStopConfirmed);
    EXPECT_EQ(CountOf(peer.CommandsFrom(mark), "A0"), 2);
    EXPECT_EQ(peer.SetpointCounts(), 0);
    EXPECT_EQ(env.diagnostics.Count(GivingUp), 0);
}

// Destroying a worker that waits in a hand-over nobody serves returns, and the controller still
// goes to setpoint 0 first.
TEST(MFCThreadSafeStop, DestroyingAWorkerWaitingInItsHandOverStopsTheController) {
    SimMFCPeer peer;
    WorkerTestEnvironment env;
    auto worker = std::make_unique<TMFCThread>();
    Prepare(*worker, peer, 50);
    worker->Start();
    ASSERT_TRUE(env.ServeUntil([&] {
        return worker->GUIIn.DeviceStatus.SetpointFromDevice == 32000;
    })) << "waited for the controller to report 32000 counts; last seen "
        << worker->GUIIn.DeviceStatus.SetpointFromDevice;
    ASSERT_TRUE(WaitsInHandOver(env.gate.queue));

    worker.reset();
    EXPECT_EQ(env.gate.queue.Pending(), 0);
    EXPECT_EQ(peer.SetpointCounts(), 0);
}

// A stop asked for while a silent controller is being initialised ends the initialisation at its
// next exchange instead of after all seven (19 s), and the terminate loops that follow try
// setpoint 0 without a gas change: the worker ends within seconds, whether its owner asks it to
// terminate or destroys it.
TEST(MFCThreadSafeStop, AStopDuringTheInitialisationOfASilentControllerEndsTheWorkerSoon) {
    using namespace std::chrono_literals;
    // Well above the worst case (the first step's 2.66 s, then three terminate loops of about a
    // second each at the worker's quick looks below), well below the 25 s of a full
    // initialisation followed by terminate loops with gas changes.
    constexpr auto Bound = 15s;
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroying the worker" : "its owner's terminate request");
        SimMFCPeer peer;
        WorkerTestEnvironment env;
        peer.server->SetSilent(true);
        auto worker = std::make_unique<TMFCThread>();
        Prepare(*worker, peer, 50, 8);
        // Quick looks for the worker's own exchanges; the initialisation's one-off exchanges
        // keep their 2.5 s timeout.
        worker->MFC->aPort.fWindowsReadLoopTimeoutMS = 50;
        worker->MFC->aPort.fReadoutTimeoutMS = 300;
        worker->Start();
        ASSERT_TRUE(env.ServeUntil([&] { return !peer.Commands().empty(); }))
            << "waited for the initialisation's first command";

        if (destroy) {
            auto destroyed = std::async(std::launch::async, [&worker] { worker.reset(); });
            EXPECT_EQ(destroyed.wait_for(Bound), std::future_status::ready)
                << "the worker was not destroyed within 15 s; commands: "
                << ::testing::PrintToString(peer.CommandsFrom(0));
            destroyed.wait();
        } else {
            worker->GUIOut.ToTerminate = true;
            EXPECT_TRUE(env.ServeUntil([&] { return worker->GUIIn.IsTerminated; }, Bound));
            worker.reset();
        }
        const Commands commands = peer.CommandsFrom(0);
        EXPECT_EQ(CountOf(commands, "ADCU 2 7"), 0) << "the initialisation ran its course";
        EXPECT_EQ(CountOf(commands, "A0"), TMFCThread::MaxFailedTerminateLoops);
        EXPECT_EQ(CountOf(commands, "AG 8"), 0) << "no gas change while stopping";
    }
}

// A closed gate lets the worker go as well: it stops its controller and ends on its own.
TEST(MFCThreadSafeStop, ClosedGateEndsTheWorkerWithItsControllerAtZero) {
    SimMFCPeer peer;
    WorkerTestEnvironment env;
    TMFCThread worker;
    Prepare(worker, peer, 50);
    worker.Start();
    const auto watched = WatchWorker(worker);
    ASSERT_TRUE(env.ServeUntil([&] {
        return worker.GUIIn.DeviceStatus.SetpointFromDevice == 32000;
    })) << "waited for the controller to report 32000 counts; last seen "
        << worker.GUIIn.DeviceStatus.SetpointFromDevice;
    ASSERT_TRUE(WaitsInHandOver(env.gate.queue));

    env.gate.queue.Close();
    worker.Join();
    EXPECT_TRUE(worker.ThreadOut.IsTerminated);
    EXPECT_TRUE(worker.ThreadOut.SafeStopConfirmed);
    EXPECT_EQ(peer.SetpointCounts(), 0);
}

} // namespace
