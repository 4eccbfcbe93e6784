// Starting, stopping and freeing device workers through the device list, with simulated
// instruments on real pseudo-terminals and the test's main thread serving the hand-overs.
#include "mfc/SimMFCPeer.h"
#include "mfc/WorkerTestSupport.h"
#include "pump/PSD4_InterfaceTestRig.h"

#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/DeviceWorkers.h"
#include "registry/Orvello_DeviceInfo.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

// Gives the test its own device list and stops whatever workers it leaves behind.
class DeviceWorkers : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = DevicesLocal;
        DevicesLocal.clear();
    }
    void TearDown() override {
        StopAllWorkers(env.gate.queue, 60s);
        DevicesLocal = saved_;
    }

    TDeviceInfo Device(const std::string& port, tDeviceType type, const std::string& name) {
        TDeviceInfo device;
        device.COMPort = port;
        device.DevType = type;
        device.NameRole = name;
        DevicesLocal.push_back(device);
        return device;
    }
    // What "Apply configuration" does: start on a copy, store the copy.
    void Start(TDeviceInfo& device) {
        ASSERT_TRUE(device.StartThread());
        ASSERT_TRUE(StoreDevice(device));
    }

    WorkerTestEnvironment env;

private:
    std::vector<TDeviceInfo> saved_;
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(DeviceWorkers, StartThreadOnADeviceWithAWorkerStartsNothing) {
    TMFCThread mfcWorker;
    TPSD4Thread pumpWorker;
    for (const tDeviceType type : {dtMFCA, dtMFCDemo, dtPump}) {
        for (const bool mfc : {true, false}) {
            TDeviceInfo device = Device("COM9", type, "Set 1");
            if (mfc)
                device.ThreadMFC = &mfcWorker;
            else
                device.ThreadPump = &pumpWorker;
            EXPECT_FALSE(device.StartThread()) << type << mfc;
            EXPECT_EQ(device.ThreadMFC, mfc ? &mfcWorker : nullptr);
            EXPECT_EQ(device.ThreadPump, mfc ? nullptr : &pumpWorker);
        }
    }
    EXPECT_EQ(env.diagnostics.Count("DeviceInfo|Create thread: COM9 - COM9"), 0);
    EXPECT_EQ(env.diagnostics.Count("DeviceInfo|Create thread: Set 1"), 0);
    DevicesLocal.clear();
}

TEST_F(DeviceWorkers, TheDemoDeviceGetsASimulatedWorkerThatNeverTouchesItsPort) {
    // The demo device is put on a live simulated controller's port to prove it stays silent.
    SimMFCPeer peer;
    TDeviceInfo device = Device(peer.port, dtMFCDemo, "Demo");
    Start(device);

    TMFCThread* worker = DevicesLocal[0].ThreadMFC;
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(worker->Simulated);
    EXPECT_EQ(worker->Name, peer.port);
    EXPECT_EQ(worker->ThreadID, peer.port);
    EXPECT_EQ(worker->MFC->aPort.fPort, peer.port);
    EXPECT_EQ(worker->MFC->aPort.fBaudRate, 19200);
    EXPECT_EQ(worker->MFC->GasID, -1);
    EXPECT_EQ(env.diagnostics.Count("DeviceInfo|Create thread: " + peer.port + " - " + peer.port),
              1);
    EXPECT_EQ(ActiveThreadCount(), 1);
    // A second start on a copy of the stored record refuses.
    TDeviceInfo copy;
    ASSERT_TRUE(FindDeviceByPort(peer.port, copy));
    EXPECT_FALSE(copy.StartThread());
    EXPECT_EQ(copy.ThreadMFC, worker);

    ASSERT_TRUE(env.ServeUntil([&] { return worker->GUIIn.DeviceStatus.DataTime > 0; }, 10s));

    // A bound that passes before the worker could stop leaves it in place for a later call.
    EXPECT_FALSE(StopAllWorkers(env.gate.queue, 0ms));
    EXPECT_EQ(DevicesLocal[0].ThreadMFC, worker);
    EXPECT_EQ(ActiveThreadCount(), 1);

    std::vector<int> progress;
    EXPECT_TRUE(
        StopAllWorkers(env.gate.queue, 10s, [&](int active) { progress.push_back(active); }));
    EXPECT_EQ(DevicesLocal[0].ThreadMFC, nullptr);
    EXPECT_EQ(ActiveThreadCount(), 0);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 0);
    EXPECT_TRUE(peer.Commands().empty());

    // Once freed, the device can get a new worker.
    device = DevicesLocal[0];
    Start(device);
    EXPECT_EQ(ActiveThreadCount(), 1);
}

TEST_F(DeviceWorkers, TerminateBringsEveryDeviceToASafeStateAndFreesItsWorker) {
    SimMFCPeer mfcA;
    SimMFCPeer mfcB;
    TPumpTestRig pumpRig(10.0);
    TDeviceInfo a = Device(mfcA.port, dtMFCA, "Set 1 MFC A");
    TDeviceInfo b = Device(mfcB.port, dtMFCB, "Set 1 MFC B");
    TDeviceInfo pump = Device(pumpRig.Port(), dtPump, "Set 1 Humidifier");
    Start(a);
    Start(b);
    Start(pump);
    EXPECT_TRUE(Contains(pumpRig.Received(), "/1ZN1R\\r"));
    EXPECT_EQ(env.diagnostics.Count("DeviceInfo|Create thread: Set 1 Humidifier"), 1);
    EXPECT_EQ(ActiveThreadCount(), 3);

    // Running devices: both MFCs at half scale, the pump dispensing.
    TMFCThread* workerA = DevicesLocal[0].ThreadMFC;
    TMFCThread* workerB = DevicesLocal[1].ThreadMFC;
    TPSD4Thread* workerPump = DevicesLocal[2].ThreadPump;
    ASSERT_TRUE(workerA && workerB && workerPump);
    workerA->GUIOut.DeviceStatus.Setpoint_pct = 50;
    workerB->GUIOut.DeviceStatus.Setpoint_pct = 50;
    workerPump->GUIOut.Command = "gIV6000A24000OV82A0GR";
    workerPump->GUIOut.Setpoint = 0.4;
    ASSERT_TRUE(env.ServeUntil([&] {
        return mfcA.SetpointCounts() == 32000 && mfcB.SetpointCounts() == 32000 &&
               pumpRig.Server().State().Busy;
    }));

    const std::size_t markA = mfcA.Commands().size();
    const std::size_t markB = mfcB.Commands().size();
    const std::size_t markPump = pumpRig.Received().size();
    MarkThreadsToStop();
    EXPECT_TRUE(workerA->GUIOut.ToTerminate && workerB->GUIOut.ToTerminate &&
                workerPump->GUIOut.ToTerminate);
    ASSERT_TRUE(env.ServeUntil([] { return ActiveThreadCount() == 0; }));

    EXPECT_TRUE(Contains(mfcA.CommandsFrom(markA), "A0"));
    EXPECT_TRUE(Contains(mfcB.CommandsFrom(markB), "A0"));
    EXPECT_EQ(mfcA.SetpointCounts(), 0);
    EXPECT_EQ(mfcB.SetpointCounts(), 0);
    EXPECT_TRUE(Contains(pumpRig.ReceivedSince(markPump), "/1T\\r"));
    EXPECT_FALSE(pumpRig.Server().State().Busy);

    EXPECT_EQ(FreeTerminatedWorkers(), 3);
    for (const TDeviceInfo& device : DevicesLocal) {
        EXPECT_EQ(device.ThreadMFC, nullptr);
        EXPECT_EQ(device.ThreadPump, nullptr);
    }
    EXPECT_EQ(FreeTerminatedWorkers(), 0);
    EXPECT_EQ(env.diagnostics.Count("ThreadPUMP|Destroy thread: Set 1 Humidifier"), 1);
}

// The shutdown names every device whose worker could not confirm it safe, and only those.
TEST_F(DeviceWorkers, StopNamesTheDevicesNotConfirmedSafe) {
    SimMFCPeer obeying;
    SimMFCPeer stubborn;
    TDeviceInfo a = Device(obeying.port, dtMFCA, "Set 1 MFC A");
    TDeviceInfo b = Device(stubborn.port, dtMFCB, "Set 1 MFC B");
    TDeviceInfo demo = Device("COM0", dtMFCDemo, "Demo");
    Start(a);
    Start(b);
    Start(demo);
    TMFCThread* workerA = DevicesLocal[0].ThreadMFC;
    TMFCThread* workerB = DevicesLocal[1].ThreadMFC;
    ASSERT_TRUE(workerA && workerB);
    workerA->GUIOut.DeviceStatus.Setpoint_pct = 50;
    workerB->GUIOut.DeviceStatus.Setpoint_pct = 50;
    ASSERT_TRUE(env.ServeUntil(
        [&] { return obeying.SetpointCounts() == 32000 && stubborn.SetpointCounts() == 32000; }));

    // This controller acknowledges setpoint 0 but keeps reporting 32000 counts.
    stubborn.server->WithInstrument(
        [](TSimInstrument& mfc) { static_cast<TSimMFC&>(mfc).SetIgnoreSetpoints(true); });
    std::vector<std::string> unconfirmed;
    EXPECT_TRUE(StopAllWorkers(env.gate.queue, 120s, {},
                               [&](const std::string& port) { unconfirmed.push_back(port); }));
    EXPECT_EQ(unconfirmed, std::vector<std::string>{stubborn.port});
    EXPECT_EQ(env.diagnostics.Count("DeviceInfo|" + UnconfirmedStopLine(stubborn.port)), 1);
    EXPECT_EQ(UnconfirmedStopLine("COM3"),
              "Stop not confirmed on COM3: the device may still be running");
    EXPECT_EQ(obeying.SetpointCounts(), 0);
    EXPECT_EQ(ActiveThreadCount(), 0);
}

// Workers that never run stand in for running and ended ones: only the records' references and
// the hand-over records matter here.
TEST_F(DeviceWorkers, WorkerQueriesTellConfiguredFromStillRunning) {
    TMFCThread running;
    TPSD4Thread pumping;
    TMFCThread ended;
    ended.GUIIn.IsTerminated = true;
    // Cleared before the workers go, so the fixture's stop finds none of them.
    struct TClearList {
        ~TClearList() { DevicesLocal.clear(); }
    } clearList;
    Device("COM1", dtMFCA, "Set 1 MFC A");
    Device("COM2", dtPump, "Set 1 Humidifier");
    Device("COM3", dtMFCB, "Set 1 MFC B");
    Device("COM4", dtMFCDemo, "Demo");
    DevicesLocal[0].ThreadMFC = &running;
    DevicesLocal[1].ThreadPump = &pumping;
    DevicesLocal[3].ThreadMFC = &ended;

    const bool hasWorker[] = {true, true, false, true};
    const bool hasActiveWorker[] = {true, true, false, false};
    for (std::size_t i = 0; i < DevicesLocal.size(); ++i) {
        EXPECT_EQ(HasWorker(DevicesLocal[i]), hasWorker[i]) << i;
        EXPECT_EQ(HasActiveWorker(DevicesLocal[i]), hasActiveWorker[i]) << i;
    }
    const std::vector<TActiveWorker> active = ActiveWorkers();
    ASSERT_EQ(active.size(), 2u);
    EXPECT_EQ(active[0].Port, "COM1");
    EXPECT_EQ(active[0].Name, "Set 1 MFC A");
    EXPECT_EQ(active[1].Port, "COM2");
    EXPECT_EQ(active[1].Name, "Set 1 Humidifier");
    EXPECT_EQ(ActiveThreadCount(), 2);
}

// The engine sends nothing to an idle device, so the stop itself must reach the worker's request.
TEST_F(DeviceWorkers, StopDeviceOutputWritesTheZeroIntoTheWorkersRequest) {
    TMFCThread mfcWorker;
    TPSD4Thread pumpWorker;
    mfcWorker.GUIOut.DeviceStatus.Setpoint_pct = 50;
    pumpWorker.GUIOut.Command = "gIV6000A24000OV82A0GR";
    pumpWorker.GUIOut.Setpoint = 0.4;
    TDeviceInfo mfc;
    mfc.ThreadMFC = &mfcWorker;
    TDeviceInfo pump;
    pump.DevType = dtPump;
    pump.ThreadPump = &pumpWorker;
    TDeviceInfo unconfigured;
    for (TDeviceInfo* device : {&mfc, &pump, &unconfigured}) {
        device->ControlMode = dcmSegment;
        device->Setpoint_pct = 40;
        device->SegmentProgram = "1 40 Step\r\n";
        StopDeviceOutput(*device);
        EXPECT_EQ(device->ControlMode, dcmIdle);
        EXPECT_EQ(device->Setpoint_pct, 0);
        EXPECT_EQ(device->SegmentProgram, "1 40 Step\r\n") << "the program stays for a restart";
    }
    EXPECT_EQ(mfcWorker.GUIOut.DeviceStatus.Setpoint_pct, 0);
    EXPECT_EQ(pumpWorker.GUIOut.Command, "TR");
    EXPECT_EQ(pumpWorker.GUIOut.Setpoint, 0);
}

} // namespace
