#pragma once
// The worker that keeps one MFC on the gas and setpoint the main thread asks for and reports the
// controller's status back. It does all serial traffic of its controller.
//
// Thread contract. The worker and the main thread meet only in DataExchange, which the worker
// runs on the main thread through the main-thread gate once per loop and waits for:
//   GUIIn, GUIOut      main thread only (and DataExchange)
//   ThreadIn, ThreadOut worker only (and DataExchange, while the worker waits for it)
// Everything else (MFC, Name, ThreadID, Simulated) is set before Start() and then left alone.
// Whoever waits on the main thread for a worker must keep serving the gate, or the worker stays
// blocked in its hand-over.
//
// Life cycle: construct, set MFC/Name/ThreadID/Simulated, Start(). To stop, set
// GUIOut.ToTerminate and serve hand-overs until GUIIn.IsTerminated; then Join() or destroy. A real
// controller is sent setpoint 0 on every loop until a status read confirms it answers; when it
// stays mute, the worker gives up after MaxFailedTerminateLoops such loops.
#include "mfc/AlicatMFC.h"

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>

struct TThreadData {
    bool IsTerminated = false; // the worker has stopped its device and leaves its loop
    bool ToTerminate = false;  // the main thread asks the worker to stop
    TAlicatData DeviceStatus;  // request (Setpoint_pct, GasID) one way, status the other
    std::string DeviceStatusRaw;
};

class TMFCThread {
public:
    // Terminate loops without a confirming status read after which the worker stops anyway, so
    // that a shutdown ends even with a controller that never answers again.
    static constexpr int MaxFailedTerminateLoops = 3;

    TMFCThread();
    // Asks a still running worker to stop without further hand-overs (it still tries setpoint 0)
    // and joins it. A worker already waiting in a hand-over needs that one served first, so the
    // usual way is to stop it through GUIOut.ToTerminate beforehand.
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
    void HandOver();
    void SimulatedLoop(std::mt19937& random);
    void ControllerLoop(int& failedTerminateLoops);

    std::jthread thread_;
};
