#include "MFCWorkerFixture.h"
#include "WorkerTestSupport.h"

#include <gtest/gtest.h>

namespace {

// Lines an initialisation leaves in the journal: seven steps, each followed by an empty line.
constexpr std::size_t InitLines = 14;

TEST(MFCThread, KeepsGasAndSetpointAndStopsTheControllerAtZero) {
    SimMFCPeer peer;
    WorkerTestEnvironment env;
    TMFCThread worker;
    Prepare(worker, peer, 50, 8);
    worker.Start();
    const auto watched = WatchWorker(worker);

    const TAlicatData& seen = worker.GUIIn.DeviceStatus;
    ASSERT_TRUE(env.ServeUntil([&] { return seen.SetpointFromDevice == 32000; }));
    EXPECT_EQ(peer.Gas(), 8);
    EXPECT_GT(seen.MaxFlowgpm, 0);
    // First loop: gas and full scale, status (still setpoint 0), setpoint; then reads only.
    ASSERT_TRUE(env.ServeHandOvers(3));
    Commands after = peer.CommandsFrom(InitLines);
    ASSERT_GE(after.size(), 4u);
    EXPECT_EQ(Commands(after.begin(), after.begin() + 4),
              (Commands{"AG 8", "AFPF 37 67", "A", "A32000"}));
    EXPECT_EQ(CountOf(after, "A32000"), 1);
    EXPECT_EQ(CountOf(after, "AG 8"), 1);

    // Someone turns the setpoint on the controller: the read-back differs, the worker restores it.
    peer.server->WithInstrument(
        [&](TSimInstrument& mfc) { return mfc.HandleCommand("A31999", peer.server->Now_s()); });
    ASSERT_TRUE(
        env.ServeUntil([&] { return CountOf(peer.CommandsFrom(InitLines), "A32000") == 2; }));
    EXPECT_EQ(peer.SetpointCounts(), 32000);

    // A status code that stays on a healthy controller until someone clears it holds nothing
    // back: a new setpoint and then the 0 of a stop reach the controller while it reports it.
    std::string error;
    ASSERT_TRUE(peer.server->SetStatusCodes({"TMF"}, error)) << error;
    ASSERT_TRUE(env.ServeUntil([&] { return seen.ErrorFlags.Contains(TAlicatError::TMF); }));
    worker.GUIOut.DeviceStatus.Setpoint_pct = 30;
    ASSERT_TRUE(env.ServeUntil([&] { return seen.SetpointFromDevice == 19200; }));
    worker.GUIOut.DeviceStatus.Setpoint_pct = 0;
    ASSERT_TRUE(env.ServeUntil([&] { return seen.SetpointFromDevice == 0; }));
    EXPECT_EQ(peer.SetpointCounts(), 0);
    EXPECT_TRUE(seen.ErrorFlags.Contains(TAlicatError::TMF));
    ASSERT_TRUE(peer.server->SetStatusCodes({}, error));

    // A request between two counts is written once, as the whole count the controller holds.
    worker.GUIOut.DeviceStatus.Setpoint_pct = 12.34567; // 7901.2288 counts
    ASSERT_TRUE(env.ServeUntil([&] { return seen.SetpointFromDevice == 7901; }));
    ASSERT_TRUE(env.ServeHandOvers(3));
    EXPECT_EQ(CountOf(peer.CommandsFrom(InitLines), "A7901"), 1);

    // Stop: setpoint 0 first, then the status read that ends the loop.
    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(env.ServeUntil([&] { return worker.GUIIn.IsTerminated; }));
    worker.Join();
    after = peer.CommandsFrom(InitLines);
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(Commands(after.end() - 2, after.end()), (Commands{"A0", "A"}));
    EXPECT_EQ(peer.SetpointCounts(), 0);
    EXPECT_TRUE(worker.GUIIn.SafeStopConfirmed);
}

TEST(MFCThread, RidesOutASilentGarbledOrUnpluggedController) {
    SimMFCPeer peer;
    WorkerTestEnvironment env;
    TMFCThread worker;
    Prepare(worker, peer, 25, 0);
    worker.Start();
    const auto watched = WatchWorker(worker);

    const TAlicatData& seen = worker.GUIIn.DeviceStatus;
    ASSERT_TRUE(env.ServeUntil([&] { return seen.SetpointFromDevice == 16000; }));
    const std::string readFailed = "ThreadMFC|COM7 ReadStatus failed";
    auto statusReads = [&] { return CountOf(peer.CommandsFrom(InitLines), "A"); };
    auto freshStatusAfter = [&](double time) {
        return env.ServeUntil([&] { return seen.DataTime > time; });
    };

    // Silent: the worker keeps asking.
    peer.server->SetSilent(true);
    int reads = statusReads();
    ASSERT_TRUE(env.ServeUntil([&] { return statusReads() >= reads + 2; }));
    EXPECT_GE(env.diagnostics.Count(readFailed), 1);
    EXPECT_FALSE(worker.GUIIn.IsTerminated);
    peer.server->SetSilent(false);
    ASSERT_TRUE(freshStatusAfter(seen.DataTime));

    // Garbled status lines count as failed reads and end nothing.
    const int failedBefore = env.diagnostics.Count(readFailed);
    peer.server->SetGarble(true);
    reads = statusReads();
    ASSERT_TRUE(env.ServeUntil([&] { return statusReads() >= reads + 3; }));
    EXPECT_GT(env.diagnostics.Count(readFailed), failedBefore);
    peer.server->SetGarble(false);
    ASSERT_TRUE(freshStatusAfter(seen.DataTime));

    // Unplugged: every exchange fails at once with its status text; plugged in again, the
    // worker carries on where it was.
    const int setupFailures =
        env.diagnostics.Count("MFC|Fail: Failed to setup Com port, port in use");
    peer.server->Unplug();
    ASSERT_TRUE(env.ServeUntil([&] {
        return env.diagnostics.Count("MFC|Fail: Failed to setup Com port, port in use") >=
               setupFailures + 2;
    }));
    EXPECT_FALSE(worker.GUIIn.IsTerminated);
    std::string error;
    ASSERT_TRUE(peer.server->Plug(peer.port, error)) << error;
    ASSERT_TRUE(freshStatusAfter(seen.DataTime));
    EXPECT_EQ(seen.SetpointFromDevice, 16000);

    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(env.ServeUntil([&] { return worker.GUIIn.IsTerminated; }));
    worker.Join();
    EXPECT_EQ(peer.SetpointCounts(), 0);
}

TEST(MFCThread, GivesUpStoppingAControllerThatNeverAnswersAgain) {
    SimMFCPeer peer;
    WorkerTestEnvironment env;
    TMFCThread worker;
    Prepare(worker, peer, 50, 0);
    worker.Start();
    const auto watched = WatchWorker(worker);
    ASSERT_TRUE(env.ServeUntil([&] { return worker.GUIIn.DeviceStatus.DataTime > 0; }));

    peer.server->SetSilent(true);
    const std::size_t mark = peer.Commands().size();
    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(env.ServeUntil([&] { return worker.GUIIn.IsTerminated; }));
    worker.Join();
    // Every terminate loop tried setpoint 0 before its status read; the worker stopped after a
    // bounded number of them.
    const Commands after = peer.CommandsFrom(mark);
    EXPECT_EQ(CountOf(after, "A0"), TMFCThread::MaxFailedTerminateLoops);
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(Commands(after.end() - 2, after.end()), (Commands{"A0", "A"}));
    const auto firstZero = std::find(after.begin(), after.end(), "A0");
    EXPECT_EQ(std::count(firstZero, after.end(), "A"), TMFCThread::MaxFailedTerminateLoops);
    EXPECT_FALSE(worker.GUIIn.SafeStopConfirmed);
}

} // namespace
