#include "engine/StatusWatch.h"

#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"

bool AnswerStamp(const TDeviceInfo& device, const void*& worker, double& stamp) {
    if (device.ThreadMFC && !device.ThreadMFC->GUIIn.IsTerminated) {
        worker = device.ThreadMFC;
        stamp = device.ThreadMFC->GUIIn.DeviceStatus.DataTime;
        return true;
    }
    if (device.ThreadPump && !device.ThreadPump->GUIIn.IsTerminated) {
        worker = device.ThreadPump;
        stamp = device.ThreadPump->GUIIn.AnswerTime;
        return true;
    }
    return false;
}

std::string NoStatusLine(const std::string& port, int quiet_s) {
    return "No status from " + port + " for " + std::to_string(quiet_s) +
           " s: the device does not answer, its flow is not known";
}

std::string StatusAgainLine(const std::string& port) {
    return "Status from " + port + " again";
}

void TStatusWatch::Check(const std::vector<TDeviceInfo>& devices, TimePoint now,
                         const std::function<void(const std::string&)>& log,
                         const std::function<void(const std::string&)>& warn) {
    const auto& warning = warn ? warn : log;
    const bool held = lastCheck_ != TimePoint{} && now - lastCheck_ > GapLimit;
    lastCheck_ = now;
    std::map<std::string, TSeen> seen;
    for (const TDeviceInfo& device : devices) {
        const void* worker = nullptr;
        double dataTime = 0;
        if (!AnswerStamp(device, worker, dataTime))
            continue;
        const auto known = seen_.find(device.COMPort);
        if (known == seen_.end() || known->second.Worker != worker) {
            seen[device.COMPort] = TSeen{worker, dataTime, now, false};
            continue;
        }
        TSeen entry = known->second;
        if (dataTime != entry.DataTime) {
            if (entry.Reported)
                log(StatusAgainLine(device.COMPort));
            entry = TSeen{worker, dataTime, now, false};
        } else if (held || dataTime == 0) {
            // Held hand-overs brought nothing, and before its first status a controller is
            // still being initialised (a pump, before its first answer to its worker).
            entry.Since = now;
        } else if (!entry.Reported && now - entry.Since > QuietLimit) {
            entry.Reported = true;
            warning(NoStatusLine(device.COMPort, static_cast<int>(QuietLimit.count())));
        }
        seen[device.COMPort] = entry;
    }
    seen_ = std::move(seen);
}
