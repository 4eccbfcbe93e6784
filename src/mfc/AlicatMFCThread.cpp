#include "mfc/AlicatMFCThread.h"

#include "mfc/AlicatProtocol.h"

#include "platform/Clock.h"
#include "platform/Diagnostics.h"
#include "platform/MainThreadGate.h"
#include "program/NumberFormat.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace {

constexpr const char* Category = "ThreadMFC";
// Read-back and request agree when they differ by no more than one 64000th of a count.
constexpr double SetpointTolerance = 1.5625e-5;
// A port that fails at once (unplugged adapter) would otherwise turn the loop into a busy spin
// of hand-overs; a failed read is retried no faster than a silent controller would allow.
constexpr auto FailedLoopMinimum = std::chrono::milliseconds(1000);

} // namespace

TMFCThread::TMFCThread() = default;

TMFCThread::~TMFCThread() {
    Diagnostic(Category, "Destroy thread: " + Name);
    // A worker still running here is not being served any more: the stop request makes it bring
    // its controller to setpoint 0 without asking for further hand-overs.
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

void TMFCThread::Start() {
    if (!thread_.joinable())
        thread_ = std::jthread([this](std::stop_token stop) { Execute(stop); });
}

void TMFCThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

void TMFCThread::DataExchange() {
    GUIIn = ThreadOut;
    ThreadIn = GUIOut;
}

bool TMFCThread::HandOver(std::stop_token stop) {
    return GetMainThreadGate().RunOnMainThread([this] { DataExchange(); }, stop);
}

void TMFCThread::Execute(std::stop_token stop) {
    // Hands over and tells whether the worker is to stop. Nobody serves the gate any more, or
    // the worker's owner asked it to stop: the controller still goes to setpoint 0.
    const auto toTerminate = [&] {
        if (stop.stop_requested() || !HandOver(stop))
            ThreadIn.ToTerminate = true;
        return ThreadIn.ToTerminate;
    };
    // Asked before each step, so a stop ends the initialisation at its next exchange instead of
    // after up to seven (19 s against a silent controller); the loop below then sends the 0.
    if (!Simulated && MFC)
        MFC->Initialize(TAIOrvello, toTerminate);
    std::mt19937 random{std::random_device{}()};
    int failedTerminateLoops = 0;
    while (!ThreadOut.IsTerminated) {
        toTerminate();
        if (Simulated || !MFC)
            SimulatedLoop(random);
        else
            ControllerLoop(failedTerminateLoops);
    }
    if (!stop.stop_requested())
        HandOver(stop); // lets the main thread see IsTerminated
}

void TMFCThread::SimulatedLoop(std::mt19937& random) {
    Diagnostic(Category, Name + " Simulated ");
    GetClock().Sleep(std::uniform_int_distribution<int>(500, 999)(random));
    ThreadOut.DeviceStatus.DataTime = GetClock().Now();
    ThreadOut.DeviceStatus.FlowRate_mass =
        std::uniform_int_distribution<int>(0, 999)(random) / 1000.0;
    if (ThreadIn.ToTerminate) {
        ThreadOut.IsTerminated = true;
        ThreadOut.SafeStopConfirmed = true;
    }
}

void TMFCThread::ControllerLoop(int& failedTerminateLoops) {
    const auto loopStart = std::chrono::steady_clock::now();
    TAlicatData& request = ThreadIn.DeviceStatus;
    if (ThreadIn.ToTerminate) {
        request.Setpoint_pct = 0;
        MFC->ApplySetpoint_pct(request);
    } else {
        // A stopping controller needs its 0 read back, not a gas: against a silent controller
        // the gas change and its full-scale read would add four exchanges to every terminate
        // loop and hold the stop's end for seconds.
        MFC->ChangeGas(request);
    }

    TAlicatData status;
    // A line the driver could not parse leaves DataTime at 0. Such a line says nothing about
    // the controller, so it counts as a failed read: no fresh status with made-up zeros reaches
    // the main thread, and no setpoint is compared against it.
    const bool read = MFC->ReadStatus(status) && status.DataTime != 0;
    const auto giveUpAfterBound = [&] {
        if (++failedTerminateLoops < MaxFailedTerminateLoops)
            return false;
        Diagnostic(Category, Name + " Setpoint 0 not confirmed, giving up");
        ThreadOut.IsTerminated = true;
        ThreadOut.SafeStopConfirmed = false;
        return true;
    };
    if (!read) {
        Diagnostic(Category, Name + " ReadStatus failed");
        if (ThreadIn.ToTerminate && giveUpAfterBound())
            return;
        std::this_thread::sleep_until(loopStart + FailedLoopMinimum);
    } else {
        Diagnostic(Category, Name + " Status read OK ");
        ThreadOut.DeviceStatus = status;
        ThreadOut.DeviceStatus.DataTime = GetClock().Now();
        ThreadOut.DeviceStatus.MaxFlowgpm = MFC->MaxFlow_gpm;
        if (ThreadIn.ToTerminate) {
            // Only the controller's own read-back of setpoint 0 makes the stop safe; one that
            // acknowledged "A0" but holds its setpoint is sent 0 again.
            if (std::abs(status.SetpointFromDevice) <= SetpointTolerance) {
                ThreadOut.IsTerminated = true;
                ThreadOut.SafeStopConfirmed = true;
                return;
            }
            Diagnostic(Category, Name + " Setpoint still " +
                                     FormatGeneralDot(status.SetpointFromDevice) +
                                     " after setpoint 0");
            giveUpAfterBound();
            return;
        }
        // Status codes do not hold the setpoint back. Several of them (LCK, OVR, TMF) stay on a
        // healthy controller until someone clears them, and a worker that waited for that would
        // never deliver a new setpoint, not even the 0 of a stop. The main thread reports the
        // codes to the operator (engine/StatusCodeWatch.h).
        std::string desc;
        if (ThreadOut.DeviceStatus.Errors(desc))
            Diagnostic(Category, Name + " Errors: " + desc);
        else
            Diagnostic(Category, Name + " No errors");
        Diagnostic(Category, Name + " Main loop, Device setpoint: " +
                                 FormatGeneralDot(ThreadOut.DeviceStatus.SetpointFromDevice));
        Diagnostic(Category, Name + " Main loop, Desired setpoint: " +
                                 FormatGeneralDot(request.Setpoint_pct * 640));
        // Compared with the counts a setpoint command would carry: the controller holds whole
        // counts, so a request between two counts would otherwise be re-sent on every loop.
        const double wanted = SetpointCounts(request.Setpoint_pct);
        if (std::abs(ThreadOut.DeviceStatus.SetpointFromDevice - wanted) <= SetpointTolerance)
            Diagnostic(Category, Name + " Setpoint data upto date");
        else
            MFC->ApplySetpoint_pct(request);
    }
    Diagnostic(Category, "In loop port:" + MFC->aPort.fPort);
}
