#pragma once
// The worker that keeps one MFC on the gas and setpoint the main thread asks for and reports the
// controller's status back. It does all serial traffic of its controller.
//
// Thread contract. The worker and the main thread meet only in DataExchange, which the worker
// runs on the main thread through the main-thread gate once per loop and waits for:
//   GUIIn, GUIOut      main thread only (and DataExchange)
//   ThreadIn, ThreadOut worker only (and DataExchange, while the worker waits for it)
// Everything else (MFC, Name, ThreadID, Simulated) is set before Start() and then left alone.
// The worker also hands over before each step of its controller's initialisation, so that a
// stop asked for meanwhile ends the initialisation at its next exchange; until the first status
// read the main thread receives an empty status.
// Whoever waits on the main thread for a worker must keep serving the gate, or the worker stays
// blocked in its hand-over until the gate lets it go unserved (the gate is closed, or the
// destructor requests the worker's stop). A hand-over that was not served counts as a stop
// request: the worker brings its controller to setpoint 0 and ends without further hand-overs.
//
// Life cycle: construct, set MFC/Name/ThreadID/Simulated, Start(). To stop, set
// GUIOut.ToTerminate and serve hand-overs until GUIIn.IsTerminated; then Join() or destroy.
//
// Safe stop: a real controller is sent setpoint 0 on every loop (and no gas change) until a
// status read reports setpoint 0; then the worker ends with ThreadOut.SafeStopConfirmed set. When
// the controller stays mute, or keeps reporting another setpoint, the worker ends after
// MaxFailedTerminateLoops such loops with SafeStopConfirmed false and the diagnostic "<Name>
// Setpoint 0 not confirmed, giving up"; the shutdown reads GUIIn.SafeStopConfirmed and reports the
// port as not confirmed safe. A simulated worker has no hardware to stop and always confirms.
#include "mfc/AlicatMFC.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>

struct TThreadData {
    bool IsTerminated = false; // the worker has stopped its device and leaves its loop
    bool ToTerminate = false;  // the main thread asks the worker to stop
    // With IsTerminated: the controller read back setpoint 0 before the worker ended.
    bool SafeStopConfirmed = false;
    TAlicatData DeviceStatus; // request (Setpoint_pct, GasID) one way, status the other
    std::string DeviceStatusRaw;
};

class TMFCThread {
public:
    // Terminate loops without a status read of setpoint 0 after which the worker stops anyway,
    // unconfirmed, so that a shutdown ends even with a controller that never obeys again.
    static constexpr int MaxFailedTerminateLoops = 3;

    TMFCThread();
    // Asks a still running worker to stop without further hand-overs (it still tries setpoint 0)
    // and joins it. A worker waiting in a hand-over is let go unserved by its stop request, so
    // the join is bounded by the terminate loops.
    ~TMFCThread();
    TMFCThread(const TMFCThread&) = delete;
    TMFCThread& operator=(const TMFCThread&) = delete;

    void Start();
    // Waits for the worker to return; a worker that was never started returns at once.
    void Join();
    // GUIIn := ThreadOut; ThreadIn := GUIOut. Runs on the main thread.
    void DataExchange();

    TThreadData GUIIn;
    TThreadData GUIOut;
    TThreadData ThreadIn;
    TThreadData ThreadOut;
    std::string Name;
    std::string ThreadID;
    std::uint32_t Serial = 0;
    std::unique_ptr<TAlicatMFC> MFC;
    bool Simulated = false;

private:
    void Execute(std::stop_token stop);
    // True when the main thread ran the hand-over.
    bool HandOver(std::stop_token stop);
    void SimulatedLoop(std::mt19937& random);
    void ControllerLoop(int& failedTerminateLoops);

    std::jthread thread_;
};
