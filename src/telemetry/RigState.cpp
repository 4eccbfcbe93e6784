#include "telemetry/RigState.h"

#include "mfc/AlicatMFCThread.h"
#include "pump/PSD4_Thread.h"

#include <cctype>

namespace {

bool IsMFC(const TDeviceInfo& device) {
    return device.DevType == dtMFCA || device.DevType == dtMFCB || device.DevType == dtMFCDemo;
}

bool IsWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

} // namespace

TDeviceState DeviceStateOf(const TDeviceInfo& device, std::optional<double> rowFlow_pct) {
    TDeviceState state;
    state.Port = device.COMPort;
    state.Name = device.NameRole;
    state.Kind = DeviceTypeName(device.DevType);
    state.State = DeviceStateText(device);
    state.Unit = device.FlowUnitUser.Name;
    if (IsMFC(device) && device.ThreadMFC) {
        state.Setpoint_pct = device.ThreadMFC->GUIOut.DeviceStatus.Setpoint_pct;
        state.Flow_pct = rowFlow_pct;
    } else if (device.DevType == dtPump && device.ThreadPump) {
        state.Setpoint_pct = device.ThreadPump->GUIOut.Setpoint * 100;
        state.Flow_pct = device.ThreadPump->GUIIn.Setpoint * 100;
    }
    return state;
}

std::string PortNamedIn(const std::string& line, const std::vector<TDeviceInfo>& devices) {
    std::string found;
    std::size_t foundAt = std::string::npos;
    for (const TDeviceInfo& device : devices) {
        const std::string& port = device.COMPort;
        if (port.empty())
            continue;
        for (std::size_t at = line.find(port); at != std::string::npos && at <= foundAt;
             at = line.find(port, at + 1)) {
            const std::size_t end = at + port.size();
            const bool wordStart = at == 0 || !IsWordCharacter(line[at - 1]);
            const bool wordEnd = end == line.size() || !IsWordCharacter(line[end]);
            if (wordStart && wordEnd) {
                // At the same place, the longer name is the one meant ("X-COM2", not "X-COM").
                if (at < foundAt || port.size() > found.size()) {
                    found = port;
                    foundAt = at;
                }
                break;
            }
        }
    }
    return found;
}
