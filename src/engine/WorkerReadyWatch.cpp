#include "engine/WorkerReadyWatch.h"

#include "engine/StatusWatch.h"

std::string WorkerReadyLine(const std::string& port, const std::string& name) {
    return "Device ready: " + port + " - " + name + " (initialised, first status received)";
}

void TWorkerReadyWatch::Check(const std::vector<TDeviceInfo>& devices,
                              const std::function<void(const std::string&)>& log) {
    std::map<std::string, const void*> told;
    for (const TDeviceInfo& device : devices) {
        const void* worker = nullptr;
        double stamp = 0;
        if (!AnswerStamp(device, worker, stamp) || stamp == 0)
            continue;
        const auto known = told_.find(device.COMPort);
        if (known == told_.end() || known->second != worker)
            log(WorkerReadyLine(device.COMPort, device.NameRole));
        told[device.COMPort] = worker;
    }
    told_ = std::move(told);
}
