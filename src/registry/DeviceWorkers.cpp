#include "registry/DeviceWorkers.h"

#include "mfc/AlicatMFCThread.h"
#include "platform/Diagnostics.h"
#include "platform/MainThreadGate.h"
#include "pump/PSD4_Thread.h"
#include "registry/Orvello_DeviceInfo.h"

#include <algorithm>
#include <memory>
#include <string>

namespace {

const char* const DiagnosticCategory = "DeviceInfo";
constexpr auto StopSlice = std::chrono::milliseconds(500);

bool IsMFCType(tDeviceType type) {
    return type == dtMFCA || type == dtMFCB || type == dtMFCDemo;
}

bool StartMFCWorker(TDeviceInfo& device) {
    auto worker = std::make_unique<TMFCThread>();
    worker->Simulated = device.DevType == dtMFCDemo;
    worker->MFC = std::make_unique<TAlicatMFC>();
    worker->MFC->GasID = -1;
    // Moved in whole: g++ 12 at -O3 warns falsely (-Wrestrict) on assigning the literal.
    worker->MFC->Role = std::string("A");
    worker->MFC->aDeviceID = 'A';
    worker->MFC->aPort.fPort = device.COMPort;
    worker->MFC->aPort.fBaudRate = 19200;
    worker->ThreadID = device.COMPort;
    worker->Name = device.COMPort;
    worker->ThreadIn.IsTerminated = false;
    worker->ThreadIn.ToTerminate = false;
    worker->GUIOut.ToTerminate = false;
    Diagnostic(DiagnosticCategory, "Create thread: " + worker->ThreadID + " - " + worker->Name);
    worker->Start();
    device.ThreadMFC = worker.release();
    return true;
}

bool StartPumpWorker(TDeviceInfo& device) {
    auto worker = std::make_unique<TPSD4Thread>();
    worker->Name = device.NameRole;
    worker->Pump = std::make_unique<TPSD4>();
    // The pump is initialised before its worker exists, so nobody else talks to it meanwhile.
    // A pump that fails here still gets its worker, which reports what goes wrong later.
    worker->Pump->Connect(device.COMPort);
    std::string feedback;
    worker->Pump->Initialize("ZN1R", feedback);
    worker->Pump->WaitUntilFree(15);
    worker->ThreadIn.IsTerminated = false;
    worker->ThreadIn.ToTerminate = false;
    worker->GUIIn.IsTerminated = false;
    worker->GUIOut.ToTerminate = false;
    Diagnostic(DiagnosticCategory, "Create thread: " + worker->Name);
    worker->Start();
    device.ThreadPump = worker.release();
    return true;
}

// Clears every reference to the worker, so no copy in the list can reach it after it is freed.
template <typename TWorker> void ClearReferences(TWorker* worker, TWorker* TDeviceInfo::*field) {
    for (TDeviceInfo& device : DevicesLocal)
        if (device.*field == worker)
            device.*field = nullptr;
}

} // namespace

bool TDeviceInfo::StartThread() {
    if (HasWorker(*this))
        return false;
    if (IsMFCType(DevType))
        return StartMFCWorker(*this);
    if (DevType == dtPump)
        return StartPumpWorker(*this);
    return false;
}

void MarkThreadsToStop() {
    for (TDeviceInfo& device : DevicesLocal) {
        if (device.ThreadMFC)
            device.ThreadMFC->GUIOut.ToTerminate = true;
        if (device.ThreadPump)
            device.ThreadPump->GUIOut.ToTerminate = true;
    }
}

int ActiveThreadCount() {
    int active = 0;
    for (const TDeviceInfo& device : DevicesLocal) {
        if (device.ThreadMFC && !device.ThreadMFC->GUIIn.IsTerminated)
            ++active;
        if (device.ThreadPump && !device.ThreadPump->GUIIn.IsTerminated)
            ++active;
    }
    return active;
}

bool HasActiveWorker(const TDeviceInfo& device) {
    return (device.ThreadMFC && !device.ThreadMFC->GUIIn.IsTerminated) ||
           (device.ThreadPump && !device.ThreadPump->GUIIn.IsTerminated);
}

std::vector<TActiveWorker> ActiveWorkers() {
    std::vector<TActiveWorker> active;
    for (const TDeviceInfo& device : DevicesLocal)
        if (HasActiveWorker(device))
            active.push_back({device.COMPort, device.NameRole});
    return active;
}

void StopDeviceOutput(TDeviceInfo& device) {
    device.ControlMode = dcmIdle;
    device.Setpoint_pct = 0;
    if (device.ThreadMFC)
        device.ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct = 0;
    if (device.ThreadPump) {
        device.ThreadPump->GUIOut.Command = "TR";
        device.ThreadPump->GUIOut.Setpoint = 0;
    }
}

std::string UnconfirmedStopLine(const std::string& port, const std::string& name) {
    return "Stop not confirmed on " + port + (name.empty() ? "" : " - " + name) +
           ": the device may still be running";
}

int FreeTerminatedWorkers(const TUnconfirmedStop& unconfirmed) {
    const auto report = [&](bool confirmed, const std::string& port) {
        if (confirmed)
            return;
        Diagnostic(DiagnosticCategory, UnconfirmedStopLine(port));
        if (unconfirmed)
            unconfirmed(port);
    };
    int freed = 0;
    for (std::size_t i = DevicesLocal.size(); i-- > 0;) {
        if (TMFCThread* worker = DevicesLocal[i].ThreadMFC; worker && worker->GUIIn.IsTerminated) {
            report(worker->GUIIn.SafeStopConfirmed, DevicesLocal[i].COMPort);
            ClearReferences(worker, &TDeviceInfo::ThreadMFC);
            worker->Join();
            delete worker;
            ++freed;
        }
        if (TPSD4Thread* worker = DevicesLocal[i].ThreadPump;
            worker && worker->GUIIn.IsTerminated) {
            report(worker->GUIIn.SafeStopConfirmed, DevicesLocal[i].COMPort);
            ClearReferences(worker, &TDeviceInfo::ThreadPump);
            worker->Join();
            delete worker;
            ++freed;
        }
    }
    return freed;
}

bool StopAllWorkers(const TServeHandOvers& serve, std::chrono::milliseconds timeout,
                    const TStopProgress& progress, const TUnconfirmedStop& unconfirmed) {
    MarkThreadsToStop();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (ActiveThreadCount() > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds::zero())
            break;
        serve(std::min(left, std::chrono::milliseconds(StopSlice)));
        if (progress)
            progress(ActiveThreadCount());
    }
    FreeTerminatedWorkers(unconfirmed);
    return ActiveThreadCount() == 0;
}

bool StopAllWorkers(QueueMainThreadGate& gate, std::chrono::milliseconds timeout,
                    const TStopProgress& progress, const TUnconfirmedStop& unconfirmed) {
    return StopAllWorkers(
        [&gate](std::chrono::milliseconds slice) {
            gate.ServeUntil([] { return ActiveThreadCount() == 0; }, slice);
        },
        timeout, progress, unconfirmed);
}
