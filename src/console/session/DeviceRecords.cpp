#include "console/session/DeviceRecords.h"

#include "console/widgets/Chart.h"
#include "console/widgets/Lamp.h"
#include "program/UnitUtils.h"

bool TDeviceRecords::Fetch(const std::string& port, TDeviceInfo& device) const {
    if (!FindDeviceByPort(port, device))
        return false;
    Attach(device);
    return true;
}

bool TDeviceRecords::Store(TDeviceInfo device) {
    const int index = IndexOfDevice(device.COMPort);
    if (index < 0)
        return false;
    const TDeviceInfo& current = DevicesLocal[static_cast<std::size_t>(index)];
    device.LastHandled = current.LastHandled;
    device.ThreadMFC = current.ThreadMFC;
    device.ThreadPump = current.ThreadPump;
    Attach(device);
    return StoreDevice(device);
}

bool TDeviceRecords::StartWorker(const std::string& port) {
    const int index = IndexOfDevice(port);
    return index >= 0 && DevicesLocal[static_cast<std::size_t>(index)].StartThread();
}

TDeviceObjects& TDeviceRecords::Objects(const std::string& port) {
    return objects_[Trim(port)];
}

void TDeviceRecords::Attach(TDeviceInfo& device) const {
    const auto found = objects_.find(Trim(device.COMPort));
    if (found == objects_.end())
        return;
    device.Led = found->second.Led;
    device.SerieSegment = found->second.SerieSegment;
    device.SerieFlow = found->second.SerieFlow;
}

std::vector<TChartCurve*> TDeviceRecords::AllCurves(bool program) const {
    std::vector<TChartCurve*> curves;
    for (const auto& [port, objects] : objects_) {
        TChartCurve* curve = program ? objects.SerieSegment : objects.SerieFlow;
        if (curve)
            curves.push_back(curve);
    }
    return curves;
}
