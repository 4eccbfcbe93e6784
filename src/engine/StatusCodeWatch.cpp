#include "engine/StatusCodeWatch.h"

#include "mfc/AlicatMFCThread.h"

std::string StatusCodesLine(const std::string& port, const std::string& name, TAlicatErrors codes) {
    std::string listed;
    for (int e = 0; e < AlicatErrorCount; ++e) {
        const auto code = static_cast<TAlicatError>(e);
        if (!codes.Contains(code))
            continue;
        if (!listed.empty())
            listed += "; ";
        listed += std::string(AlicatErrorName(code)) + " (" + AlicatErrorText(code) + ")";
    }
    return "Status codes from " + port + " - " + name + ": " + listed;
}

std::string StatusCodesClearedLine(const std::string& port, const std::string& name) {
    return "Status codes cleared on " + port + " - " + name;
}

void TStatusCodeWatch::Check(const std::vector<TDeviceInfo>& devices,
                             const std::function<void(const std::string&)>& log,
                             const std::function<void(const std::string&)>& warn) {
    const auto& warning = warn ? warn : log;
    std::map<std::string, TSeen> seen;
    for (const TDeviceInfo& device : devices) {
        const TMFCThread* worker = device.ThreadMFC;
        if (!worker || worker->GUIIn.IsTerminated)
            continue;
        TSeen before;
        if (const auto known = seen_.find(device.COMPort);
            known != seen_.end() && known->second.Worker == worker)
            before = known->second;
        // A failed read leaves the last status, and with it its codes, in place: only a status
        // that reports other codes changes them.
        const TAlicatErrors codes = worker->GUIIn.DeviceStatus.ErrorFlags;
        if (codes != before.Codes && codes.Empty())
            log(StatusCodesClearedLine(device.COMPort, device.NameRole));
        else if (codes != before.Codes)
            warning(StatusCodesLine(device.COMPort, device.NameRole, codes));
        seen[device.COMPort] = TSeen{worker, codes};
    }
    seen_ = std::move(seen);
}
