#include "platform/Clock.h"
#include "program/UnitUtils.h"
#include "registry/Orvello_DeviceInfo.h"

const char* DeviceTypeName(tDeviceType type) {
    switch (type) {
    case dtMFCA:
        return "MFCA";
    case dtMFCB:
        return "MFCB";
    case dtPump:
        return "Pump";
    case dtMFCDemo:
        return "MFC";
    }
    return "";
}

const char* InstrumentName(tDeviceType type) {
    switch (type) {
    case dtMFCA:
    case dtMFCB:
        return "Kelvane";
    case dtPump:
        return "Drosset";
    case dtMFCDemo:
        return "Simulated";
    }
    return "";
}

void TDeviceInfo::MarkFlowStart() {
    const Clock& clock = GetClock();
    FlowStartTime = clock.Now();
    FlowStartSteadyTime = clock.SteadyNow();
}

double TDeviceInfo::Elapsed_min() const {
    return (GetClock().SteadyNow() - FlowStartSteadyTime) * 1440.0;
}

bool HasWorker(const TDeviceInfo& device) {
    return device.ThreadMFC != nullptr || device.ThreadPump != nullptr;
}

const char* DeviceStateText(const TDeviceInfo& device) {
    if (!HasWorker(device))
        return "Unknown";
    switch (device.ControlMode) {
    case dcmSegment:
        return "Segment";
    case dcmDirect:
        return "Direct";
    case dcmIdle:
        break;
    }
    return "Ready";
}

void MarkUnconfigured(TDeviceInfo& device) {
    device.FluidID = 0;
    device.SegmentProgram.clear();
}

TDeviceInfo MakeDemoDevice() {
    TDeviceInfo demo;
    demo.COMPort = "X-COM";
    demo.NameRole = "Virtual Demo";
    demo.DevType = dtMFCDemo;
    demo.Serial = "123456";
    demo.Color = NamedColor("Purple").value_or(0);
    demo.SyringeSizeµL = 12.5;
    demo.FluidID = -1;
    demo.ControlMode = dcmDirect;
    demo.Setpoint_pct = 0;
    demo.FlowUnitDevice = InitialFlowUnitMlPerMin();
    demo.FlowUnitDevice.GasFlowMax = 50;
    demo.FlowUnitUser = InitialFlowUnitMlPerMin();
    demo.SegmentProgram = "1 100 Ramp\r\n2 100 Step Some_random_comment\r\n2.5 30 Ramp\r\n3 50 "
                          "Step\r\n3.5 30 Step\r\n4 0 Ramp";
    return demo;
}

std::vector<TDeviceInfo> DevicesLocal{MakeDemoDevice()};
std::vector<TDeviceInfo> KnownDevices = MakeKnownDevices();

int IndexOfDevice(const std::string& port) {
    const std::string wanted = Trim(port);
    for (std::size_t i = 0; i < DevicesLocal.size(); ++i)
        if (Trim(DevicesLocal[i].COMPort) == wanted)
            return static_cast<int>(i);
    return -1;
}

bool FindDeviceByPort(const std::string& port, TDeviceInfo& device) {
    const int index = IndexOfDevice(port);
    if (index < 0)
        return false;
    device = DevicesLocal[static_cast<std::size_t>(index)];
    return true;
}

bool FindDeviceByPortIgnoringCase(const std::string& port, TDeviceInfo& device) {
    const std::string wanted = UpperCaseAscii(Trim(port));
    for (const TDeviceInfo& entry : DevicesLocal)
        if (UpperCaseAscii(Trim(entry.COMPort)) == wanted) {
            device = entry;
            return true;
        }
    return false;
}

bool StoreDevice(const TDeviceInfo& device) {
    const int index = IndexOfDevice(device.COMPort);
    if (index < 0)
        return false;
    DevicesLocal[static_cast<std::size_t>(index)] = device;
    return true;
}
