#pragma once
// The window's one way to read and write device records. Commands work on copies of the records
// in DevicesLocal and store them back; a copy lives as long as a handler, and while it lives the
// world moves on: a modal box or a waiting command serves events, in which the engine tick runs
// (it sets LastHandled and adds curves), another command stores the same device, or the workers
// are stopped and freed. Storing such a copy whole would roll those changes back, or bring back a
// freed worker. So a copy is taken with Fetch and given back with Store, which keeps what only
// others may change:
//   - the lamp and the two curves (kept here by port; a record only carries pointers to them),
//   - LastHandled, which only the engine tick writes,
//   - the workers: they are started here (StartWorker) and freed only by the stop of the
//     workers, never stored from a copy (which may still refer to one that has been freed).
// Everything else in the copy is the handler's to change. Main thread only.
#include "registry/Orvello_DeviceInfo.h"

#include <map>
#include <string>
#include <vector>

class TLamp;
class TChartCurve;

struct TDeviceObjects {
    TLamp* Led = nullptr;
    TChartCurve* SerieSegment = nullptr;
    TChartCurve* SerieFlow = nullptr;
};

class TDeviceRecords {
public:
    // A copy of the record on port (compared as the device list compares ports), with its lamp
    // and curves. False, and device untouched, when no device has the port.
    bool Fetch(const std::string& port, TDeviceInfo& device) const;
    // Stores a copy made with Fetch (or before), keeping what others may have changed meanwhile
    // (see above). False when no device has its port.
    bool Store(TDeviceInfo device);

    // Starts the worker of the device on port in the list itself (TDeviceInfo::StartThread);
    // false when it has one already or no device has the port.
    bool StartWorker(const std::string& port);

    // The lamp and curves of a port, created empty on first use.
    TDeviceObjects& Objects(const std::string& port);
    // Puts the lamp and curve pointers of the record's port into the record.
    void Attach(TDeviceInfo& device) const;
    // Every curve of one kind (program or flow), for the chart's changes that concern them all.
    std::vector<TChartCurve*> AllCurves(bool program) const;

private:
    std::map<std::string, TDeviceObjects> objects_;
};
