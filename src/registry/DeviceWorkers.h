#pragma once
// Stopping and freeing the workers of the devices in DevicesLocal. Main thread only: these touch
// the main-thread side of each worker (GUIIn, GUIOut), which the workers' hand-overs also reach
// only on the main thread.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

class QueueMainThreadGate;
struct TDeviceInfo;

// Asks every worker of DevicesLocal to stop; each picks the request up at its next hand-over.
void MarkThreadsToStop();
// Workers (MFC and pump) in DevicesLocal whose last hand-over has not yet delivered IsTerminated.
int ActiveThreadCount();
// True when the device has a worker whose last hand-over has not yet delivered IsTerminated.
bool HasActiveWorker(const TDeviceInfo& device);
// The devices of DevicesLocal with such a worker, in list order, for naming them to the operator.
struct TActiveWorker {
    std::string Port;
    std::string Name; // the device's NameRole
};
std::vector<TActiveWorker> ActiveWorkers();

// Stops what the device delivers: idle, setpoint 0, and the zero (an MFC's setpoint, a pump's
// "TR") written straight into its worker's request, since the engine sends nothing to an idle
// device and the instrument would keep its last setpoint. The caller stores the record back.
void StopDeviceOutput(TDeviceInfo& device);
// Called with the device's port for every worker freed that ended without confirming its
// device safe (an MFC that never read back setpoint 0, a pump that never acknowledged its stop).
using TUnconfirmedStop = std::function<void(const std::string& port)>;
// The log line for such a device; with its name when one is given.
std::string UnconfirmedStopLine(const std::string& port, const std::string& name = {});

// Joins and frees, from the last device to the first, every worker that has reported itself
// terminated, and clears every reference to it in DevicesLocal; returns how many were freed.
// Workers still active are left alone: joining one would wait for a hand-over nobody serves.
// Each worker freed without a confirmed safe stop goes to the diagnostics ("DeviceInfo") with
// UnconfirmedStopLine and to unconfirmed.
int FreeTerminatedWorkers(const TUnconfirmedStop& unconfirmed = {});

// Serves the workers' hand-overs on the main thread for about the given slice of time.
using TServeHandOvers = std::function<void(std::chrono::milliseconds slice)>;
// Called after every slice of the wait with the number of workers still active.
using TStopProgress = std::function<void(int active)>;

// The whole stop: mark every worker, serve hand-overs in slices of 500 ms until no worker is
// active or the timeout passes, then free the terminated workers. True when every worker stopped
// and was freed; a worker still active at the timeout keeps its device reference (and keeps
// counting in ActiveThreadCount), so a later call can finish the job.
// Workers that ended without a confirmed safe stop count as stopped and freed, and are named to
// unconfirmed.
bool StopAllWorkers(const TServeHandOvers& serve, std::chrono::milliseconds timeout,
                    const TStopProgress& progress = {}, const TUnconfirmedStop& unconfirmed = {});
// The same for programs whose workers hand over through a QueueMainThreadGate.
bool StopAllWorkers(QueueMainThreadGate& gate, std::chrono::milliseconds timeout,
                    const TStopProgress& progress = {}, const TUnconfirmedStop& unconfirmed = {});
