// The pump worker without a pump: it must neither spin nor hold a shutdown forever.
#include "pump/PSD4_Thread.h"
#include "platform/MainThreadGate.h"
#include "platform/RecordingMessages.h"
#include "support/ExplainedWait.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

// Installs a gate this test's main thread serves, for the lifetime of the object.
struct ScopedGate {
    ScopedGate() { SetMainThreadGate(&gate); }
    ~ScopedGate() { SetMainThreadGate(nullptr); }
    QueueMainThreadGate gate;
};

} // namespace

TEST(PSD4Thread, WorkerWhosePumpNeverAnsweredEndsAfterItsGiveUpTime) {
    ScopedRecordingMessages messages;
    ScopedGate scoped;
    TPSD4Thread worker;
    worker.Name = "Pump";
    worker.Pump = std::make_unique<TPSD4>(); // never connected: it sends nothing
    worker.IdleSleep_ms = 20;
    worker.TerminateGiveUp_s = 0.5;
    worker.GUIOut.Command = "gIV6000A24000OV82A0GR";
    worker.GUIOut.Setpoint = 0.4;
    worker.Start();

    int exchanges = 0;
    const auto counting = [&] {
        exchanges += scoped.gate.ServePending();
        return false;
    };
    scoped.gate.ServeUntil(counting, 400ms);
    // Unsendable requests pause like idle passes instead of spinning the hand-over.
    EXPECT_LE(exchanges, 400 / 20 + 2);
    EXPECT_EQ(worker.GUIIn.Setpoint, 0.0);
    EXPECT_FALSE(worker.GUIIn.IsTerminated);

    const auto start = std::chrono::steady_clock::now();
    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(ServeUntilExplained(
        scoped.gate, [&] { return worker.GUIIn.IsTerminated; }, 30s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
    worker.Join();
    EXPECT_EQ(worker.GUIIn.aMessage, "Failed to terminate");
    EXPECT_NE(worker.GUIIn.Command, "TR");
    EXPECT_EQ(worker.Pump->LastCommand, "");
    EXPECT_TRUE(messages.recorder.Messages().empty());
}
