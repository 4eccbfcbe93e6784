#pragma once
// Tells the operator when a device's worker is ready: it has initialised its instrument (an MFC's
// initialisation takes several seconds after "Apply configuration", and nothing else says when
// it ends) and delivered its first status. Once per worker; a worker started after a reset is
// told again. Main thread only, as it reads the workers' main-thread side.
#include "registry/Orvello_DeviceInfo.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// The log line for the device on port with its name or role.
std::string WorkerReadyLine(const std::string& port, const std::string& name);

class TWorkerReadyWatch {
public:
    // Looks at every device whose worker runs; log receives one line per worker that has
    // delivered its first status since the last check.
    void Check(const std::vector<TDeviceInfo>& devices,
               const std::function<void(const std::string&)>& log);

private:
    // The worker of each port whose readiness was told. A port whose worker stopped, or whose
    // worker has no status yet, is forgotten: a later worker may be built at the same address.
    std::map<std::string, const void*> told_;
};
