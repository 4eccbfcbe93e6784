#include "safety/RecordedDevices.h"

#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"
#include "registry/Orvello_DeviceInfo.h"

#include <algorithm>

namespace {

const TRecordedDevice* Find(const std::vector<TRecordedDevice>& devices, const std::string& port) {
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const TRecordedDevice& d) { return d.Port == port; });
    return found == devices.end() ? nullptr : &*found;
}

bool SameRequest(const TRecordedDevice& a, const TRecordedDevice& b) {
    return a.Setpoint_pct == b.Setpoint_pct && a.PumpProgram == b.PumpProgram;
}

} // namespace

std::vector<TRecordedDevice> RecordedDevicesOf(const std::vector<TDeviceInfo>& devices,
                                               const std::vector<std::string>& unconfirmedPorts,
                                               const std::vector<TRecordedDevice>& prior,
                                               double now) {
    std::vector<TRecordedDevice> recorded;
    for (const TDeviceInfo& device : devices) {
        if (device.DevType == dtMFCDemo)
            continue;
        const bool unconfirmed = std::find(unconfirmedPorts.begin(), unconfirmedPorts.end(),
                                           device.COMPort) != unconfirmedPorts.end();
        if (!HasWorker(device) && !unconfirmed)
            continue;
        const TRecordedDevice* before = Find(prior, device.COMPort);
        TRecordedDevice entry;
        entry.Port = device.COMPort;
        entry.Kind = DeviceTypeName(device.DevType);
        entry.Name = device.NameRole;
        entry.Identity = device.Serial;
        if (device.ThreadMFC) {
            entry.Setpoint_pct = device.ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct;
        } else if (device.ThreadPump) {
            entry.Setpoint_pct = device.ThreadPump->GUIOut.Setpoint * 100;
            entry.PumpProgram = device.ThreadPump->GUIOut.Command;
        } else if (before) {
            // Its worker is gone with the stop unconfirmed: it may still do what it was last asked.
            entry.Setpoint_pct = before->Setpoint_pct;
            entry.PumpProgram = before->PumpProgram;
        }
        entry.ProgramRunning =
            device.ControlMode == dcmSegment && HasWorker(device) && !device.SegmentProgram.empty();
        entry.StopUnconfirmed = unconfirmed;
        entry.SentAt = before && SameRequest(*before, entry) ? before->SentAt : now;
        entry.Heard = now;
        recorded.push_back(std::move(entry));
    }
    return recorded;
}

bool SameRecordedOutput(const std::vector<TRecordedDevice>& a,
                        const std::vector<TRecordedDevice>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](TRecordedDevice x, TRecordedDevice y) {
                          x.Heard = y.Heard = 0;
                          return x == y;
                      });
}
